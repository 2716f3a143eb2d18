#pragma once

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// Line-based control channel on a loopback TCP port. Each request line is a
// command word and blank-separated arguments; the answer is zero or more
// lines followed by "OK" or "ERR <reason>". Parts of the simulator register
// their own commands.
class ControlServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlServer)

public:
    struct Reply
    {
        bool ok = true;
        QString error;
        QStringList lines;

        static Reply fail(const QString &why) { return Reply { false, why, {} }; }
        static Reply done(const QStringList &lines = {}) { return Reply { true, {}, lines }; }
    };
    using Handler = std::function<Reply(const QStringList &args)>;

    explicit ControlServer(QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }

    void addCommand(const QString &name, const QString &usage, Handler handler);
    // Runs one request line; also used for commands given on the command line.
    Reply execute(const QString &line);

signals:
    void quitRequested();

private:
    struct Command
    {
        QString usage;
        Handler handler;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    QTcpServer m_server;
    QMap<QString, Command> m_commands;
};
