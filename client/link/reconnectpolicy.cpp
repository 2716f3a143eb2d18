#include "client/link/reconnectpolicy.h"

#include <iterator>

namespace morvex {

ReconnectPolicy::Decision ReconnectPolicy::decide(Outcome outcome, qint64 connectedMs, int failures)
{
    switch (outcome) {
    case Outcome::WrongPassword:
    case Outcome::SecondClient:
        return { kRefusedDelayMs, true };
    case Outcome::Dropped:
        if (connectedMs >= kEarlyDropMs)
            return { 0, false };
        break;
    case Outcome::Unreachable:
        break;
    }
    constexpr int last = int(std::size(kSteps)) - 1;
    return { kSteps[qBound(0, failures, last)], true };
}

ReconnectPolicy::Decision ReconnectPolicy::next(Outcome outcome, qint64 connectedMs)
{
    if (outcome == Outcome::Dropped && connectedMs >= kHealthyMs)
        m_failures = 0;
    const Decision d = decide(outcome, connectedMs, m_failures);
    if (d.failure)
        ++m_failures;
    return d;
}

ReconnectPolicy::Ending ReconnectPolicy::ending(ErrorsPacket::ConnectionError reason,
    QAbstractSocket::SocketError error, bool pauseRunning, qint64 connectedMs)
{
    Ending e;
    if (reason == ErrorsPacket::MultipleConnection) {
        e.outcome = Outcome::SecondClient;
    } else if (reason == ErrorsPacket::WrongPassword) {
        e.outcome = Outcome::WrongPassword;
    } else if (error == QAbstractSocket::HostNotFoundError || error == QAbstractSocket::NetworkError) {
        e.outcome = Outcome::Unreachable;
    } else if (pauseRunning) {
        e.waitForPause = true;
    } else {
        e.outcome = connectedMs < 0 ? Outcome::Unreachable : Outcome::Dropped;
        e.stopCountdown = true;
    }
    return e;
}

} // namespace morvex
