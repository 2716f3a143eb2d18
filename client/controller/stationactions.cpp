#include "client/controller/stationactions.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace morvex {

namespace {
QAction *action(const char *icon, QObject *parent)
{
    return new QAction(QIcon(QLatin1String(icon)), QString(), parent);
}

// The window's words, so its catalogue still serves.
QString text(const char *source)
{
    return QCoreApplication::translate("morvex::Window", source);
}
} // namespace

StationActions::StationActions(QObject *parent)
    : QObject(parent)
    , open(action(":/images/open.png", this))
    , tone(action(":/images/tone.png", this))
    , settings(action(":/images/settings.png", this))
    , home(action(":/images/home.png", this))
    , about(action(":/images/about.png", this))
    , aboutQt(action(":/images/aboutQt.png", this))
    , quit(action(":/images/exit.png", this))
    , mainRx(action(":/images/main-rx.png", this))
    , subRx(action(":/images/sub-rx.png", this))
    , bothRx(action(":/images/main-sub-rx.png", this))
    , m_rxActions(new QActionGroup(this))
{
    tone->setCheckable(true);
    for (QAction *a : { mainRx, subRx, bothRx }) {
        a->setCheckable(true);
        m_rxActions->addAction(a);
    }
    m_rxActions->setExclusive(true);
    bothRx->setChecked(true);
    retranslate();
}

void StationActions::fillMenuBar(QMenuBar *bar)
{
    m_fileMenu = bar->addMenu(QString());
    m_fileMenu->addAction(tone);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(quit);
    m_viewMenu = bar->addMenu(QString());
    m_viewMenu->addAction(mainRx);
    m_viewMenu->addAction(subRx);
    m_viewMenu->addAction(bothRx);
    m_toolsMenu = bar->addMenu(QString());
    m_toolsMenu->addAction(settings);
    m_helpMenu = bar->addMenu(QString());
    m_helpMenu->addAction(home);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(about);
    m_helpMenu->addAction(aboutQt);
    retranslate();
}

void StationActions::fillToolBar(QToolBar *bar)
{
    bar->addAction(settings);
    bar->addAction(tone);
    bar->addSeparator();
    bar->addAction(mainRx);
    bar->addAction(subRx);
    bar->addAction(bothRx);
}

void StationActions::fillTrayMenu(QMenu *menu)
{
    menu->addAction(tone);
    m_settingsMenu = menu->addMenu(QString());
    m_settingsMenu->addAction(settings);
    menu->addSeparator();
    menu->addAction(about);
    menu->addAction(quit);
    retranslate();
}

void StationActions::retranslate()
{
    open->setText(text("Open window"));
    tone->setText(text("Transmit 1kHz tone"));
    settings->setText(text("Settings"));
    home->setText(text("Home"));
    about->setText(text("About"));
    aboutQt->setText(text("About Qt"));
    quit->setText(text("Quit"));
    mainRx->setText(text("Main RX"));
    subRx->setText(text("Sub RX"));
    bothRx->setText(text("Main+Sub RX"));
    if (m_fileMenu) {
        m_fileMenu->setTitle(text("File"));
        m_viewMenu->setTitle(text("View"));
        m_toolsMenu->setTitle(text("Tools"));
        m_helpMenu->setTitle(text("Help"));
    }
    if (m_settingsMenu)
        m_settingsMenu->setTitle(text("Settings"));
}

} // namespace morvex
