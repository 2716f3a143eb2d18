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
// Tick numbers seen by a callback, and a period it switches itself to.
struct TickLog
{
    std::mutex mutex;
    std::vector<quint64> ticks;
    QElapsedTimer clock;
    std::vector<qint64> times;
    quint32 switchTo = 0;
};

void logTick(quint32 id, quint32, quintptr user, quintptr, quintptr)
{
    auto *log = reinterpret_cast<TickLog *>(user);
    std::lock_guard<std::mutex> lock(log->mutex);
    log->ticks.push_back(mmTimerTick());
    log->times.push_back(log->clock.isValid() ? log->clock.elapsed() : 0);
    if (log->switchTo != 0 && log->ticks.size() == 3)
        timeSetEventPeriod(id, log->switchTo);
}

size_t logged(TickLog &log)
{
    std::lock_guard<std::mutex> lock(log.mutex);
    return log.ticks.size();
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
    void longPeriodSleeps();
    void periodChangeFromOwnCallback();
    void periodChangeFromOwnCallback_data();
    void speedUpWakesAtOnce();
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

void TestMmTimer::longPeriodSleeps()
{
    // A lone 16 ms timer: the thread wakes for it, not every millisecond,
    // and the tick numbers still count the milliseconds between calls.
    TickLog log;
    const quint64 before = mmTimerWakeups();
    const quint32 id = timeSetEvent(16, 1, logTick, quintptr(&log), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QTRY_VERIFY_WITH_TIMEOUT(logged(log) >= 20, 10000);
    timeKillEvent(id);
    const quint64 wakeups = mmTimerWakeups() - before;
    std::lock_guard<std::mutex> lock(log.mutex);
    for (size_t i = 1; i < log.ticks.size(); ++i)
        QCOMPARE(log.ticks[i] - log.ticks[i - 1], quint64(16));
    // One per call, and a few to spare for the thread's start.
    QVERIFY2(wakeups <= log.ticks.size() + 3,
        qPrintable(QStringLiteral("%1 wake-ups for %2 calls").arg(wakeups).arg(log.ticks.size())));
    QCOMPARE(timeSetEventPeriod(id, 1), MMSYSERR_INVALPARAM); // killed
}

void TestMmTimer::periodChangeFromOwnCallback()
{
    QFETCH(quint32, from);
    QFETCH(quint32, to);
    TickLog log;
    log.switchTo = to;
    const quint32 id = timeSetEvent(from, 1, logTick, quintptr(&log), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QTRY_VERIFY_WITH_TIMEOUT(logged(log) >= 8, 10000);
    timeKillEvent(id);
    std::lock_guard<std::mutex> lock(log.mutex);
    // The third call set the new period: gaps before it keep the old one,
    // and from then on the calls fall on multiples of the new period.
    for (size_t i = 1; i < 3; ++i)
        QCOMPARE(log.ticks[i] - log.ticks[i - 1], quint64(from));
    QVERIFY(log.ticks[3] - log.ticks[2] <= to);
    for (size_t i = 3; i < log.ticks.size(); ++i)
        QCOMPARE(log.ticks[i] % to, quint64(0));
    for (size_t i = 4; i < log.ticks.size(); ++i)
        QCOMPARE(log.ticks[i] - log.ticks[i - 1], quint64(to));
}

void TestMmTimer::periodChangeFromOwnCallback_data()
{
    QTest::addColumn<quint32>("from");
    QTest::addColumn<quint32>("to");
    QTest::newRow("slower") << 1u << 16u;
    QTest::newRow("faster") << 16u << 1u;
    QTest::newRow("same") << 5u << 5u;
}

void TestMmTimer::speedUpWakesAtOnce()
{
    // Sped up from another thread while the timer thread sleeps a long
    // period: the next call comes within a few milliseconds, not at the end
    // of the old period, and its tick number still counts real time.
    TickLog log;
    log.clock.start();
    const quint32 id = timeSetEvent(200, 1, logTick, quintptr(&log), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    QTRY_VERIFY_WITH_TIMEOUT(logged(log) >= 1, 10000);
    QTest::qWait(50);
    const qint64 asked = log.clock.elapsed();
    QCOMPARE(timeSetEventPeriod(id, 1), TIMERR_NOERROR);
    QTRY_VERIFY_WITH_TIMEOUT(logged(log) >= 2, 10000);
    timeKillEvent(id);
    std::lock_guard<std::mutex> lock(log.mutex);
    const qint64 answered = log.times[1] - asked;
    // Well before the 150 ms the old period still had to run.
    QVERIFY2(answered >= 0 && answered < 100, qPrintable(QString::number(answered)));
    // The two calls may each run a little late on a busy machine; stuck at
    // the old schedule the tick numbers would be 200 apart.
    const qint64 ticks = qint64(log.ticks[1] - log.ticks[0]);
    const qint64 ms = log.times[1] - log.times[0];
    QVERIFY2(qAbs(ticks - ms) <= 20, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(ms)));
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
