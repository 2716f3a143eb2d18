#include "common/brelkoversion.h"
#include "common/settings.h"
#include "configurator/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>

#include <csignal>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

using namespace brelko;
using namespace configurator;

namespace {
int g_signalPipe[2] = { -1, -1 };

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop like the Exit button, so the window
// is destroyed properly and the calling program is still started.
void quitOnSignals(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Settings::setDefaultFile(Settings::standardFile(QStringLiteral("Zentrik/config.ini")));
    QCoreApplication::setApplicationName(QStringLiteral("Brelko Configurator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRELKO_VERSION));

    // The window reads the program to start on exit from the arguments
    // itself; the parser only answers --help and --version and rejects
    // unknown options.
    QCommandLineParser parser;
    parser.setApplicationDescription(QObject::tr("Sets up a Brelko connected by USB."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("program"),
        QObject::tr("A program to start (with -m) when the configurator closes."),
        QStringLiteral("[program]"));
    parser.process(app);
    quitOnSignals(app);

    auto window = std::make_unique<MainWindow>();
    window->show();
    const int code = app.exec();
    window.reset();
    return code;
}
