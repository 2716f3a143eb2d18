#include "client/app/singleapplication.h"
#include "common/brelkoversion.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>

using namespace morvex;

// Start-up of the real program: single instance across processes, the tray
// check, a stale segment left by a crash, the private settings file, and
// signals that arrive while a start-up box is open.
class TestStartup : public QObject
{
    Q_OBJECT

public:
    explicit TestStartup(QString tmp)
        : m_tmp(std::move(tmp))
    {
    }

private slots:
    void initTestCase();
    void secondStartForwardsPath();
    void secondStartWithoutArgument();
    void twoMessagesInOnePeriodDeliverTheLater();
    void crashedInstanceDoesNotLockOut();
    void withTrayRunsAndDeliversOwnArgument();
    void withoutTrayShowsBoxAndExits1_data();
    void withoutTrayShowsBoxAndExits1();
    void trayLateIsWaitedFor_data();
    void trayLateIsWaitedFor();
    void signalWhileVirtualCardBoxOpen_data();
    void signalWhileVirtualCardBoxOpen();

private:
    QProcessEnvironment env(const QString &tmp, const QString &display = QString()) const;
    QString morvex() const { return qEnvironmentVariable("BRELKO_BIN_DIR") + "/morvex"; }
    QString self() const { return QCoreApplication::applicationFilePath(); }
    // The first visible window of process pid titled title on display, or "".
    static QString findWindow(const QString &display, qint64 pid, const QString &title);
    // Names of every window of pid, mapped or not, and the search's errors.
    static QString windowsOf(const QString &display, qint64 pid);
    static QString startOwnDisplay(QProcess &xvfb);
    static QProcessEnvironment onDisplay(const QString &display);
    // Sends sig to p and waits for its end; returns the milliseconds it took.
    static qint64 signalAndWait(QProcess &p, int sig);
    static bool waitForPolls(int n);

    QString m_tmp;
};

namespace {
// How soon a signal must end the program. A sanitizer build runs its teardown
// several times slower and adds a leak scan at exit: there only a hang counts.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kSignalEndMs = 15000;
#else
constexpr qint64 kSignalEndMs = 2000;
#endif
} // namespace

QProcessEnvironment TestStartup::env(const QString &tmp, const QString &display) const
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("TMPDIR", tmp);
    e.insert("MORVEX_LOG_STDERR", "1");
    if (display.isEmpty()) {
        e.insert("QT_QPA_PLATFORM", "offscreen");
    } else {
        e.insert("DISPLAY", display);
        e.insert("QT_QPA_PLATFORM", "xcb");
    }
    return e;
}

QString TestStartup::findWindow(const QString &display, qint64 pid, const QString &title)
{
    QProcess s;
    s.setProcessEnvironment(onDisplay(display));
    s.start(
        "xdotool", { "search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", title });
    s.waitForFinished(3000);
    return QString::fromLatin1(s.readAllStandardOutput()).split('\n').first().trimmed();
}

QProcessEnvironment TestStartup::onDisplay(const QString &display)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("DISPLAY", display);
    return e;
}

QString TestStartup::windowsOf(const QString &display, qint64 pid)
{
    QProcess s;
    s.setProcessEnvironment(onDisplay(display));
    s.start("xdotool",
        { "search", "--all", "--pid", QString::number(pid), "--name", ".", "getwindowname", "%@" });
    s.waitForFinished(10000);
    return "windows of the program: "
        + QString::fromLocal8Bit(s.readAllStandardOutput()).trimmed().replace('\n', "; ")
        + "\nxdotool: " + QString::fromLocal8Bit(s.readAllStandardError()).trimmed();
}

// Xvfb names its display once it takes connections; the display must also
// answer, as a server that gave up right after (a busy machine, a number
// another server took) would leave the program nothing to talk to. Without
// -noreset the server resets when the probe leaves, and refuses the program
// if it connects meanwhile.
QString TestStartup::startOwnDisplay(QProcess &xvfb)
{
    for (int attempt = 1; attempt <= 3; ++attempt) {
        xvfb.start(
            "Xvfb", { "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset" });
        QByteArray line;
        QDeadlineTimer deadline(10000);
        while (!line.endsWith('\n') && !deadline.hasExpired()
            && xvfb.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            line += xvfb.readAllStandardOutput();
        const QString display = ":" + QString::fromLatin1(line).trimmed();
        if (line.endsWith('\n')) {
            QProcess probe;
            probe.setProcessEnvironment(onDisplay(display));
            probe.start("xdotool", { "getdisplaygeometry" });
            if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit
                && probe.exitCode() == 0)
                return display;
        }
        qWarning("Xvfb attempt %d gave no usable display (\"%s\"): %s", attempt, line.trimmed().constData(),
            xvfb.readAllStandardError().right(1000).constData());
        xvfb.kill();
        xvfb.waitForFinished(5000);
    }
    return QString();
}

qint64 TestStartup::signalAndWait(QProcess &p, int sig)
{
    QElapsedTimer t;
    t.start();
    ::kill(pid_t(p.processId()), sig);
    // Wait well past the limit so a slow end is measured, not cut off.
    p.waitForFinished(int(kSignalEndMs) + 10000);
    const qint64 ms = t.elapsed();
    qInfo("ended %lld ms after the signal", ms);
    return ms;
}

// Waits until the running instance has looked for messages n more times.
bool TestStartup::waitForPolls(int n)
{
    QTimer *poll = nullptr;
    const auto timers
        = SingleApplication::instance()->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    for (QTimer *t : timers) {
        if (t->interval() == SingleApplication::kPollMs && t->isActive())
            poll = t;
    }
    if (!poll)
        return false;
    // Connected after the check itself, so each count follows a finished check.
    QSignalSpy polls(poll, &QTimer::timeout);
    return QTest::qWaitFor([&] { return polls.count() >= n; }, 10 * n * SingleApplication::kPollMs);
}

void TestStartup::initTestCase()
{
    QVERIFY2(SingleApplication::instance() == qApp, "the test process must be the first instance");
    QVERIFY(QFile::exists(morvex()));
}

void TestStartup::secondStartForwardsPath()
{
    QSignalSpy spy(SingleApplication::instance(), &SingleApplication::messageAvailable);
    const QString path = QString::fromUtf8("/home/op/Stationen/Ort Süd.brelkonet");
    QProcess second;
    second.setProcessEnvironment(env(m_tmp));
    QElapsedTimer t;
    t.start();
    second.start(morvex(), { path });
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    QCOMPARE(spy.first().first().toString(), path);
    qInfo("forwarded within %lld ms of the second start", t.elapsed());
}

void TestStartup::secondStartWithoutArgument()
{
    QSignalSpy spy(SingleApplication::instance(), &SingleApplication::messageAvailable);
    QProcess second;
    second.setProcessEnvironment(env(m_tmp));
    second.start(morvex(), QStringList());
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    // More than two polling periods: three polls after the second start ended.
    QVERIFY(waitForPolls(3));
    QCOMPARE(spy.count(), 0);
}

void TestStartup::twoMessagesInOnePeriodDeliverTheLater()
{
    QSignalSpy spy(SingleApplication::instance(), &SingleApplication::messageAvailable);
    SingleApplication::instance()->sendMessage("first.brelkonet");
    SingleApplication::instance()->sendMessage("second.brelkonet");
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    // Two more polls find nothing left.
    QVERIFY(waitForPolls(2));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toString(), QString("second.brelkonet"));

    // A message longer than the segment is cut, never overruns it.
    spy.clear();
    SingleApplication::instance()->sendMessage(QString(10000, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    QCOMPARE(spy.first().first().toString(), QString(SingleApplication::kSegmentSize - 2, 'x'));
}

void TestStartup::crashedInstanceDoesNotLockOut()
{
    QTemporaryDir tmp;
    QProcess crash;
    crash.setProcessEnvironment(env(tmp.path()));
    crash.start(self(), { "--crash" });
    QVERIFY(crash.waitForFinished(10000));
    QCOMPARE(crash.exitStatus(), QProcess::CrashExit);
    QVERIFY(crash.readAllStandardOutput().contains("first"));

    // The segment outlived the process; the next start must still be first.
    QProcess probe;
    probe.setProcessEnvironment(env(tmp.path()));
    probe.start(self(), { "--probe" });
    QVERIFY(probe.waitForFinished(10000));
    QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), QString("first"));

    // While a live first instance holds it, a probe sees it running.
    QProcess holder;
    holder.setProcessEnvironment(env(tmp.path()));
    holder.start(self(), { "--hold" });
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(QString::fromLatin1(holder.readLine()).trimmed(), QString("first"));
    QProcess probe2;
    probe2.setProcessEnvironment(env(tmp.path()));
    probe2.start(self(), { "--probe" });
    QVERIFY(probe2.waitForFinished(10000));
    QCOMPARE(QString::fromLatin1(probe2.readAllStandardOutput()).trimmed(), QString("running"));
    holder.kill();
    holder.waitForFinished();
}

void TestStartup::withTrayRunsAndDeliversOwnArgument()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    QVERIFY2(!display.isEmpty(), "run under scripts/with-test-env.sh (X display with a tray host)");
    QTemporaryDir tmp;
    QProcess first;
    first.setProcessEnvironment(env(tmp.path(), display));
    first.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray out;
    connect(&first, &QProcess::readyRead, [&] { out += first.readAll(); });
    first.start(morvex(), { "/tmp/own.brelkonet" });
    QVERIFY(first.waitForStarted());
    QVERIFY2(QTest::qWaitFor(
                 [&] { return out.contains("Message from another start: \"/tmp/own.brelkonet\""); }, 5000),
        out.constData());
    QVERIFY(out.contains("default.debug: Morvex \"" BRELKO_VERSION "\" started"));
    QCOMPARE(first.state(), QProcess::Running);

    // Its window is on screen.
    QProcess search;
    search.start("xdotool", { "search", "--onlyvisible", "--name", "^Morvex$" });
    QVERIFY(search.waitForFinished(5000));
    QVERIFY2(!search.readAllStandardOutput().trimmed().isEmpty(), "no visible Morvex window");

    first.kill();
    first.waitForFinished();
}

void TestStartup::withoutTrayShowsBoxAndExits1_data()
{
    QTest::addColumn<int>("sig"); // 0: the operator presses OK
    QTest::newRow("OK pressed") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestStartup::withoutTrayShowsBoxAndExits1()
{
    QFETCH(int, sig);
    // A display of our own, without a tray host.
    QTemporaryDir tmp;
    QProcess xvfb;
    const QString display = startOwnDisplay(xvfb);
    QVERIFY2(!display.isEmpty(), "no display of our own");

    QProcess p;
    QProcessEnvironment e = env(tmp.path(), display);
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(morvex(), QStringList());
    QVERIFY(p.waitForStarted());

    QString box;
    QVERIFY(QTest::qWaitFor(
        [&] {
            box = findWindow(display, p.processId(), "^Systray$");
            return !box.isEmpty() || p.state() != QProcess::Running;
        },
        30000));
    QVERIFY2(!box.isEmpty(),
        qPrintable("the Systray box did not appear; exit code " + QString::number(p.exitCode())
            + ", output:\n" + QString::fromLocal8Bit(p.readAll().right(3000))));
    QCOMPARE(p.state(), QProcess::Running);

    if (sig) {
        // Ends at once though the box waits for an answer.
        const qint64 ms = signalAndWait(p, sig);
        QVERIFY2(ms < kSignalEndMs, qPrintable(QString("still running after %1 ms").arg(ms)));
    } else {
        // Press OK on the box.
        QProcess key;
        key.setProcessEnvironment(onDisplay(display));
        key.start("xdotool", { "windowfocus", "--sync", box, "key", "Return" });
        QVERIFY(key.waitForFinished(5000));
        QVERIFY(p.waitForFinished(10000));
    }
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    xvfb.terminate();
    xvfb.waitForFinished();
}

void TestStartup::trayLateIsWaitedFor_data()
{
    QTest::addColumn<bool>("trayComes");
    QTest::newRow("tray host starts later") << true;
    QTest::newRow("SIGTERM while waiting") << false;
}

void TestStartup::trayLateIsWaitedFor()
{
    QFETCH(bool, trayComes);
    // Started with the session, before the panel: a display of our own whose
    // tray host comes a little later.
    QTemporaryDir tmp;
    QProcess xvfb;
    const QString display = startOwnDisplay(xvfb);
    QVERIFY2(!display.isEmpty(), "no display of our own");

    QProcess p;
    p.setProcessEnvironment(env(tmp.path(), display));
    p.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray out;
    connect(&p, &QProcess::readyRead, [&] { out += p.readAll(); });
    p.start(morvex(), QStringList());
    QVERIFY(p.waitForStarted());
    QVERIFY2(
        QTest::qWaitFor([&] { return out.contains("Waiting for the system tray"); }, 10000), out.constData());

    QProcess tray;
    if (trayComes) {
        tray.setProcessEnvironment(onDisplay(display));
        tray.start("trayer", { "--edge", "bottom", "--width", "10", "--height", "24" });
        QVERIFY(tray.waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return out.contains("\" started"); }, 15000), out.constData());
        QVERIFY(findWindow(display, p.processId(), "^Systray$").isEmpty());
        QCOMPARE(p.state(), QProcess::Running);
        p.kill();
        p.waitForFinished();
        tray.kill();
        tray.waitForFinished();
    } else {
        const qint64 ms = signalAndWait(p, SIGTERM);
        QVERIFY2(ms < kSignalEndMs, qPrintable(QString("still running after %1 ms").arg(ms)));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!out.contains("\" started"));
    }
    xvfb.terminate();
    xvfb.waitForFinished();
}

void TestStartup::signalWhileVirtualCardBoxOpen_data()
{
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestStartup::signalWhileVirtualCardBoxOpen()
{
    QFETCH(int, sig);
    const QString display = qEnvironmentVariable("DISPLAY");
    QVERIFY2(!display.isEmpty(), "run under scripts/with-test-env.sh (X display with a tray host)");
    QTemporaryDir tmp;
    const QString iniDir = tmp.filePath("data/Zentrik/Brelko Software");
    QVERIFY(QDir().mkpath(iniDir));
    QVERIFY(QDir().mkpath(tmp.filePath("config")));
    // A settings file readable by every local user, password included.
    const QString ini = iniDir + "/Morvex.ini";
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[General]\nLanguage=English\n\n[Network]\nNetworkAddr=127.0.0.1\nNetworkPass=s3cret\n");
    f.close();
    QVERIFY(QFile::setPermissions(
        ini, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    const auto mode = [&] {
        struct stat st = {};
        return ::stat(QFile::encodeName(ini).constData(), &st) == 0 ? QString::number(st.st_mode & 0777, 8)
                                                                    : QString("missing");
    };
    QCOMPARE(mode(), QString("644"));

    QProcessEnvironment e = env(tmp.path(), display);
    e.insert("XDG_DATA_HOME", tmp.filePath("data"));
    e.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
    e.insert("VSPORT_DIR", tmp.filePath("vsport"));
    // The stock ALSA set-up (and no ~/.asoundrc): no device is the virtual card.
    e.insert("HOME", tmp.path());
    e.insert("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf");
    QProcess p;
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray out;
    connect(&p, &QProcess::readyRead, [&] { out += p.readAll(); });
    p.start(morvex(), QStringList());
    QVERIFY(p.waitForStarted());

    // The box is shown while the windows are built, before the main loop.
    QString box;
    QElapsedTimer shown;
    shown.start();
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     box = findWindow(display, p.processId(), "^Error$");
                     return !box.isEmpty() || p.state() != QProcess::Running;
                 },
                 60000),
        qPrintable(QString::fromLocal8Bit(out.right(3000)) + '\n' + windowsOf(display, p.processId())));
    QVERIFY2(!box.isEmpty(), out.right(3000).constData());
    qInfo("the box came %lld ms after the start", shown.elapsed());
    QCOMPARE(mode(), QString("600"));
    // The line may still be in the pipe when the box is already up.
    QVERIFY2(QTest::qWaitFor([&] { return out.contains("was readable by others; now 0600"); }, 10000),
        out.right(3000).constData());

    const qint64 ms = signalAndWait(p, sig);
    QVERIFY2(ms < kSignalEndMs, qPrintable(QString("still running after %1 ms").arg(ms)));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    // The window existed and was torn down as on any signal-ended run.
    QCOMPARE(p.exitCode(), 0);
    out += p.readAll();
    QVERIFY2(out.contains("Terminating on a signal"), out.right(3000).constData());

    QCOMPARE(mode(), QString("600"));
    QSettings kept(ini, QSettings::IniFormat);
    QCOMPARE(kept.value("Network/NetworkPass").toString(), QString("s3cret"));
    QCOMPARE(kept.value("Network/NetworkAddr").toString(), QString("127.0.0.1"));
}

int main(int argc, char *argv[])
{
    // Segments are keyed by a file in TMPDIR: keep ours private to the test.
    const QString home = qEnvironmentVariable("BRELKO_TEST_HOME", QDir::tempPath() + "/tst_startup");
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--crash" || mode == "--probe" || mode == "--hold") {
        SingleApplication app(argc, argv, QStringLiteral("Morvex"));
        printf("%s\n", app.isRunning() ? "running" : "first");
        fflush(stdout);
        if (mode == "--crash")
            raise(SIGKILL);
        if (mode == "--hold")
            return app.exec();
        return 0;
    }

    const QString tmp = home + "/tmp";
    QDir().mkpath(tmp);
    qputenv("TMPDIR", tmp.toLocal8Bit());
    SingleApplication app(argc, argv, QStringLiteral("Morvex"));
    if (app.isRunning()) {
        fprintf(stderr, "another test instance holds the segment\n");
        return 1;
    }
    TestStartup test(tmp);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
