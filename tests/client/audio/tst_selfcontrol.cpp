#include "client/audio/selfcontrol.h"

#include <QTest>

using namespace morvex;

// Configuration checks and log lines of the monitor source.
class TestSelfControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void acceptedFormat();
    void refusedValues_data();
    void refusedValues();
    void volume_data();
    void volume();
    void toneFrequency();
};

void TestSelfControl::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("selfcontrol.debug=true"));
}

void TestSelfControl::acceptedFormat()
{
    SelfControl s;
    QCOMPARE(s.channels(), 2);
    QCOMPARE(s.toneFrequency(), 900);
    QCOMPARE(s.amplitude(), 32767);
    QTest::ignoreMessage(QtDebugMsg, "Set sample rate: 12000");
    QTest::ignoreMessage(QtDebugMsg, "Set number of channels: 2");
    QTest::ignoreMessage(QtDebugMsg, "Set number of samples in buffer: 1200");
    QTest::ignoreMessage(QtDebugMsg, "Set wave volume: 32767");
    s.setFormat(12000, 2, 1200, 100);
    QCOMPARE(s.sampleRate(), 12000);
    QCOMPARE(s.samplesInBuffer(), 1200);
    const QVector<qint16> table = s.toneTable();
    QCOMPARE(table.size(), 13);
    QCOMPARE(table.at(0), qint16(0));
    // sin(i * pi / 13) * 32767, truncated.
    QCOMPARE(table.at(1), qint16(7841));
    QCOMPARE(table.at(6), qint16(32528));
    QCOMPARE(table.at(12), qint16(7841));
    QVERIFY(s.monitorData().isEmpty());
}

void TestSelfControl::refusedValues_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("volume");
    QTest::addColumn<QString>("warning");
    QTest::newRow("rate too high") << 48001 << 2 << 1200 << 100 << "Set WRONG sample rate: 48001";
    QTest::newRow("rate zero") << 0 << 2 << 1200 << 100 << "Set WRONG sample rate: 0";
    QTest::newRow("rate negative") << -12000 << 2 << 1200 << 100 << "Set WRONG sample rate: -12000";
    QTest::newRow("channels") << 12000 << 9 << 1200 << 100 << "Set WRONG number of channels: 9";
    QTest::newRow("no channels") << 12000 << 0 << 1200 << 100 << "Set WRONG number of channels: 0";
    QTest::newRow("samples") << 12000 << 2 << 12001 << 100 << "Set WRONG number of samples in buffer: 12001";
    QTest::newRow("volume") << 12000 << 2 << 1200 << 101 << "Set WRONG wave volume: 101";
    QTest::newRow("volume negative") << 12000 << 2 << 1200 << -1 << "Set WRONG wave volume: -1";
}

void TestSelfControl::refusedValues()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, samples);
    QFETCH(int, volume);
    QFETCH(QString, warning);
    SelfControl s;
    s.setFormat(8000, 4, 800, 50);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    s.setFormat(rate, channels, samples, volume);
    // Each refused value keeps the old one; the others are taken.
    QCOMPARE(s.sampleRate(), warning.contains(QLatin1String("rate")) ? 8000 : rate);
    QCOMPARE(s.channels(), warning.contains(QLatin1String("channels")) ? 4 : channels);
    QCOMPARE(s.samplesInBuffer(), warning.contains(QLatin1String("samples")) ? 800 : samples);
    QCOMPARE(
        s.amplitude(), warning.contains(QLatin1String("volume")) ? 50 * 32767 / 100 : volume * 32767 / 100);
    QCOMPARE(s.toneTable().size(), s.sampleRate() / 900);
}

void TestSelfControl::volume_data()
{
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("amplitude");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("50") << 50 << 16383;
    QTest::newRow("100") << 100 << 32767;
    QTest::newRow("150 refused") << 150 << 32767;
}

void TestSelfControl::volume()
{
    QFETCH(int, volume);
    QFETCH(int, amplitude);
    SelfControl s;
    if (volume > 100)
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Set WRONG wave volume: %1").arg(volume)));
    else
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Set wave volume: %1").arg(amplitude)));
    s.setWaveVolume(volume);
    QCOMPARE(s.amplitude(), amplitude);
}

void TestSelfControl::toneFrequency()
{
    SelfControl s;
    QTest::ignoreMessage(QtDebugMsg, "Set tone frequency: 1000");
    s.setToneFrequency(1000);
    QCOMPARE(s.toneFrequency(), 1000);
    // A zero frequency would divide by zero when the table is built.
    QTest::ignoreMessage(QtWarningMsg, "Set WRONG tone frequency: 0");
    s.setToneFrequency(0);
    QCOMPARE(s.toneFrequency(), 1000);
    s.setFormat(12000, 2, 1200, 100);
    QCOMPARE(s.toneTable().size(), 12);
    QVERIFY(s.monitorData().isEmpty());
}

QTEST_APPLESS_MAIN(TestSelfControl)
#include "tst_selfcontrol.moc"
