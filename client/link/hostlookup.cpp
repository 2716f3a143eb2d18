#include "client/link/hostlookup.h"

#include <QUrl>

#include <thread>

#include <netdb.h>
#include <sys/socket.h>

namespace morvex {

namespace {
QList<QHostAddress> resolve(const QByteArray &name, QString *error)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *result = nullptr;
    const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &result);
    QList<QHostAddress> v4;
    QList<QHostAddress> other;
    if (rc != 0) {
        *error = QString::fromLocal8Bit(::gai_strerror(rc));
        return {};
    }
    for (const addrinfo *p = result; p; p = p->ai_next) {
        const QHostAddress a(p->ai_addr);
        if (a.isNull() || v4.contains(a) || other.contains(a))
            continue;
        (a.protocol() == QAbstractSocket::IPv4Protocol ? v4 : other).append(a);
    }
    ::freeaddrinfo(result);
    if (v4.isEmpty() && other.isEmpty())
        *error = QStringLiteral("no address");
    return v4 + other;
}
} // namespace

HostLookup::HostLookup(QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

HostLookup::~HostLookup()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

int HostLookup::lookup(const QString &name)
{
    // International names go to the resolver in their ASCII form.
    const QByteArray ace = QUrl::toAce(name.trimmed());
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (m_shared->runningId != 0 && m_shared->runningName == ace) {
            // Still being looked up: its answer serves this attempt.
            m_current = m_shared->runningId;
            return m_current;
        }
    }
    m_current = ++m_last;
    if (m_last == INT_MAX)
        m_last = 0;
    const int id = m_current;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->runningName = ace;
        m_shared->runningId = id;
    }
    std::thread([shared = m_shared, id, ace] {
        QString error;
        const QList<QHostAddress> addresses = ace.isEmpty() ? QList<QHostAddress>() : resolve(ace, &error);
        if (ace.isEmpty())
            error = QStringLiteral("no host name");
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->runningId == id)
            shared->runningId = 0;
        HostLookup *owner = shared->owner;
        if (!owner)
            return;
        // Posted while the lock keeps the owner alive; a posted call to an
        // object deleted before it runs is dropped by Qt.
        QMetaObject::invokeMethod(
            owner, [owner, id, addresses, error] { owner->deliver(id, addresses, error); },
            Qt::QueuedConnection);
    }).detach();
    return id;
}

void HostLookup::abort()
{
    m_current = 0;
}

void HostLookup::deliver(int id, const QList<QHostAddress> &addresses, const QString &error)
{
    if (id != m_current)
        return;
    m_current = 0;
    emit finished(id, addresses, error);
}

} // namespace morvex
