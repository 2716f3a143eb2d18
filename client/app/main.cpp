#include "client/app/mainwindow.h"
#include "client/app/singleapplication.h"
#include "client/audio/paudio.h"
#include "client/controller/window.h"
#include "client/diag/loghook.h"
#include "client/prefs/networktab.h"
#include "client/prefs/preferences.h"
#include "common/brelkoversion.h"
#include "common/languages.h"
#include "common/settings.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QIcon>
#include <QMessageBox>
#include <QMetaType>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVector>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace brelko;
using namespace morvex;

namespace {
const char kMakerHome[] = "www.zentrik.example";

QString organizationDomain()
{
    QString home = Settings::instance()->value(Settings::Home).toString().trimmed();
    if (home.isEmpty())
        home = QString::fromLatin1(kMakerHome);
    if (!home.startsWith(QLatin1String("http://")))
        home.prepend(QLatin1String("http://"));
    return home;
}

int g_signalFds[2] = { -1, -1 };
// Set by the handler itself, so a signal is never lost to a nested loop
// (a start-up box) that consumed the quit before the main loop was entered.
volatile std::sig_atomic_t g_terminate = 0;

void onTerminate(int)
{
    g_terminate = 1;
    const char c = 1;
    // Only async-signal-safe calls here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(g_signalFds[0], &c, 1);
}

void announceTermination()
{
    static bool said = false;
    if (!said)
        qDebug() << "Terminating on a signal";
    said = true;
}

// A session logout or kill sends SIGTERM: end through the event loop so the
// window's teardown runs and the transmitter is released. exit() leaves every
// running loop, a modal box's as well as the main one.
void quitOnTerminate()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalFds[1], &c, 1);
        announceTermination();
        QCoreApplication::exit(0);
    });
    struct sigaction sa = {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

enum class TrayWait { Available, Missing, Terminated };

// Started with the desktop session, Morvex may be up before the panel that
// hosts the tray: give the panel a few seconds before giving up.
TrayWait waitForSystemTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return TrayWait::Available;
    qInfo("Waiting for the system tray");
    constexpr int kTrayWaitMs = 10000;
    constexpr int kTrayPollMs = 200;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            loop.exit(1);
        else if (waited.hasExpired(kTrayWaitMs))
            loop.exit(2);
    });
    poll.start(kTrayPollMs);
    // A signal ends every event loop with 0.
    switch (loop.exec()) {
    case 1:
        return TrayWait::Available;
    case 2:
        return TrayWait::Missing;
    default:
        return TrayWait::Terminated;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    SingleApplication app(argc, argv, QStringLiteral("Morvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Morvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRELKO_VERSION));

    // --help and --version answer before the running-instance check, so they
    // work while Morvex is already up.
    QCommandLineParser parser;
    parser.setApplicationDescription(QObject::tr("Remote station client for the Brelko."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
        QObject::tr("A location file (*.brelkonet) to open; passed to a running Morvex."),
        QStringLiteral("[file]"));
    parser.process(app);
    const QStringList positional = parser.positionalArguments();
    const QString locationFile = positional.isEmpty() ? QString() : positional.first();

    if (app.isRunning()) {
        if (!locationFile.isEmpty())
            app.sendMessage(locationFile);
        return 0;
    }

    quitOnTerminate();
    Settings::instance();
    QCoreApplication::setOrganizationName(QObject::tr("Zentrik Ltd."));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/Morvex.ico")));
    QCoreApplication::setOrganizationDomain(organizationDomain());

    switch (waitForSystemTray()) {
    case TrayWait::Terminated:
        return 0;
    case TrayWait::Missing:
        QMessageBox::critical(nullptr, QObject::tr("Systray"),
            QObject::tr("I couldn't detect any system tray on this system."));
        return 1;
    case TrayWait::Available:
        break;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    loadLanguages();
    QString language = Settings::instance()->value(Settings::Language).toString();
    if (language.isEmpty())
        language = QLocale::system().name();
    language = language.toLower();

    auto window = std::make_unique<MainWindow>();
    window->switchLanguage(language);
    window->show();

    qRegisterMetaType<paudio::OutputMode>("paudio::OutputMode");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");

    LogHook::install();
    qDebug() << "Morvex" << QCoreApplication::applicationVersion() << "started, language"
             << languageName(language);

    // A location file named on a later start (or on this one) takes effect at once.
    QObject::connect(&app, &SingleApplication::messageAvailable,
        [](const QString &message) { qDebug() << "Message from another start:" << message; });
    QObject::connect(&app, &SingleApplication::messageAvailable,
        Window::instance()->preferences()->networkTab(), &NetworkTab::openFile);
    if (!locationFile.isEmpty())
        app.sendMessage(locationFile);

    // A signal taken while a start-up box was open ended only that box's loop;
    // QApplication::exec() would forget it.
    int code = 0;
    if (g_terminate)
        announceTermination();
    else
        code = app.exec();
    window.reset();
    return code;
}
