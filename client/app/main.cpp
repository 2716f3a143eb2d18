#include "console.h"
#include "languages.h"
#include "loghook.h"
#include "settings.h"
#include "singleapplication.h"

#include <QDebug>
#include <QIcon>
#include <QMainWindow>
#include <QMessageBox>
#include <QMetaType>
#include <QSystemTrayIcon>
#include <QVector>

#include <memory>

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

// Stands in for the main window until the station controller exists: the
// console and a tray icon, so the program can be seen running and logging.
std::unique_ptr<QMainWindow> createMainWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QCoreApplication::applicationName());
    auto *console = new Console(window.get());
    window->setCentralWidget(console);
    window->resize(640, 400);
    auto *tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/images/tray_unlink.png")), window.get());
    tray->setToolTip(QCoreApplication::applicationName());
    tray->show();
    return window;
}
} // namespace

int main(int argc, char *argv[])
{
    SingleApplication app(argc, argv, QStringLiteral("Morvex"));
    if (app.isRunning()) {
        if (argc > 1)
            app.sendMessage(QString::fromLocal8Bit(argv[1]));
        return 0;
    }

    Settings::instance();
    QCoreApplication::setOrganizationName(QObject::tr("Zentrik Ltd."));
    QCoreApplication::setApplicationName(QStringLiteral("Morvex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/Morvex.ico")));
    QCoreApplication::setOrganizationDomain(organizationDomain());
    QCoreApplication::setApplicationVersion(QStringLiteral("1.8.0"));

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        QMessageBox::critical(nullptr, QObject::tr("Systray"),
                              QObject::tr("I couldn't detect any system tray on this system."));
        return 1;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    loadLanguages();
    QString language = Settings::instance()->value(Settings::Language).toString();
    if (language.isEmpty())
        language = QLocale::system().name();
    language = language.toLower();

    std::unique_ptr<QMainWindow> window = createMainWindow();
    window->show();

    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");

    LogHook::install();
    qDebug() << "Morvex" << QCoreApplication::applicationVersion() << "started, language"
             << languageName(language);

    // Until the preferences dialog opens location files, a forwarded path is logged.
    QObject::connect(&app, &SingleApplication::messageAvailable, [](const QString &message) {
        qDebug() << "Message from another start:" << message;
    });
    if (argc > 1)
        app.sendMessage(QString::fromLocal8Bit(argv[1]));

    const int code = app.exec();
    window.reset();
    return code;
}
