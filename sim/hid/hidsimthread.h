#pragma once

#include <QObject>
#include <QString>

class QThread;
class HidSimServer;

// Runs an HidSimServer on its own thread, so a process that blocks in hidapi
// calls on its GUI thread (the configurator's classes under test) still gets
// answers.
class HidSimThread final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HidSimThread)

public:
    explicit HidSimThread(QObject *parent = nullptr);
    ~HidSimThread() override;

    // Listens on path (created afresh); false when the socket cannot be made.
    bool start(const QString &path);
    QString socketPath() const { return m_path; }

    // A control command through the socket, as any client would send it.
    QString control(const QString &line);

private:
    QThread *m_thread = nullptr;
    HidSimServer *m_server = nullptr;
    QString m_path;
};

namespace HidSimClient {
// One request line to the simulator at path; the decoded answer, or a text
// starting with "err" when the simulator cannot be reached.
QString control(const QString &path, const QString &command);
} // namespace HidSimClient
