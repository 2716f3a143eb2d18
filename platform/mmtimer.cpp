#include "platform/mmtimer.h"

#include <QDebug>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <time.h>

namespace {
constexpr long kTickNs = 1000000;

void addNs(timespec *t, long long ns)
{
    long long total = t->tv_nsec + ns;
    t->tv_sec += time_t(total / 1000000000LL);
    t->tv_nsec = long(total % 1000000000LL);
}

long long diffNs(const timespec &a, const timespec &b)
{
    return (long long)(a.tv_sec - b.tv_sec) * 1000000000LL + (a.tv_nsec - b.tv_nsec);
}

struct Timer
{
    quint32 id = 0;
    quint32 period = 1;
    quint32 countdown = 1;
    LPTIMECALLBACK callback = nullptr;
    quintptr user = 0;
    bool periodic = true;
};

thread_local quint32 t_runningTimer = 0;
thread_local quint64 t_runningTick = 0;

class TimerService
{
public:
    static TimerService &instance()
    {
        // Never destroyed: a timer left running at exit must not meet a
        // destroyed service.
        static TimerService *service = new TimerService;
        return *service;
    }

    quint32 add(quint32 delay, LPTIMECALLBACK callback, quintptr user, bool periodic)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Timer t;
        t.id = m_nextId++;
        if (m_nextId == 0)
            m_nextId = 1;
        t.period = delay;
        t.countdown = delay;
        t.callback = callback;
        t.user = user;
        t.periodic = periodic;
        m_timers.push_back(t);
        m_changed = true;
        m_wake.notify_one();
        if (!m_thread.joinable()) {
            const quint64 gen = m_generation;
            m_thread = std::thread([this, gen] { run(gen); });
        }
        return t.id;
    }

    bool kill(quint32 id)
    {
        std::thread finished;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            auto it
                = std::find_if(m_timers.begin(), m_timers.end(), [id](const Timer &t) { return t.id == id; });
            if (it == m_timers.end())
                return false;
            m_timers.erase(it);
            if (t_runningTimer != id)
                m_idle.wait(lock, [this, id] { return !isRunning(id); });
            if (m_timers.empty())
                finished = retireThread();
        }
        if (finished.joinable()) {
            if (finished.get_id() == std::this_thread::get_id())
                finished.detach();
            else
                finished.join();
        }
        return true;
    }

    bool setPeriod(quint32 id, quint32 period)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_timers.begin(), m_timers.end(), [id](const Timer &t) { return t.id == id; });
        if (it == m_timers.end() || !it->periodic)
            return false;
        it->period = period;
        // From its own callback the countdown was just reloaded with the old
        // period: the new one runs on tick numbers that are its multiples, so
        // idle timers of one period share their wake-ups. Otherwise a shorter
        // period counts from now: ticks already past while the thread slept
        // are not this timer's to fire on.
        if (t_runningTimer == id) {
            it->countdown = period - quint32(m_served % period);
        } else {
            timespec now {};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const long long pending = std::max(0LL, diffNs(now, m_servedAt) / kTickNs);
            it->countdown = quint32(std::min<long long>(it->countdown, pending + period));
        }
        m_changed = true;
        m_wake.notify_one();
        return true;
    }

    quint64 dropped() const { return m_dropped.load(); }
    quint64 wakeups() const { return m_wakeups.load(); }

private:
    TimerService() { m_running.reserve(16); }

    bool isRunning(quint32 id) const
    {
        return std::find(m_running.begin(), m_running.end(), id) != m_running.end();
    }

    // Caller holds the mutex. The thread sees the new generation and ends.
    std::thread retireThread()
    {
        ++m_generation;
        m_wake.notify_one();
        return std::move(m_thread);
    }

    // Ticks until the first timer is due; long sleeps are bounded so the
    // catch-up rule never sees a planned sleep as a stall.
    quint32 ticksAhead() const
    {
        quint32 ahead = quint32(kMmTimerMaxCatchUp);
        for (const Timer &t : m_timers)
            ahead = std::min(ahead, t.countdown);
        return std::max<quint32>(ahead, 1);
    }

    void run(quint64 gen)
    {
        // Wake-ups as close to the grid as the kernel allows.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        std::vector<Timer> due;
        due.reserve(16);
        timespec served {}; // the grid point of the last tick served
        clock_gettime(CLOCK_MONOTONIC, &served);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_servedAt = served;
        }
        bool warned = false;
        for (;;) {
            quint32 ahead = 1;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (gen != m_generation)
                    return;
                ahead = ticksAhead();
                m_changed = false;
            }
            timespec target = served;
            addNs(&target, (long long)ahead * kTickNs);
            if (ahead == 1) {
                while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) != 0) { }
            } else {
                // Idle timers only: sleep until the first is due, unless a
                // timer is added or sped up meanwhile.
                const auto until = std::chrono::steady_clock::time_point(
                    std::chrono::seconds(target.tv_sec) + std::chrono::nanoseconds(target.tv_nsec));
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait_until(lock, until, [this, gen] { return m_changed || gen != m_generation; });
            }
            m_wakeups.fetch_add(1);
            timespec now {};
            clock_gettime(CLOCK_MONOTONIC, &now);
            long long ticks = diffNs(now, served) / kTickNs;
            if (ticks <= 0)
                continue; // woken before the next grid point: plan again
            const long long bound = std::max<long long>(kMmTimerMaxCatchUp, ahead);
            if (ticks > bound) {
                const long long skip = ticks - bound;
                m_dropped.fetch_add(quint64(skip));
                addNs(&served, skip * kTickNs);
                ticks = bound;
                if (!warned) {
                    qWarning() << "Multimedia timer: thread stalled, dropped" << skip << "ticks";
                    warned = true;
                }
            }
            for (long long k = 0; k < ticks; ++k) {
                addNs(&served, kTickNs);
                if (!tick(gen, served, &due))
                    return;
            }
        }
    }

    // One millisecond: every due callback in the order the timers were set.
    bool tick(quint64 gen, const timespec &at, std::vector<Timer> *due)
    {
        due->clear();
        quint64 tickNumber = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (gen != m_generation)
                return false;
            tickNumber = ++m_served;
            m_servedAt = at;
            for (auto it = m_timers.begin(); it != m_timers.end();) {
                if (--it->countdown == 0) {
                    due->push_back(*it);
                    if (!it->periodic) {
                        it = m_timers.erase(it);
                        continue;
                    }
                    it->countdown = it->period;
                }
                ++it;
            }
        }
        for (const Timer &t : *due) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (gen != m_generation)
                    return false;
                // Killed by an earlier callback of this tick.
                if (t.periodic && std::none_of(m_timers.begin(), m_timers.end(), [&t](const Timer &x) {
                        return x.id == t.id;
                    }))
                    continue;
                m_running.push_back(t.id);
            }
            t_runningTimer = t.id;
            t_runningTick = tickNumber;
            t.callback(t.id, 0, t.user, 0, 0);
            t_runningTimer = 0;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_running.erase(std::find(m_running.begin(), m_running.end(), t.id));
            }
            m_idle.notify_all();
        }
        std::thread finished;
        {
            // A last one-shot timer has fired: nothing is left to serve.
            std::lock_guard<std::mutex> lock(m_mutex);
            if (gen != m_generation)
                return false;
            if (m_timers.empty())
                finished = retireThread();
        }
        if (finished.joinable()) {
            finished.detach();
            return false;
        }
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::condition_variable m_wake;
    bool m_changed = false;
    quint64 m_served = 0;
    timespec m_servedAt {};
    std::vector<Timer> m_timers;
    std::vector<quint32> m_running;
    std::thread m_thread;
    quint64 m_generation = 0;
    quint32 m_nextId = 1;
    std::atomic<quint64> m_dropped { 0 };
    std::atomic<quint64> m_wakeups { 0 };
};

std::mutex g_periodMutex;
int g_periodRefs = 0;
} // namespace

MMRESULT timeBeginPeriod(quint32 periodMs)
{
    if (periodMs == 0)
        return TIMERR_NOCANDO;
    // The grid is always 1 ms here; only the balance of calls is kept.
    std::lock_guard<std::mutex> lock(g_periodMutex);
    ++g_periodRefs;
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(quint32 periodMs)
{
    std::lock_guard<std::mutex> lock(g_periodMutex);
    if (periodMs == 0 || g_periodRefs == 0)
        return TIMERR_NOCANDO;
    --g_periodRefs;
    return TIMERR_NOERROR;
}

quint32 timeSetEvent(
    quint32 delayMs, quint32 resolutionMs, LPTIMECALLBACK callback, quintptr user, quint32 flags)
{
    Q_UNUSED(resolutionMs)
    if (!callback || delayMs == 0)
        return 0;
    return TimerService::instance().add(delayMs, callback, user, (flags & TIME_PERIODIC) != 0);
}

MMRESULT timeKillEvent(quint32 timerId)
{
    if (timerId == 0)
        return MMSYSERR_INVALPARAM;
    return TimerService::instance().kill(timerId) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

quint64 mmTimerDroppedTicks()
{
    return TimerService::instance().dropped();
}

MMRESULT timeSetEventPeriod(quint32 timerId, quint32 periodMs)
{
    if (timerId == 0 || periodMs == 0)
        return MMSYSERR_INVALPARAM;
    return TimerService::instance().setPeriod(timerId, periodMs) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

quint64 mmTimerTick()
{
    return t_runningTick;
}

quint64 mmTimerWakeups()
{
    return TimerService::instance().wakeups();
}
