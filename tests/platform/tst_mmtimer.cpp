#include "platform/mmtimer.h"
#include "platform/threadpriority.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <vector>

namespace {
struct Log
{
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> ticks { 0 };
    std::atomic<bool> inCallback { false };
    std::atomic<int> afterKill { 0 };
};

Log *g_log = nullptr;

void record(quint32, quint32, quintptr user, quintptr, quintptr)
{
    std::lock_guard<std::mutex> lock(g_log->mutex);
    if (g_log->order.size() < 10000)
        g_log->order.push_back(int(user));
}

void count(quint32, quint32, quintptr user, quintptr, quintptr)
{
    reinterpret_cast<std::atomic<int> *>(user)->fetch_add(1);
}

void slowCallback(quint32, quint32, quintptr, quintptr, quintptr)
{
    g_log->inCallback = true;
    // Long enough that a kill issued meanwhile has to wait for us.
    timespec ts { 0, 3000000 };
    nanosleep(&ts, nullptr);
    g_log->ticks.fetch_add(1);
    g_log->inCallback = false;
}

std::atomic<quint32> g_selfId { 0 };
std::atomic<int> g_selfCalls { 0 };
void killSelf(quint32 id, quint32, quintptr, quintptr, quintptr)
{
    g_selfCalls.fetch_add(1);
    timeKillEvent(id);
}
} // namespace

class TestMmTimer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_log.reset(new Log);
        g_log = m_log.get();
    }
    void callbacksInOrderTheyWereSet();
    void tickCountFollowsTheClock();
    void killIsSynchronous();
    void killFromOwnCallback();
    void badArguments();
    void priority();

private:
    std::unique_ptr<Log> m_log;
};

void TestMmTimer::callbacksInOrderTheyWereSet()
{
    QCOMPARE(timeBeginPeriod(1), TIMERR_NOERROR);
    const quint32 a = timeSetEvent(1, 1, record, 1, TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    const quint32 b = timeSetEvent(1, 1, record, 2, TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QVERIFY(a != 0 && b != 0 && a != b);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            std::lock_guard<std::mutex> lock(g_log->mutex);
            return g_log->order.size() >= 200;
        }(),
        10000);
    QCOMPARE(timeKillEvent(a), TIMERR_NOERROR);
    QCOMPARE(timeKillEvent(b), TIMERR_NOERROR);
    QCOMPARE(timeEndPeriod(1), TIMERR_NOERROR);

    std::lock_guard<std::mutex> lock(g_log->mutex);
    const std::vector<int> &o = g_log->order;
    // Every tick runs a before b, caught-up ticks included.
    QCOMPARE(o.front(), 1);
    for (size_t i = 0; i + 1 < o.size(); i += 2) {
        QCOMPARE(o[i], 1);
        if (i + 1 < o.size() - 1 || o[i + 1] == 2)
            QCOMPARE(o[i + 1], 2);
    }
}

void TestMmTimer::tickCountFollowsTheClock()
{
    // Missed wake-ups are replayed: the count keeps up with the elapsed
    // milliseconds even when the machine is busy.
    std::atomic<int> n { 0 };
    QElapsedTimer clock;
    clock.start();
    const quint32 id = timeSetEvent(1, 1, count, quintptr(&n), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QTRY_VERIFY_WITH_TIMEOUT(n.load() >= 300, 10000);
    const qint64 elapsed = clock.elapsed();
    const int seen = n.load();
    timeKillEvent(id);
    QVERIFY2(seen >= elapsed - 5 - kMmTimerMaxCatchUp && seen <= elapsed + 1,
        qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(seen).arg(elapsed)));
}

void TestMmTimer::killIsSynchronous()
{
    const quint32 id = timeSetEvent(1, 1, slowCallback, 0, TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QTRY_VERIFY_WITH_TIMEOUT(g_log->ticks.load() >= 3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(g_log->inCallback.load(), 10000);
    QCOMPARE(timeKillEvent(id), TIMERR_NOERROR);
    QVERIFY(!g_log->inCallback.load());
    const int n = g_log->ticks.load();
    QTest::qWait(30);
    QCOMPARE(g_log->ticks.load(), n);
    QCOMPARE(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

void TestMmTimer::killFromOwnCallback()
{
    g_selfCalls = 0;
    const quint32 id = timeSetEvent(1, 1, killSelf, 0, TIME_PERIODIC);
    g_selfId = id;
    QTRY_COMPARE_WITH_TIMEOUT(g_selfCalls.load(), 1, 10000);
    QTest::qWait(20);
    QCOMPARE(g_selfCalls.load(), 1);
    // And the service starts a new thread for the next timer.
    std::atomic<int> n { 0 };
    const quint32 again = timeSetEvent(1, 1, count, quintptr(&n), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QTRY_VERIFY_WITH_TIMEOUT(n.load() > 5, 10000);
    timeKillEvent(again);
}

void TestMmTimer::badArguments()
{
    QCOMPARE(timeSetEvent(0, 1, count, 0, TIME_PERIODIC), 0u);
    QCOMPARE(timeSetEvent(1, 1, nullptr, 0, TIME_PERIODIC), 0u);
    QCOMPARE(timeKillEvent(0), MMSYSERR_INVALPARAM);
    QCOMPARE(timeBeginPeriod(0), TIMERR_NOCANDO);
    QCOMPARE(timeEndPeriod(1), TIMERR_NOCANDO); // not begun
}

void TestMmTimer::priority()
{
    // Time-critical may be refused (no right to real-time scheduling); the
    // answer must say which, and normal must always be possible again.
    const bool raised = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    int policy = 0;
    sched_param p {};
    pthread_getschedparam(pthread_self(), &policy, &p);
    QCOMPARE(policy == SCHED_FIFO, raised);
    QVERIFY(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
    pthread_getschedparam(pthread_self(), &policy, &p);
    QCOMPARE(policy, SCHED_OTHER);
}

QTEST_MAIN(TestMmTimer)
#include "tst_mmtimer.moc"
