#include "sim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {
bool readPort(const QCommandLineParser &p, const QCommandLineOption &o, quint16 *out)
{
    if (!p.isSet(o))
        return true;
    bool ok = false;
    const uint v = p.value(o).toUInt(&ok);
    if (!ok || v > 65535)
        return false;
    *out = quint16(v);
    return true;
}

bool readMs(const QCommandLineParser &p, const QCommandLineOption &o, int *out)
{
    if (!p.isSet(o))
        return true;
    bool ok = false;
    const int v = p.value(o).toInt(&ok);
    if (!ok || v < 0)
        return false;
    *out = v;
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brelko-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated Brelko network box on the loopback interface."));
    parser.addHelpOption();
    const QCommandLineOption tcpPort(QStringLiteral("tcp-port"),
        QStringLiteral("Command link port (0: any free)."), QStringLiteral("port"));
    const QCommandLineOption audioPort(QStringLiteral("audio-port"),
        QStringLiteral("UDP audio port (0: any free)."), QStringLiteral("port"));
    const QCommandLineOption keyingPort(QStringLiteral("keying-port"),
        QStringLiteral("UDP PTT/CW keying port (0: any free)."), QStringLiteral("port"));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
        QStringLiteral("Control channel port (0: any free)."), QStringLiteral("port"));
    const QCommandLineOption password(
        QStringLiteral("password"), QStringLiteral("Log-in password."), QStringLiteral("text"));
    const QCommandLineOption firmware(QStringLiteral("fw-version"),
        QStringLiteral("Firmware version announced after log-in."), QStringLiteral("a.b.c"));
    const QCommandLineOption heartbeat(QStringLiteral("heartbeat"),
        QStringLiteral("Transmit-state report interval in ms (0: none)."), QStringLiteral("ms"));
    const QCommandLineOption loginTimeout(QStringLiteral("login-timeout"),
        QStringLiteral("Drop a client that has not logged in after ms (0: never)."), QStringLiteral("ms"));
    const QCommandLineOption idleTimeout(QStringLiteral("idle-timeout"),
        QStringLiteral("Drop a logged-in client silent for ms (0: never)."), QStringLiteral("ms"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Start silent."));
    const QCommandLineOption keyingTimeline(QStringLiteral("keying-timeline"),
        QStringLiteral("Write the key and PTT edges to this file."), QStringLiteral("file"));
    parser.addOption(keyingTimeline);
    const QCommandLineOption permSlot(QStringLiteral("perm-slot"),
        QStringLiteral("A permission slot (repeatable): its own password, rights flags, "
                       "work and pause minutes."),
        QStringLiteral("password:flags:work:pause"));
    parser.addOption(permSlot);
    AudioStream::addOptions(&parser);
    parser.addOptions({ tcpPort, audioPort, keyingPort, controlPort, password, firmware, heartbeat,
        loginTimeout, idleTimeout, silent });
    parser.process(app);

    QTextStream err(stderr);
    SimOptions opt;
    if (!readPort(parser, tcpPort, &opt.tcpPort) || !readPort(parser, audioPort, &opt.audioPort)
        || !readPort(parser, keyingPort, &opt.keyingPort) || !readPort(parser, controlPort, &opt.controlPort)
        || !readMs(parser, heartbeat, &opt.heartbeatMs) || !readMs(parser, loginTimeout, &opt.loginTimeoutMs)
        || !readMs(parser, idleTimeout, &opt.idleTimeoutMs)) {
        err << "brelko-sim: bad port or time value\n";
        return 2;
    }
    if (parser.isSet(keyingTimeline))
        opt.keyingTimeline = parser.value(keyingTimeline);
    opt.permSlots = parser.values(permSlot);
    if (parser.isSet(password))
        opt.password = parser.value(password);
    if (parser.isSet(firmware) && !FirmwareVersion::parse(parser.value(firmware), &opt.firmware)) {
        err << "brelko-sim: bad firmware version, expected a.b.c\n";
        return 2;
    }

    Simulator sim(opt);
    QString why;
    sim.link()->setSilent(parser.isSet(silent));
    if (!sim.audioStream()->applyOptions(parser, &why)) {
        err << "brelko-sim: " << why << '\n';
        return 2;
    }
    if (!sim.start(&why)) {
        err << "brelko-sim: " << why << '\n';
        return 1;
    }
    QObject::connect(&sim, &Simulator::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    std::fprintf(stdout, "%s\n", sim.readyLine().toUtf8().constData());
    std::fflush(stdout);
    return app.exec();
}
