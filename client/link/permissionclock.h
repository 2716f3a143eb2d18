#pragma once

#include <QString>

namespace morvex {

// The work/pause countdown the session drives for the current Brelko. The
// permission panel implements it; the session needs no widget to use it.
class PermissionClock
{
public:
    virtual ~PermissionClock() = default;

    virtual void setAddrPass(const QString &address, const QString &password) = 0;
    virtual void setTimers(quint32 work, quint32 pause) = 0;
    virtual bool isWorkTimer() const = 0;
    virtual bool isEmpty() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void clear() = 0;
};

} // namespace morvex
