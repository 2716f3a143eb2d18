#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

class VSPortPty;

// The process-wide registry of virtual serial ports. Ports live as long as
// the process (or until deleted); every component object sees the same set.
class VSPortBus final
{
    Q_DISABLE_COPY_MOVE(VSPortBus)

public:
    static VSPortBus &instance();

    // The pseudo-terminal multiplexer, VSPORT_PTMX when set. When it cannot
    // be opened the component counts as not installed.
    static QString ptmxPath();
    static bool isUsable();
    // Where the ports are published: $VSPORT_DIR, else $XDG_RUNTIME_DIR/vsport,
    // else /tmp/vsport-<uid>.
    static QString directory();
    // "COM1" to "COM255" (any case) in canonical spelling, else empty.
    static QString canonicalName(const QString &name);

    std::shared_ptr<VSPortPty> create(const QString &name, QString *error = nullptr);
    std::shared_ptr<VSPortPty> find(const QString &name) const;
    bool remove(const std::shared_ptr<VSPortPty> &port);
    int count() const;
    QString nameAt(int index) const;
    void removeAll();

private:
    VSPortBus() = default;
    ~VSPortBus();

    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<VSPortPty>> m_ports;
};
