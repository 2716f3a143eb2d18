#include "tests/support/simprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTest>

SimProcess::SimProcess(QObject *parent)
    : QObject(parent)
{
}

SimProcess::~SimProcess()
{
    const bool failed = QTest::currentTestFailed();
    stop();
    // The simulator's own account is what explains most e2e failures.
    if (failed)
        qWarning().noquote() << "brelko-sim log:\n" << log();
}

QString SimProcess::program()
{
    QString dir = qEnvironmentVariable("BRELKO_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    return QDir(dir).filePath(QStringLiteral("brelko-sim"));
}

bool SimProcess::start(const QStringList &extraArgs)
{
    stop();
    m_ports.clear();
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_process.setProgram(program());
    m_process.setArguments(
        QStringList { QStringLiteral("--tcp-port"), QStringLiteral("0"), QStringLiteral("--audio-port"),
            QStringLiteral("0"), QStringLiteral("--keying-port"), QStringLiteral("0"),
            QStringLiteral("--control-port"), QStringLiteral("0") }
        + extraArgs);
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("sim.log")));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QIODevice::ReadOnly);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(program(), m_process.errorString());
        return false;
    }

    static const QRegularExpression ready(QStringLiteral("^brelko-sim ready (.*)$"));
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\d+)"));
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const QRegularExpressionMatch m = ready.match(line);
            if (!m.hasMatch())
                continue;
            auto it = pair.globalMatch(m.captured(1));
            while (it.hasNext()) {
                const QRegularExpressionMatch p = it.next();
                m_ports.insert(p.captured(1), quint16(p.captured(2).toUInt()));
            }
            return connectControl();
        }
    }
    m_error = QStringLiteral("no ready line from brelko-sim: %1").arg(log());
    stop();
    return false;
}

bool SimProcess::connectControl()
{
    m_control.connectToHost(QHostAddress::LocalHost, controlPort());
    if (!m_control.waitForConnected(10000)) {
        m_error = QStringLiteral("control channel: %1").arg(m_control.errorString());
        return false;
    }
    return true;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    if (m_control.state() == QAbstractSocket::ConnectedState)
        command(QStringLiteral("quit"), nullptr, 3000);
    m_control.abort();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        m_error = QStringLiteral("brelko-sim did not quit");
    } else if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0) {
        // A crash or a sanitizer report in the simulator fails the test that ran it.
        m_error = QStringLiteral("brelko-sim ended with status %1, code %2")
                      .arg(int(m_process.exitStatus()))
                      .arg(m_process.exitCode());
        qWarning().noquote() << m_error << "\n" << log();
        if (QTest::currentTestFunction())
            QTest::qFail(qPrintable(m_error), __FILE__, __LINE__);
    }
}

bool SimProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QStringList SimProcess::command(const QString &line, bool *ok, int timeoutMs)
{
    if (ok)
        *ok = false;
    QStringList answer;
    if (m_control.state() != QAbstractSocket::ConnectedState) {
        m_error = QStringLiteral("control channel not connected");
        return answer;
    }
    m_control.write(line.toUtf8() + '\n');
    m_control.flush();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (m_control.canReadLine()) {
            const QString l = QString::fromUtf8(m_control.readLine()).chopped(1);
            if (l == QLatin1String("OK")) {
                if (ok)
                    *ok = true;
                return answer;
            }
            if (l.startsWith(QLatin1String("ERR"))) {
                m_error = l;
                return answer;
            }
            answer << l;
        }
        if (deadline.hasExpired()
            || !m_control.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            m_error = QStringLiteral("no answer to \"%1\"").arg(line);
            return answer;
        }
    }
}

bool SimProcess::run(const QString &line)
{
    bool ok = false;
    command(line, &ok);
    return ok;
}

QList<SimProcess::Frame> SimProcess::frames()
{
    static const QRegularExpression re(QStringLiteral(
        "^frame conn=(\\d+) t=(\\d+) type=(\\d+) value=(\\d+) len=(\\d+) crc=(\\w+) payload=([0-9a-f]*)$"));
    QList<Frame> out;
    for (const QString &l : command(QStringLiteral("frames"))) {
        const QRegularExpressionMatch m = re.match(l);
        if (!m.hasMatch())
            continue;
        Frame f;
        f.conn = m.captured(1).toInt();
        f.ms = m.captured(2).toLongLong();
        f.type = m.captured(3).toInt();
        f.value = m.captured(4).toUInt();
        f.length = m.captured(5).toInt();
        f.checksumOk = m.captured(6) == QLatin1String("ok");
        f.payload = QByteArray::fromHex(m.captured(7).toLatin1());
        out << f;
    }
    return out;
}

QList<SimProcess::Frame> SimProcess::frames(int conn)
{
    QList<Frame> out;
    for (const Frame &f : frames()) {
        if (f.conn == conn)
            out << f;
    }
    return out;
}

QList<SimProcess::Frame> SimProcess::framesOfType(int type)
{
    QList<Frame> out;
    for (const Frame &f : frames()) {
        if (f.type == type)
            out << f;
    }
    return out;
}

QStringList SimProcess::events()
{
    return command(QStringLiteral("events"));
}

QList<qint64> SimProcess::eventTimes(const QString &what)
{
    static const QRegularExpression time(QStringLiteral("t=(\\d+)"));
    QList<qint64> out;
    for (const QString &line : events()) {
        if (line.contains(what))
            out << time.match(line).captured(1).toLongLong();
    }
    return out;
}

QMap<QString, QString> SimProcess::status()
{
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\S+)"));
    QMap<QString, QString> out;
    for (const QString &l : command(QStringLiteral("status"))) {
        auto it = pair.globalMatch(l);
        while (it.hasNext()) {
            const QRegularExpressionMatch p = it.next();
            out.insert(p.captured(1), p.captured(2));
        }
    }
    return out;
}

int SimProcess::statusValue(const QString &key)
{
    return status().value(key, QStringLiteral("-1")).toInt();
}

bool SimProcess::waitForLaterBatch(int timeoutMs)
{
    const int now = statusValue(QStringLiteral("pttframes"));
    if (now < 0)
        return false;
    return QTest::qWaitFor([&] { return statusValue(QStringLiteral("pttframes")) >= now + 2; }, timeoutMs);
}

QString SimProcess::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("sim.log")));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}
