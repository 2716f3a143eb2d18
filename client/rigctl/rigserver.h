#pragma once

#include "client/rigctl/hamlibrig.h"
#include "client/rigctl/riglinereader.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QThread>

#include <functional>

class QTcpSocket;

namespace morvex {

// Hamlib's network rig protocol on TCP for the local radio programs: several
// clients, each answered in order. Radio commands go to the Hamlib worker
// thread; PTT goes through the box unless it is set to go by CAT.
class RigServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RigServer)

public:
    struct Config
    {
        bool enabled = false;
        quint16 port = 4532;
        bool remote = false; // accept other computers, else loopback only
        HamlibRig::Config rig;

        bool operator==(const Config &o) const
        {
            return enabled == o.enabled && port == o.port && remote == o.remote && rig.model == o.rig.model
                && rig.path == o.rig.path && rig.pttByCat == o.rig.pttByCat;
        }
        bool operator!=(const Config &o) const { return !(*this == o); }
    };

    // Keys or releases through the box: 0, or a negative Hamlib error.
    using PttSetter = std::function<int(bool on)>;
    // The transmit state the box reports.
    using PttGetter = std::function<bool()>;

    static constexpr int kMaxClients = 32;
    // A client that sends but never reads is not answered beyond this.
    static constexpr int kMaxUnsent = 64 * 1024;

    explicit RigServer(QObject *parent = nullptr);
    ~RigServer() override;

    void setPttControl(PttSetter setter, PttGetter getter);
    // Stops a running server, then listens as configured (when enabled).
    bool start(const Config &config);
    void stop();
    bool isListening() const { return m_server.isListening(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    int clientCount() const { return m_clients.size(); }
    const Config &config() const { return m_config; }

private:
    struct Client
    {
        RigLineReader reader;
        quint64 pending = 0; // ticket awaited from the worker
        RigCommand pendingCmd;
        bool quitting = false;
        bool checkedVfo = false;
    };

    void newConnections();
    void readClient(QTcpSocket *socket);
    void process(QTcpSocket *socket);
    // True when the command was answered at once.
    bool handle(QTcpSocket *socket, Client &client, const RigCommand &cmd);
    void rigDone(quint64 ticket, const RigResult &result);
    void dropClient(QTcpSocket *socket);
    void dropDeadClients();
    void stopServing();
    void retireWorker(bool wait);
    void releasePttOf(QTcpSocket *socket);

    Config m_config;
    QTcpServer m_server;
    QThread *m_thread = nullptr;
    // Workers of earlier settings, finishing a Hamlib call on their own.
    QList<QPointer<QThread>> m_retired;
    HamlibRig *m_rig = nullptr;
    QHash<QTcpSocket *, Client> m_clients;
    QHash<quint64, QTcpSocket *> m_tickets;
    quint64 m_nextTicket = 1;
    QTcpSocket *m_pttHolder = nullptr;
    PttSetter m_setPtt;
    PttGetter m_getPtt;
};

} // namespace morvex
