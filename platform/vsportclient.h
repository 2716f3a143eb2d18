#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class VSPortPty;

// The local program's side of a virtual serial port, for tests and tools:
// opens the published path like any serial program, sets line settings
// through termios, reads and writes, and drives the modem lines that a
// pseudo-terminal lacks.
class VSPortClient final
{
    Q_DISABLE_COPY_MOVE(VSPortClient)

public:
    VSPortClient() = default;
    ~VSPortClient();

    // Opens $VSPORT_DIR/<name> as a serial program would (raw mode kept).
    bool open(const QString &name);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Parity and stop bits in the driver codes (parity 0 none .. 4 space;
    // stop bits 0 = 1, 2 = 2).
    bool setLine(int baudRate, int dataBits = 8, int parity = 0, int stopBits = 0);
    // Writes everything, waiting while the port is full, up to timeoutMs.
    qint64 write(const QByteArray &data, int timeoutMs = 5000);
    // Waits up to timeoutMs for at least one byte, then returns what is there.
    QByteArray read(int maxSize, int timeoutMs);

    bool setRts(bool on);
    bool setDtr(bool on);
    bool setBreak(bool on);
    bool cts() const;
    bool dcd() const;
    bool dsr() const;

private:
    std::shared_ptr<VSPortPty> m_port;
    int m_fd = -1;
};
