#pragma once

#include <pthread.h>

// Stand-in for SetThreadPriority/GetCurrentThread: raising a thread to
// time-critical means SCHED_FIFO here, which the system may refuse.
using ThreadHandle = pthread_t;

constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

ThreadHandle GetCurrentThread();
// True when the priority was applied. Time-critical asks for SCHED_FIFO;
// without the right to it the call fails and may be retried later.
bool SetThreadPriority(ThreadHandle thread, int priority);
