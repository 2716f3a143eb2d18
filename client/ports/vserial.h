#pragma once

#include <QIODevice>
#include <QString>

class VSPortAx;

namespace morvex {

// One virtual COM port offered to local programs, as a QIODevice: what the
// program writes is read here, what is written here the program receives,
// and what the program does to the port arrives as signals.
class VSerial : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VSerial)

public:
    static const QString &progId();

    explicit VSerial(QObject *parent = nullptr);
    // Drives the given component object instead of loading one; takes it over.
    explicit VSerial(VSPortAx *component, QObject *parent = nullptr);
    ~VSerial() override;

    bool createPort(const QString &name);
    bool attachPort(const QString &name);
    bool deletePort();
    bool isOpened();
    // Called from the keying timer thread too: the component answers these
    // from atomic line state.
    int readRts();
    int readDtr();
    QString portName() const { return m_portName; }
    bool isLoaded() const { return m_loaded; }

    bool open(OpenMode mode) override;
    bool reset() override;
    qint64 bytesAvailable() const override;

    static bool isAvailable();
    static int countVirtualPorts();
    static QString enumVirtualPort(int index);
    static bool resetBus();

signals:
    void changeBaudRate(int baudRate);
    void changeDTR(bool on);
    void changeLineControl(int stopBits, int parity, int dataBits);
    void changeOpenClose(bool opened);
    void changeRTS(bool on);
    void changeBreak(bool on);
    // RTS or DTR changed: emitted at once on the changing thread (connect
    // directly); changeRTS/changeDTR follow in this object's thread.
    void lineEdge();

public slots:
    bool setCTS(bool on);
    bool setDCD(bool on);
    bool setDSR(bool on);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void init();
    void refreshState();
    void warnNotLoaded() const;
    int readLine(const char *property, const char *errorText);

    bool m_loaded = false;
    VSPortAx *m_ax = nullptr;
    QString m_portName;
};

} // namespace morvex
