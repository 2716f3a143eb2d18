// brelko-sim-hid: the simulated Brelko on its USB HID side, served to
// programs that preload libhidapi-brelkosim.so. Control commands are read
// from standard input, one per line; answers go to standard output.

#include "sim/hid/hidsimprotocol.h"
#include "sim/hid/hidsimserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brelko-sim-hid"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Brelko USB HID device"));
    parser.addHelpOption();
    QCommandLineOption socketOpt(QStringLiteral("socket"),
        QStringLiteral("Unix socket to serve (default: $BRELKO_HID_SOCKET)."), QStringLiteral("path"));
    QCommandLineOption commandOpt(QStringLiteral("command"),
        QStringLiteral("Control command run before serving (repeatable), e.g. \"unplug\" or \"feature 1\"."),
        QStringLiteral("line"));
    parser.addOption(socketOpt);
    parser.addOption(commandOpt);
    parser.process(app);

    const QString path
        = parser.isSet(socketOpt) ? parser.value(socketOpt) : QString::fromStdString(HidSim::socketPath());
    HidSimServer server;
    QTextStream out(stdout);
    const QStringList commands = parser.values(commandOpt);
    for (const QString &c : commands) {
        bool ok = false;
        const QString answer = server.control(c, &ok);
        if (!ok) {
            QTextStream(stderr) << "brelko-sim-hid: " << c << ": " << answer << Qt::endl;
            return 2;
        }
    }
    if (!server.listen(path))
        return 1;
    out << "listening " << path << Qt::endl;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false); // stdin closed: keep serving
            return;
        }
        static QByteArray pending;
        pending.append(buf, int(n));
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(nl)).trimmed();
            pending.remove(0, nl + 1);
            if (line.isEmpty())
                continue;
            bool ok = false;
            const QString answer = server.control(line, &ok);
            out << (ok ? "ok " : "err ") << answer << Qt::endl;
        }
    });
    return app.exec();
}
