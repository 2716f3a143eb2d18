#include "client/Rtp/fixedjitterbuf.h"

#include <QtTest>

using namespace morvex;

using Jb = FixedJitterBuf;

class TestFixedJitterBuf : public QObject
{
    Q_OBJECT

private slots:
    void configFallback_data();
    void configFallback();
    void getResults();
    void removeHeadOnEmpty();
    void forcedResyncRealignsSmallStep();
    void insertsOutOfOrderFramesInPlace();
    void resyncThresholdBoundary_data();
    void resyncThresholdBoundary();
};

void TestFixedJitterBuf::configFallback_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("threshold");
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<qint64>("expectedThreshold");

    QTest::newRow("as given") << qint64(240) << qint64(1000) << qint64(240) << qint64(1000);
    QTest::newRow("zero") << qint64(0) << qint64(0) << qint64(200) << qint64(200);
    QTest::newRow("negative") << qint64(-5) << qint64(300) << qint64(200) << qint64(300);
    QTest::newRow("one") << qint64(1) << qint64(-1) << qint64(1) << qint64(200);
}

void TestFixedJitterBuf::configFallback()
{
    QFETCH(qint64, size);
    QFETCH(qint64, threshold);
    QFETCH(qint64, expectedSize);
    QFETCH(qint64, expectedThreshold);

    Jb jb({ size, threshold });
    QCOMPARE(jb.size(), expectedSize);
    QCOMPARE(jb.resyncThreshold(), expectedThreshold);
}

void TestFixedJitterBuf::getResults()
{
    Jb jb({ 100, 300 });
    Jb::Frame f;
    // Empty and never started: due at 0, so every slot conceals.
    QCOMPARE(jb.get(&f, 0, 20), Jb::Conceal);
    QCOMPARE(jb.nextDue(), Jb::Ms(20));

    QCOMPARE(jb.putFirst("a", 20, 1000, 50), Jb::Delivered);
    QCOMPARE(jb.nextDue(), Jb::Ms(150));
    QCOMPARE(jb.put("b", 20, 1040, 50), Jb::Delivered);
    QCOMPARE(jb.get(&f, 149, 20), Jb::NotYet);
    QCOMPARE(jb.get(&f, 150, 20), Jb::Delivered);
    QCOMPARE(f.payload, QByteArray("a"));
    QCOMPARE(f.ts, Jb::Ms(1000));
    QCOMPARE(f.delivery, Jb::Ms(150));
    QCOMPARE(jb.nextDue(), Jb::Ms(170));
    // The gap before "b" conceals and moves the clock on by the interpolation length.
    QCOMPARE(jb.get(&f, 170, 20), Jb::Conceal);
    QCOMPARE(jb.nextDue(), Jb::Ms(190));
    // A reader that overslept gets the head back for disposal.
    QCOMPARE(jb.get(&f, 500, 20), Jb::Dropped);
    QCOMPARE(f.payload, QByteArray("b"));
    QVERIFY(jb.isEmpty());
}

void TestFixedJitterBuf::removeHeadOnEmpty()
{
    Jb jb({ 200, 200 });
    Jb::Frame f;
    QCOMPARE(jb.removeHead(&f), Jb::NotYet);
    jb.putFirst("x", 20, 100, 120);
    QCOMPARE(jb.removeHead(&f), Jb::Delivered);
    QCOMPARE(jb.nextDue(), Jb::Ms(120 + 200 + 20));
    QCOMPARE(jb.removeHead(&f), Jb::NotYet);
}

void TestFixedJitterBuf::forcedResyncRealignsSmallStep()
{
    Jb jb({ 200, 300 });
    Jb::Frame f;
    jb.putFirst("a", 20, 1000, 1020);
    jb.put("b", 20, 1020, 1020);
    QCOMPARE(jb.put("dup", 20, 1020, 1020), Jb::Dropped);
    jb.forceResync();
    QCOMPARE(jb.put("dup", 20, 1020, 1020), Jb::Delivered);
    QCOMPARE(jb.count(), 3);
    jb.removeHead(&f);
    jb.removeHead(&f);
    jb.removeHead(&f);
    QCOMPARE(f.payload, QByteArray("dup"));
    QCOMPARE(f.delivery, Jb::Ms(1020 + 200 + 40));
}

void TestFixedJitterBuf::insertsOutOfOrderFramesInPlace()
{
    Jb jb({ 200, 300 });
    jb.putFirst("1", 20, 1000, 1020);
    QCOMPARE(jb.put("3", 20, 1040, 1020), Jb::Delivered);
    QCOMPARE(jb.put("4", 20, 1060, 1020), Jb::Delivered);
    QCOMPARE(jb.put("2", 20, 1020, 1020), Jb::Delivered);
    QCOMPARE(jb.count(), 4);
    QByteArray order;
    Jb::Frame f;
    while (jb.removeHead(&f) == Jb::Delivered)
        order += f.payload;
    QCOMPARE(order, QByteArray("1234"));
}

void TestFixedJitterBuf::resyncThresholdBoundary_data()
{
    // A datagram outside the window realigns when its step from the tail
    // reaches the threshold (100 ms here); a smaller step is dropped.
    QTest::addColumn<Jb::Ms>("step");
    QTest::addColumn<int>("result");

    QTest::newRow("forward, one below") << Jb::Ms(99) << int(Jb::Dropped);
    QTest::newRow("forward, at") << Jb::Ms(100) << int(Jb::Delivered);
    QTest::newRow("forward, one above") << Jb::Ms(101) << int(Jb::Delivered);
    QTest::newRow("back, one below") << Jb::Ms(-99) << int(Jb::Dropped);
    QTest::newRow("back, at") << Jb::Ms(-100) << int(Jb::Delivered);
    QTest::newRow("back, one above") << Jb::Ms(-101) << int(Jb::Delivered);
}

void TestFixedJitterBuf::resyncThresholdBoundary()
{
    QFETCH(Jb::Ms, step);
    QFETCH(int, result);

    // 900 ms of delay: frames up to ts 1000 fit the window, and both steps
    // land outside it (before the next delivery, or past delay + threshold).
    Jb jb({ 900, 100 });
    jb.putFirst("first", 20, 0, 0);
    const Jb::Ms tailEnd = step > 0 ? 1000 : 20;
    for (Jb::Ms ts = 20; ts < tailEnd; ts += 20)
        QCOMPARE(jb.put("queued", 20, ts, 0), Jb::Delivered);
    const int before = jb.count();
    QCOMPARE(int(jb.put("step", 20, tailEnd + step, 0)), result);
    QCOMPARE(jb.count(), before + (result == Jb::Delivered ? 1 : 0));
}

QTEST_APPLESS_MAIN(TestFixedJitterBuf)
#include "tst_fixedjitterbuf.moc"
