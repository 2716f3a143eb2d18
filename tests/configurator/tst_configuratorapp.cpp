// The real brelko-configurator, started as its own process with the
// simulated hidapi preloaded and the simulated device served from here.

#include "tests/configurator/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

using namespace TestSupport;

namespace {
const QStringList kLoadOrder = loadOrder();
constexpr int kWait = 15000;
} // namespace

class TstConfiguratorApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheDeviceAndHandsBackOnExit();

private:
    HidSimThread m_sim;
};

void TstConfiguratorApp::initTestCase()
{
    QVERIFY(!qEnvironmentVariableIsEmpty("BRELKO_PRELOAD"));
    QVERIFY(m_sim.start(hidSocketPath()));
    QCOMPARE(m_sim.control("add mouse 0x046d 0xc077 0x7200"), QStringLiteral("added"));
}

void TstConfiguratorApp::followsTheDeviceAndHandsBackOnExit()
{
    // The calling program: records its arguments and where it was started.
    const QString dir = testHome() + "/caller";
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
    const QString script = dir + "/morvex";
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$*\" \"$(pwd)\" > \"$(dirname \"$0\")/started.txt\"\n");
    }
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    m_sim.control("unplug");
    m_sim.control("clearlog");

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", qEnvironmentVariable("BRELKO_PRELOAD"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("BRELKO_HID_SOCKET", m_sim.socketPath());
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::SeparateChannels);
    QByteArray log;
    connect(&app, &QProcess::readyReadStandardError, &app, [&] { log += app.readAllStandardError(); });
    app.start(qEnvironmentVariable("BRELKO_BIN_DIR") + "/brelko-configurator", { script });
    QVERIFY(app.waitForStarted());
    // Started with no device: it looks once and waits.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("connectedDevice()"), kWait);
    QVERIFY(!log.contains("is Present"));

    m_sim.control("plug");
    QTRY_COMPARE_WITH_TIMEOUT(requests(m_sim), kLoadOrder, kWait);

    // Another HID device: noticed, nothing read again.
    const int arrivals = log.count("connectedDevice()");
    m_sim.control("@mouse plug");
    QTRY_VERIFY_WITH_TIMEOUT(log.count("connectedDevice()") > arrivals, kWait);
    QCOMPARE(requests(m_sim), kLoadOrder);

    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("disconnectedDevice()"), kWait);

    app.terminate();
    QVERIFY(app.waitForFinished(kWait));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QVERIFY(log.contains("Application"));

    QFile started(dir + "/started.txt");
    QTRY_VERIFY_WITH_TIMEOUT(started.exists() && started.size() > 0, kWait);
    QVERIFY(started.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(started.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("-m"));
    QCOMPARE(QDir(lines.value(1)).canonicalPath(), QDir(dir).canonicalPath());
}

QTEST_GUILESS_MAIN(TstConfiguratorApp)
#include "tst_configuratorapp.moc"
