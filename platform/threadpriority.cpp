#include "platform/threadpriority.h"

#include <sched.h>

namespace {
// High enough to beat ordinary threads, low enough to leave room for the
// kernel's own real-time work.
constexpr int kFifoPriority = 40;
} // namespace

ThreadHandle GetCurrentThread()
{
    return pthread_self();
}

bool SetThreadPriority(ThreadHandle thread, int priority)
{
    sched_param param {};
    if (priority >= THREAD_PRIORITY_TIME_CRITICAL) {
        param.sched_priority = kFifoPriority;
        return pthread_setschedparam(thread, SCHED_FIFO, &param) == 0;
    }
    // Lower levels map to the normal scheduler; niceness stays as it is.
    param.sched_priority = 0;
    return pthread_setschedparam(thread, SCHED_OTHER, &param) == 0;
}
