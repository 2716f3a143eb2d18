#pragma once

#include "client/link/errorspacket.h"

#include <QAbstractSocket>
#include <QtGlobal>

namespace morvex {

// When to try the Brelko again after a connection ends. An ordinary drop of
// a connection that worked is retried at once; attempts that keep failing
// back off (1, 2, 4, 8, then 10 s) so a box that refuses or drops us is not
// hammered; a refused log-in and a second client wait 10 s. A connection
// that lives 30 s ends the back-off.
class ReconnectPolicy final
{
public:
    enum class Outcome {
        Dropped, // the link ended; connectedMs says how long it lived
        Unreachable, // refused, host not found, network down, no access
        WrongPassword, // the box refused the log-in
        SecondClient, // another client holds the box
    };

    static constexpr int kEarlyDropMs = 10000;
    static constexpr int kHealthyMs = 30000;
    static constexpr int kRefusedDelayMs = 10000;
    static constexpr int kSteps[] = { 1000, 2000, 4000, 8000, 10000 };

    struct Decision
    {
        int delayMs = 0; // 0: at once
        bool failure = false; // the attempt counts as failed
        bool operator==(const Decision &o) const { return delayMs == o.delayMs && failure == o.failure; }
    };

    // How a connection ended, from the box's last word, the socket's error
    // and whether a pause is running (its end connects again instead).
    struct Ending
    {
        bool waitForPause = false;
        Outcome outcome = Outcome::Dropped;
        // The link itself ended (not a refusal or an unreachable host):
        // the work countdown stops with it.
        bool stopCountdown = false;
        bool operator==(const Ending &o) const
        {
            return waitForPause == o.waitForPause && outcome == o.outcome && stopCountdown == o.stopCountdown;
        }
    };
    static Ending ending(ErrorsPacket::ConnectionError reason, QAbstractSocket::SocketError error,
        bool pauseRunning, qint64 connectedMs);

    // The delay before the next attempt after an end with this outcome;
    // connectedMs is how long the link was up (negative: it never was).
    Decision next(Outcome outcome, qint64 connectedMs);
    // A connection that has lived kHealthyMs calls this.
    void reset() { m_failures = 0; }
    int failures() const { return m_failures; }

    // The pure rule: delay for the given number of earlier failures.
    static Decision decide(Outcome outcome, qint64 connectedMs, int failures);

private:
    int m_failures = 0;
};

} // namespace morvex
