#include "common/brelkoversion.h"

#include <QProcess>
#include <QtTest>

// --help and --version of both programs: they answer without a display or a
// tray, print the one project version, and reject an unknown option.
class TestCmdline : public QObject
{
    Q_OBJECT

private slots:
    void version_data();
    void version();
    void helpListsOptions_data();
    void helpListsOptions();
    void unknownOptionFails_data();
    void unknownOptionFails();

private:
    static void addPrograms();
    // Runs program with args; returns its exit code and stdout+stderr.
    static int run(const QString &program, const QStringList &args, QByteArray *out);
};

void TestCmdline::addPrograms()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("name");
    const QString bin = qEnvironmentVariable("BRELKO_BIN_DIR");
    QTest::newRow("morvex") << bin + "/morvex"
                            << "Morvex";
    QTest::newRow("configurator") << bin + "/brelko-configurator"
                                  << "Brelko Configurator";
}

int TestCmdline::run(const QString &program, const QStringList &args, QByteArray *out)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    // No display at all: the answer must not need one.
    e.insert("QT_QPA_PLATFORM", "offscreen");
    e.remove("DISPLAY");
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1000;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return -1001;
    }
    *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1002;
}

void TestCmdline::version_data()
{
    addPrograms();
}

void TestCmdline::version()
{
    QFETCH(QString, program);
    QFETCH(QString, name);
    QByteArray out;
    QCOMPARE(run(program, { "--version" }, &out), 0);
    QCOMPARE(QString::fromUtf8(out).trimmed(), name + " " + BRELKO_VERSION);
}

void TestCmdline::helpListsOptions_data()
{
    addPrograms();
}

void TestCmdline::helpListsOptions()
{
    QFETCH(QString, program);
    QByteArray out;
    QCOMPARE(run(program, { "--help" }, &out), 0);
    QVERIFY2(out.contains("--help"), out.constData());
    QVERIFY2(out.contains("--version"), out.constData());
    // The positional argument each program takes is described.
    const QByteArray positional = program.endsWith("/morvex") ? "[file]" : "[program]";
    QVERIFY2(out.contains(positional), out.constData());
}

void TestCmdline::unknownOptionFails_data()
{
    addPrograms();
}

void TestCmdline::unknownOptionFails()
{
    QFETCH(QString, program);
    QByteArray out;
    QCOMPARE(run(program, { "--no-such-option" }, &out), 1);
    QVERIFY2(out.contains("no-such-option"), out.constData());
}

QTEST_GUILESS_MAIN(TestCmdline)
#include "tst_cmdline.moc"
