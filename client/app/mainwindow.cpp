#include "client/app/mainwindow.h"

#include "client/controller/window.h"
#include "client/prefs/preferences.h"
#include "common/languages.h"
#include "common/settings.h"
#include "common/translatorpair.h"
#include "platform/x11/globalhotkey.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QDebug>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

using namespace brelko;

namespace morvex {

namespace {
struct IndicatorSpec
{
    const char *text;
    Qt::GlobalColor colour;
};
const IndicatorSpec kIndicators[MainWindow::IndicatorCount] = {
    { " LINK ", Qt::green },
    { " FSK ", Qt::yellow },
    { " CAT ", Qt::yellow },
    { " PTT ", Qt::red },
    { " CW ", Qt::yellow },
    { " WK ", Qt::green },
};
const char kStyle[] = "background-color: %1; color: %2;";
constexpr int kBalloonMs = 10000;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowFlags(Qt::WindowCloseButtonHint);
    resize(800, 600);
    setMaximumSize(800, 600);
    m_toolBar = addToolBar(QStringLiteral("toolBar"));
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(32, 32));
    setWindowTitle(QCoreApplication::applicationName());

    for (int i = 0; i < IndicatorCount; ++i) {
        StatusIndicator &ind = m_indicators[i];
        ind.label = new QLabel(QString::fromLatin1(kIndicators[i].text), this);
        ind.active = QString::fromLatin1(kStyle).arg(
            QColor(kIndicators[i].colour).name(), QStringLiteral("palette(window-text)"));
        ind.present = QString::fromLatin1(kStyle).arg(
            QStringLiteral("palette(window)"), QStringLiteral("palette(window-text)"));
        ind.inactive = QString::fromLatin1(kStyle).arg(
            QStringLiteral("palette(window)"), QStringLiteral("palette(dark)"));
        statusBar()->addPermanentWidget(ind.label, 0);
        ind.state = 0;
        ind.label->setStyleSheet(ind.inactive);
    }
    m_connection = new QLabel(this);
    // Room for the longest usual text, so the fixed-size window never cuts it.
    m_connection->setMinimumWidth(m_connection->fontMetrics().horizontalAdvance(
        tr("Connected to ") + QStringLiteral("255.255.255.255")));
    statusBar()->insertPermanentWidget(0, m_connection, 1);

    setWindowIcon(QIcon(QStringLiteral(":/images/Morvex.ico")));
    m_hotKey = new GlobalHotKey(this);
    connect(m_hotKey, &GlobalHotKey::activated, this, &MainWindow::hotKeyPressed);
    registerPttHotKey();

    Window *controller = Window::instance() ? Window::instance() : new Window;
    controller->fillToolBar(m_toolBar);
    controller->fillMenuBar(menuBar());
    connect(controller->settingsAction(), &QAction::triggered, controller->preferences(), &QDialog::open);

    m_trayMenu = new QMenu(this);
    m_openAction = m_trayMenu->addAction(QIcon(QStringLiteral(":/images/open.png")), tr("&Open window"));
    connect(m_openAction, &QAction::triggered, this, &QWidget::show);
    controller->fillTrayMenu(m_trayMenu);
    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(m_trayMenu);
    setTrayImage(QStringLiteral(":/images/tray_unlink.png"));
    m_tray->setToolTip(QCoreApplication::applicationName() + tr(": disconnected"));
    m_tray->setVisible(true);

    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &MainWindow::trayMessageClicked);
    connect(m_tray, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);
    connect(controller, qOverload<const QString &, int>(&Window::statusMessage), statusBar(),
        &QStatusBar::showMessage);
    connect(controller, &Window::toggleToolbar, this, &MainWindow::toggleToolbar);
    connect(controller, &Window::connected, this, &MainWindow::clientConnected);
    connect(controller, &Window::connectionState, this, &MainWindow::showConnectionState);
    connect(controller, &Window::switchLanguage, this, &MainWindow::switchLanguage);
    connect(controller, &Window::changeStatusIndicators, this, &MainWindow::changeStatusIndicators);
    connect(controller, &Window::sendTrayMessage, this, &MainWindow::showTrayMessage);
    connect(controller, &Window::pttChanged, this, &MainWindow::changePTT);
    connect(controller, &Window::fixMainWndSize, this, &MainWindow::fixedSize);

    adjustSize();
    setCentralWidget(controller);
    adjustSize();
}

MainWindow::~MainWindow()
{
    m_hotKey->unregisterHotKey(1);
}

bool MainWindow::parseHotKey(const QString &text, unsigned *modifiers, unsigned *key)
{
    const QStringList parts = text.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    const QString last = parts.last().trimmed().toUpper();
    unsigned code = 0;
    if (last == QLatin1String("SPACE"))
        code = 0x20;
    else if (!last.isEmpty())
        code = last.at(0).unicode();
    unsigned mods = 0;
    for (int i = 0; i < parts.size() - 1; ++i) {
        const QString m = parts.at(i).trimmed().toUpper();
        if (m == QLatin1String("ALT"))
            mods |= GlobalHotKey::ModAlt;
        else if (m == QLatin1String("CTRL"))
            mods |= GlobalHotKey::ModControl;
        else if (m == QLatin1String("SHIFT"))
            mods |= GlobalHotKey::ModShift;
    }
    *modifiers = mods;
    *key = code;
    return true;
}

int MainWindow::registerPttHotKey()
{
    Settings *s = Settings::instance();
    QString text = s->value(Settings::HotKeyPTT).toString();
    if (text.isEmpty()) {
        text = QStringLiteral("CTRL+SPACE");
        s->setValue(Settings::HotKeyPTT, Settings::General, text);
    }
    unsigned mods = 0, key = 0;
    if (!parseHotKey(text, &mods, &key))
        return 0;
    m_hotKeyMods = mods;
    m_hotKeyCode = key;
    m_hotKey->unregisterHotKey(1);
    const int err = m_hotKey->registerHotKey(1, mods, key);
    if (err != 0)
        qDebug() << "RegisterHotKey() FAILED: " << err;
    return err;
}

void MainWindow::hotKeyPressed(int id)
{
    if (id != 1)
        return;
    Window *controller = Window::instance() ? Window::instance() : new Window;
    controller->hotKey(id);
}

void MainWindow::toggleToolbar()
{
    m_toolBar->setVisible(!m_toolBar->isVisible());
}

void MainWindow::trayMessageClicked() { }

void MainWindow::balloon(const QString &text, QSystemTrayIcon::MessageIcon icon)
{
    m_lastBalloon = text;
    qDebug().noquote() << "Tray message:" << text;
    if (icon == QSystemTrayIcon::Warning) {
        // The same icon every time, for the pixmap cache's sake (see m_trayIcons).
        if (m_warningIcon.isNull())
            m_warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
        m_tray->showMessage(QCoreApplication::applicationName(), text, m_warningIcon, kBalloonMs);
        return;
    }
    m_tray->showMessage(QCoreApplication::applicationName(), text, icon, kBalloonMs);
}

void MainWindow::showTrayMessage(QString msg)
{
    balloon(msg, QSystemTrayIcon::Warning);
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
    case QSystemTrayIcon::MiddleClick:
        show();
        break;
    default:
        break;
    }
}

void MainWindow::setTrayImage(const QString &path)
{
    if (path == m_trayImage)
        return;
    m_trayImage = path;
    auto it = m_trayIcons.find(path);
    if (it == m_trayIcons.end())
        it = m_trayIcons.insert(path, QIcon(path));
    m_tray->setIcon(*it);
}

QString MainWindow::connectionText() const
{
    return m_connection->text();
}

void MainWindow::clientConnected(bool connected, QString text)
{
    showConnectionState(connected, text);
    if (connected)
        balloon(tr("Connected to ") + text, QSystemTrayIcon::NoIcon);
    else
        balloon(text.isEmpty() ? tr("Disconnected") : tr("Disconnected: ") + text, QSystemTrayIcon::Warning);
}

void MainWindow::showConnectionState(bool connected, const QString &text)
{
    const QString app = QCoreApplication::applicationName();
    if (connected) {
        m_tray->setToolTip(app + tr(" connected"));
        setTrayImage(QStringLiteral(":/images/tray_link.png"));
        m_connection->setText(tr("Connected to ") + text);
        return;
    }
    const QString msg = text.isEmpty() ? tr("Disconnected") : tr("Disconnected: ") + text;
    m_tray->setToolTip(app + QLatin1Char(' ') + msg);
    setTrayImage(QStringLiteral(":/images/tray_unlink.png"));
    m_connection->setText(msg);
}

void MainWindow::switchLanguage(const QString &nativeName)
{
    if (!m_translators)
        m_translators = new TranslatorPair(this);
    m_translators->switchTo(nativeName);
}

void MainWindow::changeStatusIndicators(QVector<quint8> states)
{
    for (int i = 0; i < IndicatorCount && i < states.size(); ++i) {
        StatusIndicator &ind = m_indicators[i];
        if (ind.state == states.at(i))
            continue;
        ind.state = states.at(i);
        ind.label->setStyleSheet(ind.state == 0 ? ind.inactive : ind.state == 1 ? ind.active : ind.present);
        ++m_restyles;
    }
}

void MainWindow::changePTT(bool on)
{
    setTrayImage(
        on ? QStringLiteral(":/images/tray_link_ptt.png") : QStringLiteral(":/images/tray_link.png"));
}

void MainWindow::fixedSize()
{
    // Wide enough for the status bar's texts and indicators side by side.
    const int w = qMax(geometry().width(), statusBar()->sizeHint().width());
    const int h = geometry().height();
    resize(w, h);
    setMinimumSize(w, h);
    setMaximumSize(w, h);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    balloon(
        tr("The program will keep running in the system tray. To terminate the program, choose Quit in the "
           "context menu of the system tray entry."),
        QSystemTrayIcon::Information);
    QMainWindow::closeEvent(event);
}

void MainWindow::retranslate()
{
    setWindowTitle(QCoreApplication::applicationName());
    m_toolBar->setWindowTitle(tr("toolBar"));
    if (m_openAction)
        m_openAction->setText(tr("&Open window"));
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

} // namespace morvex
