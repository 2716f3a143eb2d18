#pragma once

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The real morvex binary with a settings file of its own, a private
// virtual-port folder and its log (MORVEX_LOG_STDERR) collected.
class MorvexRun final
{
    Q_DISABLE_COPY_MOVE(MorvexRun)

public:
    using Ini = QMap<QString, QString>; // "Section/Key" -> value

    MorvexRun()
    {
        QDir().mkpath(m_home.path() + "/data/Zentrik/Brelko Software");
        QDir().mkpath(m_home.path() + "/config");
        QDir().mkpath(m_home.path() + "/tmp");
        QObject::connect(&m_proc, &QProcess::readyReadStandardError, [this] {
            const QString chunk = QString::fromUtf8(m_proc.readAllStandardError());
            // Watched texts are counted as they come, so long logs stay cheap.
            const QString tail = m_log.right(200) + chunk;
            for (auto it = m_counts.begin(); it != m_counts.end(); ++it)
                it.value() += tail.count(it.key()) - m_log.right(200).count(it.key());
            m_log += chunk;
        });
    }
    ~MorvexRun() { stop(); }

    static QString program() { return qEnvironmentVariable("BRELKO_BIN_DIR") + "/morvex"; }
    QString portDir() const { return m_home.path() + "/vsport"; }
    void setPortDir(const QString &dir) { m_portDir = dir; }
    QString iniPath() const { return m_home.path() + "/data/Zentrik/Brelko Software/Morvex.ini"; }

    static Ini defaults(quint16 tcp, quint16 audio, quint16 keying)
    {
        Ini ini;
        ini["General/Language"] = "English";
        ini["Network/NetworkAddr"] = "127.0.0.1";
        ini["Network/NetworkPass"] = "brelko";
        ini["Network/NetworkCmdPort"] = QString::number(tcp);
        ini["Network/NetworkRtpPort"] = QString::number(audio);
        ini["Network/NetworkPttCwPort"] = QString::number(keying);
        for (int i = 1; i <= 5; ++i)
            ini[QString("Serial/Serial_%1").arg(i)] = "None";
        ini["Audio/AudioInput"] = "Microphone";
        ini["Audio/AudioOutput"] = "Speakers";
        return ini;
    }

    bool start(const Ini &ini)
    {
        QMap<QString, QStringList> sections;
        for (auto it = ini.cbegin(); it != ini.cend(); ++it) {
            const QString section = it.key().section('/', 0, 0);
            sections[section] << it.key().section('/', 1) + "=" + it.value();
        }
        QFile f(iniPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        for (auto it = sections.cbegin(); it != sections.cend(); ++it)
            f.write(("[" + it.key() + "]\n" + it.value().join('\n') + "\n\n").toUtf8());
        f.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.path() + "/data");
        env.insert("XDG_CONFIG_HOME", m_home.path() + "/config");
        env.insert("VSPORT_DIR", m_portDir.isEmpty() ? portDir() : m_portDir);
        // The single-instance key lives in TMPDIR: keep it apart from other tests.
        env.insert("TMPDIR", m_home.path() + "/tmp");
        env.insert("MORVEX_LOG_STDERR", "1");
        env.insert("QT_QPA_PLATFORM", "xcb");
        m_proc.setProcessEnvironment(env);
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        m_proc.setStandardOutputFile(QProcess::nullDevice());
        m_proc.start(program(), QStringList());
        return m_proc.waitForStarted(10000);
    }

    // SIGTERM: the program ends through its event loop.
    bool terminate(int timeoutMs = 20000)
    {
        if (m_proc.state() == QProcess::NotRunning)
            return true;
        ::kill(pid(), SIGTERM);
        return QTest::qWaitFor([this] { return m_proc.state() == QProcess::NotRunning; }, timeoutMs);
    }
    void stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        if (!terminate(10000)) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    // A second start of the program with the same settings and folders, as a
    // file manager would start it; returns its exit code (-1: it hung).
    int startAgain(const QStringList &args, int timeoutMs = 20000)
    {
        QProcess second;
        second.setProcessEnvironment(m_proc.processEnvironment());
        second.setStandardOutputFile(QProcess::nullDevice());
        second.setStandardErrorFile(QProcess::nullDevice());
        second.start(program(), args);
        if (!second.waitForFinished(timeoutMs)) {
            second.kill();
            second.waitForFinished(5000);
            return -1;
        }
        return second.exitCode();
    }

    bool isRunning() const { return m_proc.state() == QProcess::Running; }
    int exitCode() const { return m_proc.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_proc.exitStatus(); }
    qint64 pid() const { return m_proc.processId(); }
    QString log() const { return m_log; }
    int count(const QString &text) const
    {
        return m_counts.contains(text) ? m_counts.value(text) : m_log.count(text);
    }
    // Counts text from now on incrementally (for texts seen thousands of times).
    void watch(const QString &text) { m_counts.insert(text, m_log.count(text)); }

    // Resident set size in kB, from /proc.
    qint64 rssKb() const
    {
        QFile f(QString("/proc/%1/status").arg(pid()));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QString s = QString::fromLatin1(f.readAll());
        const QRegularExpressionMatch m = QRegularExpression("VmRSS:\\s+(\\d+)").match(s);
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    }

    bool waitLog(const QString &text, int times = 1, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return count(text) >= times; }, ms);
    }

private:
    QTemporaryDir m_home;
    QProcess m_proc;
    QString m_log;
    QHash<QString, int> m_counts;
    QString m_portDir;
};
