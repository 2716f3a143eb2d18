#include "sim/hid/hidsimthread.h"

#include "sim/hid/hidsimserver.h"

#include <QLocalSocket>
#include <QMetaObject>
#include <QThread>

HidSimThread::HidSimThread(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
{
}

HidSimThread::~HidSimThread()
{
    // Deleted in its own thread before the loop ends: a deleteLater() posted
    // just before quit() may never be run, and the server would leak.
    if (m_server && m_thread->isRunning())
        QMetaObject::invokeMethod(
            m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    else
        delete m_server;
    m_server = nullptr;
    m_thread->quit();
    m_thread->wait();
}

bool HidSimThread::start(const QString &path)
{
    if (m_server)
        return false;
    m_server = new HidSimServer;
    m_server->moveToThread(m_thread);
    m_thread->start();
    bool ok = false;
    QMetaObject::invokeMethod(
        m_server, [this, &ok, path] { ok = m_server->listen(path); }, Qt::BlockingQueuedConnection);
    if (ok)
        m_path = path;
    return ok;
}

QString HidSimThread::control(const QString &line)
{
    return HidSimClient::control(m_path, line);
}

QString HidSimClient::control(const QString &path, const QString &command)
{
    QLocalSocket sock;
    sock.connectToServer(path);
    if (!sock.waitForConnected(5000))
        return QStringLiteral("err cannot reach the simulator: ") + sock.errorString();
    sock.write("ctl " + command.toUtf8() + '\n');
    while (!sock.canReadLine()) {
        if (!sock.waitForReadyRead(5000))
            return QStringLiteral("err no answer from the simulator");
    }
    const QByteArray line = sock.readLine().trimmed();
    const int space = line.indexOf(' ');
    const QByteArray head = space < 0 ? line : line.left(space);
    const QString body
        = space < 0 ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(space + 1)));
    return head == "ok" ? body : QStringLiteral("err ") + body;
}
