#include "client/audio/paudioabstract.h"

#include <QTest>

using namespace morvex;

// The pure parts of the playback and capture paths: channel mix and peaks.
class TestAudioMix : public QObject
{
    Q_OBJECT

private slots:
    void outputMode_data();
    void outputMode();
    void peaks_data();
    void peaks();
    void streamDefaults();
};

void TestAudioMix::outputMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("main rx") << 0 << 100 << 100;
    QTest::newRow("sub rx") << 1 << -5 << -5;
    QTest::newRow("stereo") << 2 << 100 << -5;
    QTest::newRow("other value is stereo") << 7 << 100 << -5;
}

void TestAudioMix::outputMode()
{
    QFETCH(int, mode);
    QFETCH(int, left);
    QFETCH(int, right);
    QVector<qint16> s { 100, -5, 100, -5, 100, -5, 42 };
    // An odd count leaves the last lone sample alone.
    PAudioAbstract::applyOutputMode(s.data(), s.size(), mode);
    for (int i = 0; i < 6; i += 2) {
        QCOMPARE(int(s[i]), left);
        QCOMPARE(int(s[i + 1]), right);
    }
    QCOMPARE(int(s[6]), 42);
}

void TestAudioMix::peaks_data()
{
    QTest::addColumn<QVector<qint16>>("samples");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("plain") << QVector<qint16> { 1, -2, -300, 4, 5, 6 } << 300 << 6;
    QTest::newRow("-32768 does not count") << QVector<qint16> { -32768, -32768, 10, -32767 } << 10 << 32767;
    QTest::newRow("silence") << QVector<qint16> { 0, 0, 0, 0 } << 0 << 0;
    QTest::newRow("empty") << QVector<qint16> {} << 0 << 0;
}

void TestAudioMix::peaks()
{
    QFETCH(QVector<qint16>, samples);
    QFETCH(int, left);
    QFETCH(int, right);
    QCOMPARE(PAudioAbstract::peak(samples.constData(), samples.size(), 0, 2), left);
    QCOMPARE(PAudioAbstract::peak(samples.constData(), samples.size(), 1, 2), right);
}

void TestAudioMix::streamDefaults()
{
    paudio::StreamDescriptor d;
    d.kind = paudio::audioIn;
    SelfControl *notKept = reinterpret_cast<SelfControl *>(quintptr(0x1));
    PAudioAbstract in(d, notKept);
    QVERIFY(in.isCapture());
    QVERIFY(!in.isRunning());
    QCOMPARE(in.outputMode(), paudio::MainRx);
    QVERIFY(!in.isToneEnabled());
    QVERIFY(in.levels().isEmpty());
    in.stop();
    QVERIFY(!in.isRunning());
}

QTEST_APPLESS_MAIN(TestAudioMix)
#include "tst_audiomix.moc"
