#include "languages.h"
#include "loghook.h"
#include "mainwindow.h"
#include "networktab.h"
#include "paudio.h"
#include "preferences.h"
#include "settings.h"
#include "singleapplication.h"
#include "window.h"

#include <QDebug>
#include <QIcon>
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

    auto window = std::make_unique<MainWindow>();
    window->switchLanguage(language);
    window->show();

    qRegisterMetaType<paudio::OutputMode>("paudio::OutputMode");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");

    LogHook::install();
    qDebug() << "Morvex" << QCoreApplication::applicationVersion() << "started, language"
             << languageName(language);

    // A location file named on a later start (or on this one) takes effect at once.
    QObject::connect(&app, &SingleApplication::messageAvailable, [](const QString &message) {
        qDebug() << "Message from another start:" << message;
    });
    QObject::connect(&app, &SingleApplication::messageAvailable, Window::instance()->preferences()->networkTab(),
                     &NetworkTab::openFile);
    if (argc > 1)
        app.sendMessage(QString::fromLocal8Bit(argv[1]));

    const int code = app.exec();
    window.reset();
    return code;
}
