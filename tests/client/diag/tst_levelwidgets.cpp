#include "client/diag/indicator.h"
#include "client/diag/remoteind.h"
#include "client/diag/renderarea.h"
#include "client/diag/stereolevel.h"
#include "common/settings.h"

#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace brelko;
using namespace morvex;

class TestLevelWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        Settings::setDefaultFile(m_dir.filePath("Morvex.ini"));
    }
    void init();
    void meterWithoutReference();
    void meterWithReference();
    void referenceWithSilenceKeepsOldZero();
    void referenceIsStoredAndRestored();
    void meterHandlesSilenceAndGain();
    void indicatorClamps_data();
    void indicatorClamps();
    void barDrawing();
    void stereoChannels();

private:
    QTemporaryDir m_dir;
};

void TestLevelWidgets::init()
{
    Settings::instance()->setValue(Settings::ZeroLevelEnable, Settings::Levels, false);
}

void TestLevelWidgets::meterWithoutReference()
{
    RemoteInd m;
    QCOMPARE(m.dbText(), QString("-xx.x dB"));
    QCOMPARE(m.buttonText(), QString("set >> 0 <<"));
    m.setLevel(32767);
    QCOMPARE(m.dbText(), QString("0.0 dB"));
    QCOMPARE(m.barValue(), 32767);
    m.setLevel(3277);
    QCOMPARE(m.dbText(), QString("-20.0 dB"));
    QCOMPARE(m.barValue(), 3277);
}

void TestLevelWidgets::meterWithReference()
{
    RemoteInd m;
    m.setLevel(1000);
    m.button()->click();
    QCOMPARE(m.buttonText(), QString("Reset"));
    QCOMPARE(m.zeroLevel(), qint16(1000));
    m.setLevel(1000);
    QCOMPARE(m.dbText(), QString("0.0 dB"));
    QCOMPARE(m.barValue(), 24575); // three quarters of 32767
    m.setLevel(2000);
    QCOMPARE(m.dbText(), QString("6.0 dB"));

    m.button()->click();
    QCOMPARE(m.buttonText(), QString(">> 0 << set"));
    QCOMPARE(m.zeroLevel(), qint16(32767));
}

void TestLevelWidgets::referenceWithSilenceKeepsOldZero()
{
    RemoteInd m;
    m.setLevel(500);
    m.button()->click();
    m.button()->click(); // back to no reference
    m.setLevel(0);
    m.button()->click();
    QCOMPARE(m.buttonText(), QString("Reset"));
    QCOMPARE(m.zeroLevel(), qint16(32767));
}

void TestLevelWidgets::referenceIsStoredAndRestored()
{
    {
        RemoteInd m;
        m.setLevel(1234);
        m.button()->click();
    }
    Settings *s = Settings::instance();
    QCOMPARE(s->value(Settings::ZeroLevelEnable, Settings::Levels).toBool(), true);
    QCOMPARE(s->value(Settings::ReferenceLevel, Settings::Levels).toInt(), 1234);
    RemoteInd again;
    QVERIFY(again.button()->isChecked());
    QCOMPARE(again.zeroLevel(), qint16(1234));
    QCOMPARE(again.buttonText(), QString("Reset"));

    // A broken stored reference cannot make the meter divide by zero.
    s->setValue(Settings::ReferenceLevel, Settings::Levels, 0);
    RemoteInd broken;
    QCOMPARE(broken.zeroLevel(), qint16(32767));
    broken.setLevel(100);
    QVERIFY(broken.barValue() >= 0 && broken.barValue() <= 32767);
    s->setValue(Settings::ZeroLevelEnable, Settings::Levels, false);
}

void TestLevelWidgets::meterHandlesSilenceAndGain()
{
    RemoteInd m;
    m.setLevel(0);
    QCOMPARE(m.dbText(), QString("-inf dB"));
    QCOMPARE(m.barValue(), 0);
    m.setAmplifierKoef(6.0206);
    m.setLevel(16384);
    QCOMPARE(m.dbText(), QString("0.0 dB"));
    QVERIFY(qAbs(m.barValue() - 32690) < 100); // gain of 10^(6/20)
    m.setAmplifierKoef(20.0);
    m.setLevel(32767); // scaled far beyond 16 bits: clamped, not wrapped
    QCOMPARE(m.barValue(), 32767);
}

void TestLevelWidgets::indicatorClamps_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("expected");
    QTest::newRow("inside") << 50 << 50;
    QTest::newRow("below") << -5 << 10;
    QTest::newRow("above") << 500 << 110;
}

void TestLevelWidgets::indicatorClamps()
{
    QFETCH(int, set);
    QFETCH(int, expected);
    Indicator ind;
    ind.setRange(10, 110);
    ind.setValue(set);
    QCOMPARE(ind.value(), expected);
    ind.setValueF(0.5);
    QCOMPARE(ind.value(), 50);
    ind.setValueF(7.0);
    QCOMPARE(ind.value(), 100);
    ind.setValueF(-1.0);
    QCOMPARE(ind.value(), 0);
}

void TestLevelWidgets::barDrawing()
{
    RenderArea area;
    area.resize(232, 50);
    QImage empty = area.grab().toImage();
    QCOMPARE(empty.pixelColor(10, 10), QColor(Qt::black)); // outline corner
    QCOMPARE(empty.pixelColor(221, 39), QColor(Qt::black)); // 232-21 wide, 50-21 high
    QCOMPARE(empty.pixelColor(15, 20), area.palette().color(QPalette::Base)); // no bar yet

    area.setCh(0, 16384);
    QCOMPARE(area.barWidth(), int(16384.0 / 32767 * 200));
    const QImage half = area.grab().toImage();
    const QColor start = half.pixelColor(12, 12);
    QVERIFY2(start.green() > 200 && start.red() < 60, qPrintable(start.name())); // green end
    QVERIFY(half.pixelColor(11 + area.barWidth() + 3, 25) == area.palette().color(QPalette::Base));

    area.setCh(0, 32767);
    QCOMPARE(area.value(), 1.0);
    const QImage full = area.grab().toImage();
    const QColor end = full.pixelColor(205, 37);
    QVERIFY2(end.red() > 200 && end.green() < 80, qPrintable(end.name())); // red end
}

void TestLevelWidgets::stereoChannels()
{
    StereoLevel s;
    s.setValue(0, 32767);
    s.setValue(1, 0);
    s.setValue(2, 32767);
    QCOMPARE(s.bar(0)->value(), 1.0);
    QCOMPARE(s.bar(1)->value(), 0.0);
    QVERIFY(s.bar(2) == nullptr);
}

QTEST_MAIN(TestLevelWidgets)
#include "tst_levelwidgets.moc"
