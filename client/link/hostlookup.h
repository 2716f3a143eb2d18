#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

namespace morvex {

// Looks a host name up in a thread of its own that nobody waits for: a
// resolver that hangs (network down, a dead DNS server) never holds up the
// window, and never holds up the program's exit either, which a pooled
// lookup would (the pool is waited for when the program ends).
class HostLookup final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostLookup)

public:
    explicit HostLookup(QObject *parent = nullptr);
    ~HostLookup() override;

    // Starts a lookup; the answer of an earlier one still running is dropped.
    // Returns its id, as finished() reports it.
    int lookup(const QString &name);
    // Forgets the running lookup.
    void abort();
    bool isRunning() const { return m_current != 0; }

signals:
    // IPv4 addresses first; an empty list comes with the resolver's error.
    void finished(int id, const QList<QHostAddress> &addresses, const QString &error);

private:
    struct Shared
    {
        std::mutex mutex;
        HostLookup *owner = nullptr;
        // The lookup whose thread is still running, so a resolver that hangs
        // gets one thread per name, not one per attempt.
        QByteArray runningName;
        int runningId = 0;
    };

    void deliver(int id, const QList<QHostAddress> &addresses, const QString &error);

    std::shared_ptr<Shared> m_shared;
    int m_current = 0;
    int m_last = 0;
};

} // namespace morvex
