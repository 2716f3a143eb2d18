#include "configurator/mainwindow.h"

#include "common/languages.h"
#include "common/settings.h"
#include "common/translatorpair.h"
#include "configurator/centralwidget.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QProcess>
#include <QStatusBar>

using namespace brelko;

namespace configurator {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    loadLanguages();
    QString language = Settings::instance()->value(Settings::Language).toString();
    if (language.isEmpty())
        language = QLocale::system().name();
    language = language.toLower();

    setWindowIcon(QIcon(QStringLiteral(":/images/configurator.png")));
    // The tabs set their texts once, when built: load the language first.
    switchLanguage(language);
    m_central = new CentralWidget(this);
    setCentralWidget(m_central);
    setStatusBar(new QStatusBar(this));
    connect(
        m_central, &CentralWidget::statusMsg, statusBar(),
        [bar = statusBar()](const QString &text) { bar->showMessage(text); }, Qt::QueuedConnection);
    connect(m_central, &CentralWidget::quit, this, &QWidget::close);
    setWindowTitle(QCoreApplication::applicationName());
}

MainWindow::~MainWindow()
{
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2)
        return;
    const QString program = args.at(1);
    const QString dir = handBackDirectory(program);
    qDebug() << "Application" << program;
    qDebug() << "Working directory" << dir;
    if (!QProcess::startDetached(program, { QStringLiteral("-m") }, dir))
        qWarning() << "Cannot start" << program;
}

QString MainWindow::handBackDirectory(const QString &program)
{
    const QString native = QDir::toNativeSeparators(program);
    const int cut = native.lastIndexOf(QDir::separator());
    // A bare program name has no folder; starting in a folder of that name
    // would fail, so it runs where we run.
    return cut < 0 ? QString() : native.left(cut + 1);
}

void MainWindow::switchLanguage(const QString &nativeName)
{
    if (!m_translators)
        m_translators = new TranslatorPair(this);
    m_translators->switchTo(nativeName);
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        setWindowTitle(QCoreApplication::applicationName());
    QMainWindow::changeEvent(event);
}

} // namespace configurator
