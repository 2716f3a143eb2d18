#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <atomic>
#include <memory>

class VSPortPty;

// Stand-in for the virtual-serial-port COM component "VSPort.VSPortAx.1".
// Callers use its late-bound surface: dynamicCall() with a method signature
// ("CreatePort(BSTR)") or a bare property name (read with no argument, set
// with one), isNull(), and the events as signals. One object drives at most
// one port; ports are pseudo-terminals kept by VSPortBus.
class VSPortAx : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VSPortAx)
    Q_PROPERTY(int InCount READ inCount)
    Q_PROPERTY(bool IsOpened READ isOpened)
    Q_PROPERTY(bool RTS READ rts)
    Q_PROPERTY(bool DTR READ dtr)
    Q_PROPERTY(int Baudrate READ baudRate)
    Q_PROPERTY(int Stopbits READ stopBits)
    Q_PROPERTY(int Parity READ parity)
    Q_PROPERTY(int Databits READ dataBits)
    Q_PROPERTY(bool DeleteOnExit READ deleteOnExit WRITE setDeleteOnExit)
    Q_PROPERTY(int CountVirtualPort READ countVirtualPort)

public:
    static const char *const kProgId;

    explicit VSPortAx(const QString &control = QString(), QObject *parent = nullptr);
    ~VSPortAx() override;

    // Binds to the component named by its ProgID; fails when the name is
    // unknown or pseudo-terminals cannot be made here.
    bool setControl(const QString &control);
    QString control() const { return m_control; }
    bool isNull() const { return !m_loaded; }

    virtual QVariant dynamicCall(const char *signature, const QVariantList &args = QVariantList());
    QVariant dynamicCall(const char *signature, const QVariant &arg1)
    {
        return dynamicCall(signature, QVariantList { arg1 });
    }

    // Name of the bound port, empty when none.
    QString portName() const;

    int inCount() const;
    bool isOpened() const;
    bool rts() const;
    bool dtr() const;
    int baudRate() const;
    int stopBits() const;
    int parity() const;
    int dataBits() const;
    bool deleteOnExit() const { return m_deleteOnExit.load(); }
    void setDeleteOnExit(bool on) { m_deleteOnExit.store(on); }
    int countVirtualPort() const;

signals:
    void OnRxChar(int count);
    void OnBaudRate(int baudRate);
    void OnDTR(bool on);
    void OnLineControl(int stopBits, int parity, int dataBits);
    void OnOpenClose(bool opened);
    void OnRTS(bool on);
    void OnBreak(bool on);
    // Not one of the component's events: emitted at once, on the thread that
    // changed RTS or DTR, ahead of the queued OnRTS/OnDTR, so a sampler that
    // sleeps while the lines are quiet can wake in time for the edge.
    void OnLineEdge();

private:
    std::shared_ptr<VSPortPty> port() const;
    void bind(const std::shared_ptr<VSPortPty> &port, bool created);
    void unbind();
    bool createPort(const QString &name);
    bool attach(const QString &name);
    bool deletePort();

    QString m_control;
    bool m_loaded = false;
    // Read from the keying timer thread while the GUI thread may rebind.
    std::shared_ptr<VSPortPty> m_port;
    bool m_created = false;
    std::atomic<bool> m_deleteOnExit { true };
    QList<QMetaObject::Connection> m_connections;
};
