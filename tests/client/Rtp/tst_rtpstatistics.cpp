#include "client/Rtp/rtpstatistics.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace morvex;

using Stats = QVector<quint32>;

class TestRtpStatistics : public QObject
{
    Q_OBJECT

private slots:
    void countsAndTotals();
    void resetKeepsTotals();
    void countersWrap();
    void reportsEveryFiveSeconds();
};

void TestRtpStatistics::countsAndTotals()
{
    RtpStatistics st;
    QSignalSpy spy(&st, &RtpStatistics::statistics);
    st.addReceived(5);
    st.addLost(2);
    st.addLate(1);
    st.addReceived(1);
    st.addForeign(4);
    st.addForeign(1);
    st.showStatistics();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Stats>(), (Stats { 6, 2, 1, 6, 2, 1, 5 }));
}

void TestRtpStatistics::resetKeepsTotals()
{
    RtpStatistics st;
    QSignalSpy spy(&st, &RtpStatistics::statistics);
    st.addReceived(10);
    st.addLost(3);
    st.addLate(4);
    st.addForeign(7);
    st.showStatistics();
    st.reset();
    st.showStatistics();
    st.addReceived(2);
    st.addLate(1);
    st.showStatistics();
    QCOMPARE(spy.count(), 3);
    // The foreign count is a total: a reset leaves it alone.
    QCOMPARE(spy.at(0).at(0).value<Stats>(), (Stats { 10, 3, 4, 10, 3, 4, 7 }));
    QCOMPARE(spy.at(1).at(0).value<Stats>(), (Stats { 0, 0, 0, 10, 3, 4, 7 }));
    QCOMPARE(spy.at(2).at(0).value<Stats>(), (Stats { 2, 0, 1, 12, 3, 5, 7 }));
}

void TestRtpStatistics::countersWrap()
{
    RtpStatistics st;
    st.addLost(5);
    // A step back in sequence arrives as a wrapped difference and subtracts.
    st.addLost(quint32(-2));
    QCOMPARE(st.values(), (Stats { 0, 3, 0, 0, 3, 0, 0 }));
    st.addReceived(0xFFFFFFFFu);
    st.addReceived(2);
    QCOMPARE(st.values().at(RtpStatistics::TotalReceived), 1u);
}

void TestRtpStatistics::reportsEveryFiveSeconds()
{
    RtpStatistics st;
    const auto timers = st.findChildren<QTimer *>();
    QCOMPARE(timers.size(), 1);
    QTimer *timer = timers.first();
    QVERIFY(timer->isActive());
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->interval(), RtpStatistics::kReportIntervalMs);
    QCOMPARE(RtpStatistics::kReportIntervalMs, 5000);
}

QTEST_GUILESS_MAIN(TestRtpStatistics)
#include "tst_rtpstatistics.moc"
