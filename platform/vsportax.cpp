#include "platform/vsportax.h"

#include "platform/vsportbus.h"
#include "platform/vsportpty.h"

#include <QDebug>

#include <cstring>

const char *const VSPortAx::kProgId = "VSPort.VSPortAx.1";

VSPortAx::VSPortAx(const QString &control, QObject *parent)
    : QObject(parent)
{
    if (!control.isEmpty())
        setControl(control);
}

VSPortAx::~VSPortAx()
{
    unbind();
}

bool VSPortAx::setControl(const QString &control)
{
    unbind();
    m_control = control;
    m_loaded = control == QLatin1String(kProgId) && VSPortBus::isUsable();
    return m_loaded;
}

std::shared_ptr<VSPortPty> VSPortAx::port() const
{
    return std::atomic_load(&m_port);
}

void VSPortAx::bind(const std::shared_ptr<VSPortPty> &port, bool created)
{
    unbind();
    VSPortPty *p = port.get();
    m_connections << connect(p, &VSPortPty::rxChar, this, &VSPortAx::OnRxChar, Qt::QueuedConnection)
                  << connect(
                         p, &VSPortPty::baudRateChanged, this, &VSPortAx::OnBaudRate, Qt::QueuedConnection)
                  << connect(p, &VSPortPty::dtrChanged, this, &VSPortAx::OnDTR, Qt::QueuedConnection)
                  << connect(p, &VSPortPty::lineControlChanged, this, &VSPortAx::OnLineControl,
                         Qt::QueuedConnection)
                  << connect(p, &VSPortPty::openClose, this, &VSPortAx::OnOpenClose, Qt::QueuedConnection)
                  << connect(p, &VSPortPty::rtsChanged, this, &VSPortAx::OnRTS, Qt::QueuedConnection)
                  << connect(p, &VSPortPty::breakChanged, this, &VSPortAx::OnBreak, Qt::QueuedConnection)
                  << connect(p, &VSPortPty::rtsChanged, this, &VSPortAx::OnLineEdge, Qt::DirectConnection)
                  << connect(p, &VSPortPty::dtrChanged, this, &VSPortAx::OnLineEdge, Qt::DirectConnection);
    std::atomic_store(&m_port, port);
    m_created = created;
}

void VSPortAx::unbind()
{
    for (const QMetaObject::Connection &c : qAsConst(m_connections))
        disconnect(c);
    m_connections.clear();
    const std::shared_ptr<VSPortPty> old = std::atomic_exchange(&m_port, std::shared_ptr<VSPortPty>());
    if (old && m_created && m_deleteOnExit.load())
        VSPortBus::instance().remove(old);
    m_created = false;
}

bool VSPortAx::createPort(const QString &name)
{
    // An existing port is the normal case after a restart: the caller attaches.
    if (VSPortBus::instance().find(name))
        return false;
    QString error;
    const std::shared_ptr<VSPortPty> p = VSPortBus::instance().create(name, &error);
    if (!p) {
        qWarning().noquote() << "VSPortAx: cannot create" << name << "-" << error;
        return false;
    }
    bind(p, true);
    return true;
}

bool VSPortAx::attach(const QString &name)
{
    const std::shared_ptr<VSPortPty> p = VSPortBus::instance().find(name);
    if (!p || !p->isAlive())
        return false;
    bind(p, false);
    return true;
}

bool VSPortAx::deletePort()
{
    const std::shared_ptr<VSPortPty> p = port();
    if (!p)
        return false;
    m_created = false;
    unbind();
    return VSPortBus::instance().remove(p);
}

QVariant VSPortAx::dynamicCall(const char *signature, const QVariantList &args)
{
    if (!m_loaded || !signature)
        return QVariant();
    auto is = [signature](const char *s) { return std::strcmp(signature, s) == 0; };
    const QVariant a0 = args.value(0);

    if (!std::strchr(signature, '(')) {
        const int index = metaObject()->indexOfProperty(signature);
        if (index < 0 || args.size() > 1) {
            qWarning() << "VSPortAx: unknown member" << signature;
            return QVariant();
        }
        if (args.isEmpty())
            return property(signature);
        setProperty(signature, a0);
        return QVariant();
    }

    if (is("CreatePort(BSTR)"))
        return createPort(a0.toString());
    if (is("Attach(BSTR)"))
        return attach(a0.toString());
    if (is("Delete(void)"))
        return deletePort();
    if (is("ReadArray(int)")) {
        const std::shared_ptr<VSPortPty> p = port();
        return p ? p->readArray(a0.toInt()) : QByteArray();
    }
    if (is("WriteArray(QVariant)")) {
        const std::shared_ptr<VSPortPty> p = port();
        return p ? qlonglong(p->writeArray(a0.toByteArray())) : qlonglong(0);
    }
    if (is("SetCTS(bool)") || is("SetDCD(bool)") || is("SetDSR(bool)")) {
        const std::shared_ptr<VSPortPty> p = port();
        if (!p || !p->isAlive())
            return false;
        const bool on = a0.toBool();
        if (is("SetCTS(bool)"))
            p->setCts(on);
        else if (is("SetDCD(bool)"))
            p->setDcd(on);
        else
            p->setDsr(on);
        return true;
    }
    if (is("EnumVirtualPort(LONG)"))
        return VSPortBus::instance().nameAt(a0.toInt());
    if (is("ResetBus(void)")) {
        unbind();
        VSPortBus::instance().removeAll();
        return true;
    }
    qWarning() << "VSPortAx: unknown member" << signature;
    return QVariant();
}

QString VSPortAx::portName() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p ? p->name() : QString();
}

int VSPortAx::inCount() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p ? p->inCount() : 0;
}

bool VSPortAx::isOpened() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p && p->isAlive() && p->isOpened();
}

bool VSPortAx::rts() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p && p->rts();
}

bool VSPortAx::dtr() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p && p->dtr();
}

int VSPortAx::baudRate() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p ? p->baudRate() : 0;
}

int VSPortAx::stopBits() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p ? p->stopBits() : 0;
}

int VSPortAx::parity() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p ? p->parity() : 0;
}

int VSPortAx::dataBits() const
{
    const std::shared_ptr<VSPortPty> p = port();
    return p ? p->dataBits() : 0;
}

int VSPortAx::countVirtualPort() const
{
    return VSPortBus::instance().count();
}
