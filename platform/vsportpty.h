#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// One virtual serial port: a pseudo-terminal whose slave local programs open
// through a symlink. A watcher thread turns what the program does on the
// slave (open, close, settings, bytes written) into the signals below; they
// are emitted on the watcher thread, so receivers connect queued.
class VSPortPty final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VSPortPty)

public:
    // Bytes the program wrote and nobody read yet; above this the watcher
    // stops reading so the program's writes block instead of being lost.
    static constexpr int kInputLimit = 64 * 1024;

    // Opens a new pty through ptmxPath and publishes its slave at linkPath.
    // Returns null and fills error on failure.
    static std::unique_ptr<VSPortPty> create(
        const QString &name, const QString &ptmxPath, const QString &linkPath, QString *error);
    ~VSPortPty() override;

    QString name() const { return m_name; }
    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

    // Stops the watcher, removes the symlink and closes the pty; programs
    // still holding the slave see a hang-up.
    void shutdown();
    bool isAlive() const { return m_alive.load(); }

    bool isOpened() const { return m_opened.load(); }
    int baudRate() const { return m_baud.load(); }
    int stopBits() const { return m_stopBits.load(); }
    int parity() const { return m_parity.load(); }
    int dataBits() const { return m_dataBits.load(); }
    bool rts() const { return m_rts.load(); }
    bool dtr() const { return m_dtr.load(); }
    bool breakState() const { return m_break.load(); }
    bool cts() const { return m_cts.load(); }
    bool dcd() const { return m_dcd.load(); }
    bool dsr() const { return m_dsr.load(); }

    int inCount() const { return m_inCount.load(); }
    QByteArray readArray(int maxSize);
    // Bytes for the program to read. Refused (0) while no program has the
    // port open, so nothing stale reaches the next program.
    qint64 writeArray(const QByteArray &data);
    void discardInput();

    void setCts(bool on) { m_cts.store(on); }
    void setDcd(bool on) { m_dcd.store(on); }
    void setDsr(bool on) { m_dsr.store(on); }

    // Program side: a pty has no modem lines, so an in-process program
    // drives them here.
    void programSetRts(bool on);
    void programSetDtr(bool on);
    void programSetBreak(bool on);

signals:
    void rxChar(int count);
    void openClose(bool opened);
    void baudRateChanged(int baudRate);
    void lineControlChanged(int stopBits, int parity, int dataBits);
    void rtsChanged(bool on);
    void dtrChanged(bool on);
    void breakChanged(bool on);

private:
    VSPortPty(const QString &name, const QString &linkPath);
    void watch();
    void wake();
    // Reads the slave's termios; emits the settings when asked or changed.
    void refreshLine(bool always);
    // Reads everything the master holds; false once the slave hung up.
    bool drainMaster(bool *settingsChanged);
    bool masterHungUp() const;
    void becomeOpened();
    void becomeClosed();

    const QString m_name;
    const QString m_linkPath;
    QString m_slavePath;
    int m_master = -1;
    int m_wakeFd = -1;
    int m_notifyFd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_alive { false };

    std::atomic<bool> m_opened { false };
    std::atomic<int> m_baud { 9600 };
    std::atomic<int> m_stopBits { 0 };
    std::atomic<int> m_parity { 0 };
    std::atomic<int> m_dataBits { 8 };
    std::atomic<bool> m_rts { false };
    std::atomic<bool> m_dtr { false };
    std::atomic<bool> m_break { false };
    std::atomic<bool> m_cts { false };
    std::atomic<bool> m_dcd { false };
    std::atomic<bool> m_dsr { false };
    bool m_extproc = true;

    mutable std::mutex m_inLock;
    QByteArray m_in;
    std::atomic<int> m_inCount { 0 };
};
