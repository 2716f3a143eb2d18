#include "singleapplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <cstdio>

// Start-up of the real program: single instance across processes, the tray
// check, and a stale segment left by a crash.
class TestStartup : public QObject
{
    Q_OBJECT

public:
    explicit TestStartup(QString tmp) : m_tmp(std::move(tmp)) {}

private slots:
    void initTestCase();
    void secondStartForwardsPath();
    void secondStartWithoutArgument();
    void twoMessagesInOnePeriodDeliverTheLater();
    void crashedInstanceDoesNotLockOut();
    void withTrayRunsAndDeliversOwnArgument();
    void withoutTrayShowsBoxAndExits1();

private:
    QProcessEnvironment env(const QString &tmp, const QString &display = QString()) const;
    QString morvex() const { return qEnvironmentVariable("BRELKO_BIN_DIR") + "/morvex"; }
    QString self() const { return QCoreApplication::applicationFilePath(); }

    QString m_tmp;
};

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
    second.start(morvex(), {path});
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
    QTest::qWait(1200); // more than two polling periods
    QCOMPARE(spy.count(), 0);
}

void TestStartup::twoMessagesInOnePeriodDeliverTheLater()
{
    QSignalSpy spy(SingleApplication::instance(), &SingleApplication::messageAvailable);
    SingleApplication::instance()->sendMessage("first.brelkonet");
    SingleApplication::instance()->sendMessage("second.brelkonet");
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    QTest::qWait(1100);
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
    crash.start(self(), {"--crash"});
    QVERIFY(crash.waitForFinished(10000));
    QCOMPARE(crash.exitStatus(), QProcess::CrashExit);
    QVERIFY(crash.readAllStandardOutput().contains("first"));

    // The segment outlived the process; the next start must still be first.
    QProcess probe;
    probe.setProcessEnvironment(env(tmp.path()));
    probe.start(self(), {"--probe"});
    QVERIFY(probe.waitForFinished(10000));
    QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), QString("first"));

    // While a live first instance holds it, a probe sees it running.
    QProcess holder;
    holder.setProcessEnvironment(env(tmp.path()));
    holder.start(self(), {"--hold"});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(QString::fromLatin1(holder.readLine()).trimmed(), QString("first"));
    QProcess probe2;
    probe2.setProcessEnvironment(env(tmp.path()));
    probe2.start(self(), {"--probe"});
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
    first.start(morvex(), {"/tmp/own.brelkonet"});
    QVERIFY(first.waitForStarted());
    QVERIFY2(QTest::qWaitFor([&] { return out.contains("Message from another start: \"/tmp/own.brelkonet\""); }, 5000),
             out.constData());
    QVERIFY(out.contains("default.debug: Morvex \"1.8.0\" started"));
    QCOMPARE(first.state(), QProcess::Running);

    // Its window is on screen.
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", "^Morvex$"});
    QVERIFY(search.waitForFinished(5000));
    QVERIFY2(!search.readAllStandardOutput().trimmed().isEmpty(), "no visible Morvex window");

    first.kill();
    first.waitForFinished();
}

void TestStartup::withoutTrayShowsBoxAndExits1()
{
    // A display of our own, without a tray host.
    QTemporaryDir tmp;
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    QVERIFY(xvfb.waitForReadyRead(10000));
    const QString display = ":" + QString::fromLatin1(xvfb.readLine()).trimmed();

    QProcess p;
    QProcessEnvironment e = env(tmp.path(), display);
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(morvex(), QStringList());
    QVERIFY(p.waitForStarted());

    QProcessEnvironment xe = QProcessEnvironment::systemEnvironment();
    xe.insert("DISPLAY", display);
    QString box;
    QVERIFY(QTest::qWaitFor([&] {
        QProcess s;
        s.setProcessEnvironment(xe);
        s.start("xdotool", {"search", "--onlyvisible", "--name", "^Systray$"});
        s.waitForFinished(3000);
        box = QString::fromLatin1(s.readAllStandardOutput()).split('\n').first().trimmed();
        return !box.isEmpty() || p.state() != QProcess::Running;
    }, 10000));
    QVERIFY2(!box.isEmpty(), qPrintable("the Systray box did not appear; exit code "
                                         + QString::number(p.exitCode()) + ", output:\n"
                                         + QString::fromLocal8Bit(p.readAll().right(3000))));
    QCOMPARE(p.state(), QProcess::Running);

    // Press OK on the box.
    QProcess key;
    key.setProcessEnvironment(xe);
    key.start("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    QVERIFY(key.waitForFinished(5000));
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    xvfb.terminate();
    xvfb.waitForFinished();
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
