#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

// Runs brelko-sim as a child process on free loopback ports and scripts it
// through its control channel. Several may run at once.
class SimProcess final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SimProcess)

public:
    // One frame the simulator received on its command link.
    struct Frame
    {
        int conn = 0;
        qint64 ms = 0;
        int type = -1;
        quint32 value = 0;
        int length = 0;
        bool checksumOk = false;
        QByteArray payload;
    };

    explicit SimProcess(QObject *parent = nullptr);
    ~SimProcess() override;

    // $BRELKO_BIN_DIR/brelko-sim, else beside the test program.
    static QString program();

    // Starts with every port free-chosen; extra options go after them.
    bool start(const QStringList &extraArgs = {});
    // Asks the simulator to quit, kills it when it does not.
    void stop();
    bool isRunning() const;

    quint16 tcpPort() const { return m_ports.value(QStringLiteral("tcp")); }
    quint16 audioPort() const { return m_ports.value(QStringLiteral("audio")); }
    quint16 keyingPort() const { return m_ports.value(QStringLiteral("keying")); }
    quint16 controlPort() const { return m_ports.value(QStringLiteral("control")); }

    // Sends one control line; returns the answer lines without the final
    // OK/ERR. *ok tells which it was (false also on time-out).
    QStringList command(const QString &line, bool *ok = nullptr, int timeoutMs = 10000);
    // True when the command answered OK.
    bool run(const QString &line);

    QList<Frame> frames();
    // Frames of one connection, in arrival order.
    QList<Frame> frames(int conn);
    // Frames of one packet type, in arrival order.
    QList<Frame> framesOfType(int type);
    QStringList events();
    // Simulator times (ms) of the connection events whose text contains what.
    QList<qint64> eventTimes(const QString &what);
    // status as key=value pairs.
    QMap<QString, QString> status();
    int statusValue(const QString &key);
    // Waits until a batch the client sent after this call has arrived: every
    // batch carries one PTT frame, and one may be on its way already, so it
    // waits for the second PTT frame from now. Shows that whatever the client
    // was going to send by now has been sent.
    bool waitForLaterBatch(int timeoutMs = 30000);

    // What the simulator logged so far.
    QString log() const;
    QString lastError() const { return m_error; }

private:
    bool connectControl();

    QTemporaryDir m_dir;
    QProcess m_process;
    QTcpSocket m_control;
    QMap<QString, quint16> m_ports;
    QString m_error;
};
