#include "client/Rtp/rtpstatistics.h"

#include <QSignalSpy>
#include <QtTest>

using namespace morvex;

using Stats = QVector<quint32>;

// Waits for real timer reports; two of them take about ten seconds.
class TestRtpStatisticsReports : public QObject
{
    Q_OBJECT

private slots:
    void reportsKeepComing();
};

void TestRtpStatisticsReports::reportsKeepComing()
{
    RtpStatistics st;
    QSignalSpy spy(&st, &RtpStatistics::statistics);
    st.addReceived(3);
    st.addLate(1);
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, 7000);
    QCOMPARE(spy.at(0).at(0).value<Stats>(), (Stats { 3, 0, 1, 3, 0, 1, 0 }));

    st.reset();
    st.addReceived(1);
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, 7000);
    QCOMPARE(spy.at(1).at(0).value<Stats>(), (Stats { 1, 0, 0, 4, 0, 1, 0 }));
}

QTEST_GUILESS_MAIN(TestRtpStatisticsReports)
#include "tst_rtpstatisticsreports.moc"
