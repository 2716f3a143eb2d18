#pragma once

#include <QtGlobal>

// Stand-in for the multimedia timer calls. One timer thread serves every
// timer of the process: each 1 ms tick runs the due callbacks in the order
// the timers were set, and a late wake-up replays the missed ticks (up to a
// bound) so that the number of ticks follows the elapsed milliseconds.
using MMRESULT = quint32;
using LPTIMECALLBACK = void (*)(quint32 timerId, quint32 msg, quintptr user, quintptr dw1, quintptr dw2);

constexpr quint32 TIME_ONESHOT = 0x0000;
constexpr quint32 TIME_PERIODIC = 0x0001;
constexpr quint32 TIME_CALLBACK_FUNCTION = 0x0000;
constexpr quint32 TIME_KILL_SYNCHRONOUS = 0x0100;

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT TIMERR_NOCANDO = 97;

// Most ticks replayed after one late wake-up; older ones are dropped so a
// stalled machine never makes the timer thread spin.
constexpr int kMmTimerMaxCatchUp = 250;

MMRESULT timeBeginPeriod(quint32 periodMs);
MMRESULT timeEndPeriod(quint32 periodMs);
// Returns the timer id, 0 on failure. Delay and resolution are whole
// milliseconds; the delay must be at least 1.
quint32 timeSetEvent(
    quint32 delayMs, quint32 resolutionMs, LPTIMECALLBACK callback, quintptr user, quint32 flags);
// Returns once no callback of the timer runs any more (unless called from
// that very callback) and, when it was the last timer, once the timer thread
// has ended.
MMRESULT timeKillEvent(quint32 timerId);

// Not in the original interface: changes a periodic timer's period, from
// any thread or from its own callback. A shorter period takes effect at the
// next tick, so an idle timer can be woken at once. Set from its own
// callback, the timer then fires on tick numbers that are multiples of the
// period, so timers of one period wake the thread together. The timer thread sleeps
// until the first timer is due, so long periods cost no 1 ms wake-ups.
MMRESULT timeSetEventPeriod(quint32 timerId, quint32 periodMs);

// Inside a callback: the number of the tick being served. Ticks are numbered
// one per millisecond served (dropped ticks have none), so the difference
// between two calls is the milliseconds between them.
quint64 mmTimerTick();

// Times the timer thread has woken up so far.
quint64 mmTimerWakeups();

// Ticks dropped so far because the catch-up bound was hit.
quint64 mmTimerDroppedTicks();
