#include "client/link/packetheader.h"
#include "client/link/packetmngr.h"
#include "client/link/permission.h"
#include "client/link/permissionform.h"
#include "client/link/permitem.h"

#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace morvex;

// Ticks are driven directly: no test waits minutes.
class TestPermission : public QObject
{
    Q_OBJECT

private slots:
    void packetParsing_data();
    void packetParsing();
    void shortPayloadKeepsOldValues();
    void counterText_data();
    void counterText();
    void workThenPauseCycle();
    void workTimeZeroGoesStraightToPause();
    void pauseTimeZeroEndsAtOnce();
    void stopInterruptsWorkButNotPause();
    void clearResets();
    void formLayoutAndDefaults();
    void formWithoutItemWarns();
    void switchingBrelkosKeepsEachCountdown();
};

void TestPermission::packetParsing_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("flags");
    QTest::addColumn<uint>("work");
    QTest::addColumn<uint>("pause");
    QTest::newRow("restricted") << Permission::payload(0x03, 1, 2) << 0x03 << 1u << 2u;
    QTest::newRow("unrestricted, extra bytes ignored")
        << Permission::payload(0x0F, 0, 0) + "xyz" << 0x0F << 0u << 0u;
    QTest::newRow("large little-endian values")
        << QByteArray("\x05\x78\x56\x34\x12\xff\xff\xff\xff", 9) << 0x05 << 0x12345678u << 0xFFFFFFFFu;
}

void TestPermission::packetParsing()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, flags);
    QFETCH(uint, work);
    QFETCH(uint, pause);
    // Through the real frame parser, header value ignored.
    PacketMngr mngr;
    Permission perm;
    mngr.registerPacket(&perm);
    QSignalSpy spy(&perm, &Permission::changedState);
    mngr.addData(makeFrame(PacketType::Permission, 0xDEADBEEF, payload));
    mngr.parcePacket();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(int(perm.flags()), flags);
    QCOMPARE(perm.workTime(), quint32(work));
    QCOMPARE(perm.pauseTime(), quint32(pause));
    qint32 used = -1;
    QVERIFY(perm.create(1000, &used).isEmpty());
    QCOMPARE(used, 0);

    perm.reset();
    QCOMPARE(int(perm.flags()), 0);
    QCOMPARE(perm.workTime(), 0u);
    QCOMPARE(perm.pauseTime(), 0u);
    QCOMPARE(spy.count(), 1);
}

void TestPermission::shortPayloadKeepsOldValues()
{
    Permission perm;
    perm.addData(Permission::payload(0x07, 30, 10));
    QSignalSpy spy(&perm, &Permission::changedState);
    for (int n : { 0, 1, 8 }) {
        QTest::ignoreMessage(QtWarningMsg,
            "WARNING!!! Non standart format in virtual void Permission::addData(const char*, int)");
        perm.addData(Permission::payload(0x01, 99, 99).left(n));
    }
    QCOMPARE(spy.count(), 0);
    QCOMPARE(int(perm.flags()), 0x07);
    QCOMPARE(perm.workTime(), 30u);
    QCOMPARE(perm.pauseTime(), 10u);
}

void TestPermission::counterText_data()
{
    QTest::addColumn<uint>("minutes");
    QTest::addColumn<QString>("text");
    QTest::newRow("135") << 135u << "2h : 15min";
    QTest::newRow("0") << 0u << "0h : 0min";
    QTest::newRow("59") << 59u << "0h : 59min";
    QTest::newRow("60") << 60u << "1h : 0min";
}

void TestPermission::counterText()
{
    QFETCH(uint, minutes);
    QFETCH(QString, text);
    QCOMPARE(PermItem::counterText(minutes), text);
}

void TestPermission::workThenPauseCycle()
{
    PermItem item;
    item.setTimers(1, 2);
    QSignalSpy work(&item, &PermItem::completedWorkTimer);
    QSignalSpy pause(&item, &PermItem::completedPauseTimer);
    QSignalSpy names(&item, &PermItem::changedTimerName);
    QSignalSpy counters(&item, &PermItem::changedCounter);
    item.start();
    QVERIFY(item.isCounting());
    // It counts whole minutes: the next step is a minute away, give or take
    // the rounding of a long timer.
    QVERIFY2(item.msToNextTick() >= 59000 && item.msToNextTick() <= 61000,
        qPrintable(QString::number(item.msToNextTick())));
    QCOMPARE(names.takeLast().first().toString(), QString("Work time:"));
    QCOMPARE(counters.takeLast().first().toString(), QString("0h : 1min"));

    item.timeout(); // ends the work period and counts the first pause minute
    QCOMPARE(work.count(), 1);
    QCOMPARE(pause.count(), 0);
    QVERIFY(!item.isWorkTimer());
    QCOMPARE(item.pauseLeft(), 1u);
    QCOMPARE(names.takeLast().first().toString(), QString("Pause time:"));
    QCOMPARE(counters.takeLast().first().toString(), QString("0h : 1min"));

    item.timeout();
    QCOMPARE(pause.count(), 1);
    QVERIFY(item.isWorkTimer());
    QVERIFY(!item.isCounting());
    QCOMPARE(item.workLeft(), 1u);
    QCOMPARE(names.takeLast().first().toString(), QString("Work time:"));

    // Next start is a fresh work period.
    item.start();
    QCOMPARE(item.workLeft(), 1u);
    QVERIFY(item.isCounting());
}

void TestPermission::workTimeZeroGoesStraightToPause()
{
    PermItem item;
    item.setTimers(0, 3);
    QSignalSpy work(&item, &PermItem::completedWorkTimer);
    QSignalSpy pause(&item, &PermItem::completedPauseTimer);
    item.start();
    item.timeout();
    QCOMPARE(work.count(), 1);
    QVERIFY(!item.isWorkTimer());
    QCOMPARE(item.pauseLeft(), 2u);
    item.timeout();
    item.timeout();
    QCOMPARE(pause.count(), 1);
    QVERIFY(item.isWorkTimer());
}

void TestPermission::pauseTimeZeroEndsAtOnce()
{
    // A pause of 0 must not leave the client away for ever.
    PermItem item;
    item.setTimers(1, 0);
    QSignalSpy work(&item, &PermItem::completedWorkTimer);
    QSignalSpy pause(&item, &PermItem::completedPauseTimer);
    item.start();
    item.timeout();
    QCOMPARE(work.count(), 1);
    QCOMPARE(pause.count(), 1);
    QVERIFY(item.isWorkTimer());
    QVERIFY(!item.isCounting());
}

void TestPermission::stopInterruptsWorkButNotPause()
{
    PermItem item;
    item.setTimers(5, 3);
    item.start();
    item.timeout();
    item.timeout();
    QCOMPARE(item.workLeft(), 3u);
    item.stop();
    QVERIFY(!item.isCounting());
    QCOMPARE(item.msToNextTick(), -1);
    QVERIFY(item.isInterrupted());
    QSignalSpy counters(&item, &PermItem::changedCounter);
    item.start(); // continues with what was left
    QCOMPARE(item.workLeft(), 3u);
    QVERIFY(!item.isInterrupted());
    QCOMPARE(counters.count(), 2);
    QCOMPARE(counters.last().first().toString(), QString("0h : 3min"));

    // Second start while counting only refreshes the display.
    counters.clear();
    QSignalSpy names(&item, &PermItem::changedTimerName);
    item.start();
    QCOMPARE(item.workLeft(), 3u);
    QCOMPARE(names.last().first().toString(), QString("Work time:"));

    for (int i = 0; i < 3; ++i)
        item.timeout();
    QVERIFY(!item.isWorkTimer());
    item.stop(); // the pause keeps counting
    QVERIFY(item.isCounting());
    QVERIFY(!item.isInterrupted());
    item.start();
    QCOMPARE(names.last().first().toString(), QString("Pause time:"));
}

void TestPermission::clearResets()
{
    PermItem item;
    item.setTimers(5, 3);
    item.start();
    QSignalSpy names(&item, &PermItem::changedTimerName);
    QSignalSpy counters(&item, &PermItem::changedCounter);
    item.clear();
    QVERIFY(!item.isCounting());
    QVERIFY(item.isWorkTimer());
    QCOMPARE(names.last().first().toString(), QString("Work time:"));
    QCOMPARE(counters.last().first().toString(), QString(" "));
}

void TestPermission::formLayoutAndDefaults()
{
    PermissionForm form;
    QVERIFY(form.isEmpty());
    QCOMPARE(form.timerName(), QString("Work time (min):"));
    QCOMPARE(form.permissionText(), QString("PTT, CAT, Audio levels"));
    const QList<QLabel *> labels = form.findChildren<QLabel *>();
    bool hasCaption = false, has18 = false;
    for (QLabel *l : labels) {
        hasCaption |= l->text() == "Permission:";
        has18 |= l->font().pixelSize() == 18;
    }
    QVERIFY(hasCaption);
    QVERIFY(has18);
    QVERIFY(form.findChild<QGroupBox *>()->title() == "Permission");
    form.setPermissionText("PTT, CAT");
    QCOMPARE(form.permissionText(), QString("PTT, CAT"));
}

void TestPermission::formWithoutItemWarns()
{
    PermissionForm form;
    QTest::ignoreMessage(
        QtWarningMsg, "void PermissionForm::setTimers(quint32, quint32) Pointer m_pcurConn is NULL");
    form.setTimers(1, 2);
    QTest::ignoreMessage(QtWarningMsg, "bool PermissionForm::isWorkTimer() const Pointer m_pcurConn is NULL");
    QVERIFY(!form.isWorkTimer());
    form.start();
    form.stop();
    form.clear();
    QVERIFY(form.isEmpty());
}

void TestPermission::switchingBrelkosKeepsEachCountdown()
{
    PermissionForm form;
    QSignalSpy work(&form, &PermissionForm::workTimeCompleted);
    QTest::ignoreMessage(
        QtDebugMsg, "void PermissionForm::setAddrPass(const QString&, const QString&) Add new connection");
    form.setAddrPass("10.0.0.1", "pw");
    form.setTimers(10, 5);
    form.start();
    PermItem *first = form.currentItem();
    for (int i = 0; i < 4; ++i)
        first->timeout();
    QCOMPARE(form.counter(), QString("0h : 6min"));

    // Another Brelko: its own item; the first one's ticks no longer reach the panel.
    form.stop();
    form.setAddrPass("10.0.0.2", "pw");
    form.setTimers(1, 1);
    form.start();
    QVERIFY(form.currentItem() != first);
    QCOMPARE(form.counter(), QString("0h : 1min"));
    first->start();
    first->timeout();
    QCOMPARE(form.counter(), QString("0h : 1min"));
    first->stop();
    QCOMPARE(first->workLeft(), 5u);

    // Same address, other password: yet another item.
    form.setAddrPass("10.0.0.1", "other");
    QCOMPARE(form.itemCount(), 3);

    // Back to the first: its remaining work minutes come back.
    QTest::ignoreMessage(
        QtDebugMsg, "void PermissionForm::setAddrPass(const QString&, const QString&) Found connection");
    form.setAddrPass("10.0.0.1", "pw");
    QCOMPARE(form.currentItem(), first);
    form.setTimers(10, 5);
    form.start();
    QCOMPARE(form.counter(), QString("0h : 5min"));
    for (int i = 0; i < 5; ++i)
        first->timeout();
    QCOMPARE(work.count(), 1);
    QVERIFY(!form.isWorkTimer());
    QCOMPARE(form.timerName(), QString("Pause time:"));
    form.clear();
    QCOMPARE(form.timerName(), QString());
}

QTEST_MAIN(TestPermission)
#include "tst_permission.moc"
