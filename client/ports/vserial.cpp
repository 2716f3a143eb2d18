#include "client/ports/vserial.h"

#include "platform/vsportax.h"

#include <QDebug>

#include <limits>
#include <memory>

namespace morvex {

namespace {
// Shared by every device and class operation.
const QString g_progId = QString::fromLatin1(VSPortAx::kProgId);

void warnMissing()
{
    qWarning().noquote() << "Warning! " << g_progId << " doesn't load.";
}
} // namespace

const QString &VSerial::progId()
{
    return g_progId;
}

VSerial::VSerial(QObject *parent)
    : QIODevice(parent)
{
    // COM needs no per-thread initialisation here: the component is in-process.
    m_ax = new VSPortAx(g_progId, this);
    init();
}

VSerial::VSerial(VSPortAx *component, QObject *parent)
    : QIODevice(parent)
    , m_ax(component)
{
    if (!m_ax)
        m_ax = new VSPortAx(QString(), this);
    m_ax->setParent(this);
    init();
}

VSerial::~VSerial() = default;

void VSerial::init()
{
    if (m_ax->isNull()) {
        qWarning().noquote() << "Warning! Can't load " << g_progId;
        return;
    }
    m_loaded = true;
    connect(m_ax, &VSPortAx::OnRxChar, this, &VSerial::readyRead);
    connect(m_ax, &VSPortAx::OnBaudRate, this, &VSerial::changeBaudRate);
    connect(m_ax, &VSPortAx::OnDTR, this, &VSerial::changeDTR);
    connect(m_ax, &VSPortAx::OnLineControl, this, &VSerial::changeLineControl);
    connect(m_ax, &VSPortAx::OnOpenClose, this, &VSerial::changeOpenClose);
    connect(m_ax, &VSPortAx::OnRTS, this, &VSerial::changeRTS);
    connect(m_ax, &VSPortAx::OnBreak, this, &VSerial::changeBreak);
    connect(m_ax, &VSPortAx::OnLineEdge, this, &VSerial::lineEdge, Qt::DirectConnection);
}

void VSerial::warnNotLoaded() const
{
    warnMissing();
}

bool VSerial::createPort(const QString &name)
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    const bool ok = m_ax->dynamicCall("CreatePort(BSTR)", name).toBool();
    if (ok)
        m_portName = name;
    else
        m_portName.clear();
    // Keep the port for the next start, where attachPort takes it over.
    m_ax->dynamicCall("DeleteOnExit", false);
    return ok;
}

bool VSerial::attachPort(const QString &name)
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    const bool ok = m_ax->dynamicCall("Attach(BSTR)", name).toBool();
    if (ok) {
        m_portName = name;
        refreshState();
    } else {
        m_portName.clear();
    }
    return ok;
}

void VSerial::refreshState()
{
    // A program may already hold the port: hand its settings on.
    if (!isOpened())
        return;
    emit changeOpenClose(true);
    emit changeBaudRate(m_ax->dynamicCall("Baudrate").toInt());
    emit changeDTR(m_ax->dynamicCall("DTR").toBool());
    emit changeRTS(m_ax->dynamicCall("RTS").toBool());
    const int stopBits = m_ax->dynamicCall("Stopbits").toInt();
    const int parity = m_ax->dynamicCall("Parity").toInt();
    const int dataBits = m_ax->dynamicCall("Databits").toInt();
    emit changeLineControl(stopBits, parity, dataBits);
}

bool VSerial::deletePort()
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    return m_ax->dynamicCall("Delete(void)").toBool();
}

bool VSerial::isOpened()
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    return m_ax->dynamicCall("IsOpened").toBool();
}

int VSerial::readLine(const char *property, const char *errorText)
{
    if (!m_loaded)
        return 0;
    bool ok = false;
    const qulonglong v = m_ax->dynamicCall(property).toULongLong(&ok);
    if (!ok) {
        qWarning() << errorText << m_portName;
        return 0;
    }
    return int(v);
}

int VSerial::readRts()
{
    return readLine("RTS", "RTS read error in");
}

int VSerial::readDtr()
{
    return readLine("DTR", "DTR read error in");
}

bool VSerial::setCTS(bool on)
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    return m_ax->dynamicCall("SetCTS(bool)", on).toBool();
}

bool VSerial::setDCD(bool on)
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    return m_ax->dynamicCall("SetDCD(bool)", on).toBool();
}

bool VSerial::setDSR(bool on)
{
    if (!m_loaded) {
        warnNotLoaded();
        return false;
    }
    return m_ax->dynamicCall("SetDSR(bool)", on).toBool();
}

bool VSerial::open(OpenMode mode)
{
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

bool VSerial::reset()
{
    // A device that is not open has nothing to discard (and read() would warn).
    if (!isOpen())
        return true;
    // Drop what the program wrote while nobody was listening. Bounded, so a
    // program that never stops writing cannot hold the caller here.
    constexpr qint64 kMaxDiscard = 4 * 1024 * 1024;
    char chunk[16384];
    qint64 dropped = 0;
    while (dropped < kMaxDiscard) {
        const qint64 n = read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        dropped += n;
    }
    return true;
}

qint64 VSerial::bytesAvailable() const
{
    if (!m_loaded) {
        warnNotLoaded();
        return -1;
    }
    return m_ax->dynamicCall("InCount").toLongLong();
}

qint64 VSerial::readData(char *data, qint64 maxSize)
{
    if (!m_loaded) {
        warnNotLoaded();
        return -1;
    }
    const int ask = int(qBound<qint64>(0, maxSize, std::numeric_limits<int>::max()));
    const QByteArray got = m_ax->dynamicCall("ReadArray(int)", ask).toByteArray();
    if (got.isEmpty())
        return 0;
    // Never copy more than the caller's buffer holds, whatever the component says.
    int n = got.size();
    if (n > ask) {
        qWarning() << "VSerial::readData" << m_portName << "component returned" << n << "bytes for" << ask;
        n = ask;
    }
    memcpy(data, got.constData(), size_t(n));
    return n;
}

qint64 VSerial::writeData(const char *data, qint64 size)
{
    if (!m_loaded) {
        warnNotLoaded();
        return -1;
    }
    const int n = int(qBound<qint64>(0, size, std::numeric_limits<int>::max()));
    const QByteArray bytes(data, n);
    return m_ax->dynamicCall("WriteArray(QVariant)", QVariant(bytes)).toLongLong();
}

bool VSerial::isAvailable()
{
    const VSPortAx ax(g_progId);
    return !ax.isNull();
}

int VSerial::countVirtualPorts()
{
    const std::unique_ptr<VSPortAx> ax(new VSPortAx(g_progId));
    if (ax->isNull()) {
        warnMissing();
        return -1;
    }
    return ax->dynamicCall("CountVirtualPort").toInt();
}

QString VSerial::enumVirtualPort(int index)
{
    const std::unique_ptr<VSPortAx> ax(new VSPortAx(g_progId));
    if (ax->isNull()) {
        warnMissing();
        return QString();
    }
    return ax->dynamicCall("EnumVirtualPort(LONG)", index).toString();
}

bool VSerial::resetBus()
{
    const std::unique_ptr<VSPortAx> ax(new VSPortAx(g_progId));
    if (ax->isNull()) {
        warnMissing();
        return false;
    }
    return ax->dynamicCall("ResetBus(void)").toBool();
}

} // namespace morvex
