#include "client/controller/window.h"

#include "client/Rtp/rtpthread.h"
#include "client/controller/audiorouting.h"
#include "client/controller/headsetpanel.h"
#include "client/controller/levelcodes.h"
#include "client/controller/stationactions.h"
#include "client/controller/stationsession.h"
#include "client/controller/transceiverlevels.h"
#include "client/diag/console.h"
#include "client/diag/remoteind.h"
#include "client/link/audiopacket.h"
#include "client/link/clientrif.h"
#include "client/link/firmwarecheck.h"
#include "client/link/fwversiondialog.h"
#include "client/link/permissionform.h"
#include "client/link/ptt.h"
#include "client/ports/vserial.h"
#include "client/prefs/languagetab.h"
#include "client/prefs/preferences.h"
#include "client/prefs/serialtab.h"
#include "common/settings.h"
#include "platform/autostart.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDebug>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

using namespace brelko;

namespace morvex {

Window *Window::s_instance = nullptr;

namespace {
const char kMakerHome[] = "www.zentrik.example";
} // namespace

Window::Window(QWidget *parent)
    : QWidget(parent)
    , m_prefs(new Preferences(this))
    , m_audio(new AudioRouting(this))
    , m_console(new Console)
    , m_rxGroup(new QButtonGroup(this))
    , m_rbMain(new QRadioButton(this))
    , m_rbSub(new QRadioButton(this))
    , m_rbBoth(new QRadioButton(this))
    , m_consoleBtn(new QPushButton(this))
    , m_actions(new StationActions(this))
{
    m_levelTimer.setInterval(kLevelMs);
    m_indicatorTimer.setInterval(kIndicatorMs);

    buildUi();
    setButtonStyle();
    m_pttButton->setEnabled(false);
    m_session = new StationSession(m_audio, m_permForm, this);

    Settings::instance()->loadDefaults(
        QStringLiteral("Home: ") + QLatin1String(kMakerHome) + QLatin1Char(';'));

    s_instance = this;
    connectActions();
    setWindowIcon(QIcon(QStringLiteral(":/images/newZentrik.png")));

    connect(m_trx, &TransceiverLevels::inLevelLChanged, this, &Window::changeInLevelL);
    connect(m_trx, &TransceiverLevels::inLevelRChanged, this, &Window::changeInLevelR);
    connect(m_trx, &TransceiverLevels::outLevelChanged, this, &Window::changeOutLevel);
    connect(m_trx, &TransceiverLevels::outLevelShown, this,
        [this](int code) { m_txMeter->setAmplifierKoef(LevelCodes::decibels(code)); });
    connect(m_trx, &TransceiverLevels::toggled, this, &Window::checkTransiver);
    connect(m_pttButton, &QPushButton::clicked, this, &Window::clickPTT);
    connect(m_session, &StationSession::connected, this, &Window::connected);
    connect(m_session, &StationSession::connectionState, this, &Window::connectionState);
    connect(m_session, &StationSession::sendTrayMessage, this, &Window::sendTrayMessage);
    connect(m_session, &StationSession::linkChanged, this, &Window::linkChanged);
    connect(m_session, &StationSession::pttHeldChanged, this, &Window::pttHeldChanged);
    connect(m_session, &StationSession::remotePttChanged, this, &Window::changePTT);
    connect(m_session, &StationSession::grantChanged, this, &Window::grantChanged);
    connect(m_session, &StationSession::portWarning, this,
        [this](const QString &text) { QMessageBox::warning(this, tr("Warning"), text); });
    connect(m_session->firmwareCheck(), &FirmwareCheck::showNotice, this, [this](const QString &msg) {
        if (!m_fwDialog)
            m_fwDialog = std::make_unique<FwVersionDialog>();
        m_fwDialog->showNotice(msg);
    });
    connect(&m_indicatorTimer, &QTimer::timeout, this, &Window::updateIndicators);
    connect(&m_levelTimer, &QTimer::timeout, this, qOverload<>(&Window::changeLevel));
    connect(this, &Window::setOutputMode, m_audio, &AudioRouting::setOutputMode);
    AudioPacket *levels = m_session->audioPacket();
    connect(this, &Window::changeInLevelL, levels, &AudioPacket::setInLevelL);
    connect(this, &Window::changeInLevelR, levels, &AudioPacket::setInLevelR);
    connect(this, &Window::changeOutLevel, levels, &AudioPacket::setOutLevel);
    connect(levels, &AudioPacket::changeInLevelL, this, &Window::setInLevelL);
    connect(levels, &AudioPacket::changeInLevelR, this, &Window::setInLevelR);
    connect(levels, &AudioPacket::changeOutLevel, this, &Window::setOutLevel);
    connect(m_prefs, &Preferences::apply, this, &Window::settingsChanged);
    connect(this, &Window::firstLoad, this, &Window::firstLoadSets, Qt::QueuedConnection);
    connect(m_permForm, &PermissionForm::workTimeCompleted, this, &Window::permTimerCompleted);
    connect(m_permForm, &PermissionForm::pauseTimeCompleted, this, &Window::permTimerCompleted);
    connect(
        m_prefs, &Preferences::reloadAudioDevices, this, &Window::audioDeviceChanged, Qt::QueuedConnection);
    connect(m_audio->streaming(), &RtpThread::statistics, m_console, &Console::updateStatistics);
    connect(
        m_rxGroup, QOverload<QAbstractButton *>::of(&QButtonGroup::buttonClicked), this, &Window::changeRB);
    connect(m_consoleBtn, &QPushButton::clicked, this, &Window::showHideConsole);
    connect(m_prefs->languageTab(), &LanguageTab::switchLanguage, this, &Window::switchLanguage);

    m_prefs->setModal(true);
    restoreOutputMode();
}

Window::~Window()
{
    m_session->shutdown();
    m_audio->stopAll();
    m_session->stopKeying();
    delete m_console;
    if (s_instance == this)
        s_instance = nullptr;
}

void Window::buildUi()
{
    m_headset = new HeadsetPanel(this);
    m_trx = new TransceiverLevels(this);
    m_txMeter = new RemoteInd(this);
    m_pttButton = new QPushButton(this);
    m_pttButton->setCheckable(true);
    m_permForm = new PermissionForm(this);

    m_rxGroup->addButton(m_rbMain);
    m_rxGroup->addButton(m_rbSub);
    m_rxGroup->addButton(m_rbBoth);
    m_rbBoth->setChecked(true);
    auto *rxRow = new QHBoxLayout;
    rxRow->addWidget(m_rbMain);
    rxRow->addWidget(m_rbSub);
    rxRow->addWidget(m_rbBoth);
    rxRow->addStretch();
    rxRow->addWidget(m_consoleBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_headset);
    layout->addWidget(m_trx);
    layout->addLayout(rxRow);
    layout->addWidget(m_txMeter);
    layout->addWidget(m_pttButton);
    layout->addWidget(m_permForm);

    const bool trxOn = Settings::instance()->value(Settings::TransceiverLvls, Settings::Transceiver).toBool();
    {
        const QSignalBlocker block(m_trx);
        m_trx->setChecked(trxOn);
    }
    m_trx->setEnabled(false);
    m_txMeter->setEnabled(false);
    retranslateUi();
}

void Window::connectActions()
{
    connect(m_actions->open, &QAction::triggered, this, [this] {
        if (QWidget *w = window()) {
            w->show();
            w->raise();
            w->activateWindow();
        }
    });
    connect(m_actions->tone, &QAction::triggered, this, &Window::changeTone);
    connect(m_actions->home, &QAction::triggered, this, &Window::goHome);
    connect(m_actions->about, &QAction::triggered, this, &Window::showAbout);
    connect(m_actions->aboutQt, &QAction::triggered, this, &Window::showAboutQt);
    connect(m_actions->quit, &QAction::triggered, qApp, &QApplication::quit);
    connect(m_actions->mainRx, &QAction::triggered, this, &Window::mainRx);
    connect(m_actions->subRx, &QAction::triggered, this, &Window::subRx);
    connect(m_actions->bothRx, &QAction::triggered, this, &Window::bothRx);
}

void Window::retranslateUi()
{
    m_headset->retranslate();
    m_trx->retranslate();
    m_rbMain->setText(tr("Main RX"));
    m_rbSub->setText(tr("Sub RX"));
    m_rbBoth->setText(tr("Main+Sub RX"));
    m_consoleBtn->setText(tr("Console"));
    m_pttButton->setText(tr("PTT"));
    m_pttButton->setToolTip(tr("PTT button for SSB\nHot key:") + QLatin1Char(' ')
        + Settings::instance()->value(Settings::HotKeyPTT).toString());
    m_actions->retranslate();
}

void Window::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_levelTimer.stop();
}

void Window::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void Window::setButtonStyle()
{
    const QString common = QStringLiteral(
        "QPushButton { background-color: palette(window); border-style: outset; border-width: 2px;"
        " border-radius: 10px; border-color: grey; font: bold 14px; min-width: 10em; padding: 6px; }"
        "QPushButton:disabled { color: gray; border-style: inset; }");
    m_transmitStyle
        = common + QStringLiteral("QPushButton:checked { background-color: red; border-style: inset; }");
    m_normalStyle = common
        + QStringLiteral("QPushButton:checked { background-color: darkgrey; border-style: inset; }"
                         "QToolTip { border: 2px solid darkkhaki; padding: 5px;"
                         " border-radius: 3px; opacity: 200; }");
    m_pttButton->setStyleSheet(m_normalStyle);
}

void Window::pttButtonStyle()
{
    const bool transmit = m_session->pttPacket()->remotePtt() && m_pttButton->isChecked();
    m_pttButton->setStyleSheet(transmit ? m_transmitStyle : m_normalStyle);
}

void Window::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The meters are read only while someone can see them.
    m_levelTimer.start();
    if (m_firstShown)
        return;
    m_permForm->hide();
    m_firstShown = true;
    emit firstLoad();
}

void Window::firstLoadSets()
{
    m_pttButton->setToolTip(m_pttButton->toolTip());
    emit fixMainWndSize();
    if (!VSerial::isAvailable()) {
        QMessageBox::critical(this, tr("Error"),
            tr("Your system does not have Virtual Serial Port.\n") + tr("Please reinstall your software."),
            QMessageBox::Ok);
        // Same as the user choosing to end: no virtual ports, nothing to do.
        QCoreApplication::exit(0);
        return;
    }
    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(),
        tr("Virtual serial ports are creating now."), QMessageBox::NoButton, this);
    box.setInformativeText(tr("It takes several seconds."));
    box.setModal(false);
    box.show();
    box.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    settingsChanged(AbstractTab::SerialPorts);
    settingsChanged(AbstractTab::Audio);
    settingsChanged(AbstractTab::Network);
    settingsChanged(AbstractTab::General);
    box.hide();
}

void Window::settingsChanged(AbstractTab::Tab tab)
{
    switch (tab) {
    case AbstractTab::SerialPorts:
        m_session->stopKeying();
        m_session->openPorts(m_prefs->serialPorts(), m_prefs->serialTab()->wineLinks());
        if (m_session->connection()->isConnected())
            m_session->startKeying();
        applyRigControl();
        break;
    case AbstractTab::Network:
        m_session->stopKeying();
        m_audio->stopStreams();
        m_audio->streaming()->stop();
        m_session->stopReconnect();
        applyNetworkSettings();
        if (!m_audio->hasDevices())
            refreshDescriptors();
        m_audio->startStreaming(m_session->config().streamPort);
        rebuildStreams(false);
        m_session->connectToBox();
        applyRigControl();
        break;
    case AbstractTab::Audio:
        m_audio->stopStreams();
        rebuildStreams(true);
        break;
    case AbstractTab::General:
        setAutoRun(m_prefs->languageTab()->autoRun());
        emit switchLanguage(m_prefs->languageTab()->language());
        break;
    }
}

void Window::rebuildStreams(bool descriptorsFromTab)
{
    if (descriptorsFromTab)
        refreshDescriptors();
    m_audio->rebuildStreams();
    selectActiveInput();
}

void Window::linkChanged(bool up)
{
    m_pttButton->setEnabled(up);
    m_trx->setEnabled(up);
    m_txMeter->setEnabled(up);
    if (up) {
        updateIndicators();
        m_indicatorTimer.start(kIndicatorMs);
    } else {
        m_indicatorTimer.stop();
        updateIndicators();
    }
}

void Window::pttHeldChanged(bool held)
{
    m_pttButton->setChecked(held);
    if (!held && m_actions->tone->isChecked())
        m_actions->tone->setChecked(false);
    pttButtonStyle();
}

void Window::hotKey(int id)
{
    if (id != 1 || !m_session->isLinkUp())
        return;
    // The same request as the button, with the same refusals and release.
    const bool on = !m_session->isPttHeld();
    m_session->requestPtt(on);
    if (on && m_session->isPttHeld())
        m_audio->setInput(paudio::audioIn);
}

void Window::changePTT()
{
    const bool remote = m_session->pttPacket()->remotePtt();
    pttButtonStyle();
    emit pttChanged(remote);
    updateIndicators();
}

void Window::changeTone()
{
    const bool on = m_actions->tone->isChecked();
    m_audio->enableTone(on);
    m_session->requestPtt(on);
}

void Window::changeLevel()
{
    const QVector<int> lv = m_audio->levels();
    if (lv.size() < 3)
        return;
    changeLevel(paudio::audioIn, 0, lv.at(0));
    changeLevel(paudio::audioOut, 0, lv.at(1));
    changeLevel(paudio::audioOut, 1, lv.at(2));
}

void Window::changeLevel(paudio::AudioType type, quint32 chan, int level)
{
    if (type == paudio::audioIn) {
        const int shown = m_session->pttPacket()->remotePtt() ? level : 1;
        m_headset->setMicLevel(shown);
        m_txMeter->setLevel(shown);
    } else if (type == paudio::audioOut) {
        m_headset->setRxLevel(int(chan), level);
    }
}

void Window::updateIndicators()
{
    emit changeStatusIndicators(indicatorStates());
}

// The radio buttons, the actions, the level controls and the headset labels
// follow one choice; the routing owns the mode.
void Window::selectReceiver(paudio::OutputMode mode)
{
    const bool mainOn = mode != paudio::SubRx;
    const bool subOn = mode != paudio::MainRx;
    if (m_trx->isChecked())
        m_trx->setReceivers(mainOn, subOn);
    m_headset->setReceiver(mode);
    QAction *action = mode == paudio::MainRx ? m_actions->mainRx
        : mode == paudio::SubRx              ? m_actions->subRx
                                             : m_actions->bothRx;
    QRadioButton *button = mode == paudio::MainRx ? m_rbMain : mode == paudio::SubRx ? m_rbSub : m_rbBoth;
    action->setChecked(true);
    button->setChecked(true);
    emit setOutputMode(mode);
}

void Window::checkTransiver(bool state)
{
    Settings::instance()->setValue(Settings::TransceiverLvls, Settings::Transceiver, state);
    if (state)
        m_trx->setReceivers(!m_actions->subRx->isChecked(), !m_actions->mainRx->isChecked());
}

void Window::enableTransiver(bool group, bool qMain, bool sub)
{
    if (group)
        m_trx->setReceivers(qMain, sub);
}

void Window::setAutoRun(bool state)
{
    if (!AutoStart::set(QCoreApplication::applicationName(), QCoreApplication::applicationFilePath(), state))
        qWarning() << "Cannot change the start with the session";
}

void Window::showHelp()
{
    QMessageBox::information(this, tr("Help"), tr("Help should be shown here."));
}

void Window::goHome()
{
    QDesktopServices::openUrl(QUrl(QCoreApplication::organizationDomain()));
}

void Window::showAbout()
{
    QMessageBox box(this);
    box.setWindowTitle(tr("About"));
    box.setIconPixmap(QApplication::windowIcon().pixmap(48, 48));
    box.setText(QCoreApplication::applicationName() + tr(" version ") + QCoreApplication::applicationVersion()
        + QLatin1Char('\n') + tr("Author: ") + QCoreApplication::organizationName() + QLatin1Char('\n')
        + tr("Home page: ") + QCoreApplication::organizationDomain());
    box.exec();
}

void Window::showAboutQt()
{
    QMessageBox::aboutQt(this);
}

void Window::showHideConsole()
{
    m_console->setVisible(!m_console->isVisible());
}

void Window::adjustConsoleBtn(bool state)
{
    Q_UNUSED(state)
}

void Window::keyReleaseEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (event->key() == Qt::Key_Escape) {
        m_audio->enableTone(false);
        m_actions->tone->setChecked(false);
        m_session->requestPtt(false);
        return;
    }
    if (event->key() == Qt::Key_D && mods == (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) {
        showHideConsole();
        return;
    }
    if (event->key() == Qt::Key_Q && mods == Qt::ControlModifier) {
        QCoreApplication::quit();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void Window::grantChanged(const Permission::Grant &grant, const QString &text)
{
    m_trx->outputSlider()->setEnabled(grant.txLevel);
    m_permForm->setPermissionText(text);
    m_permForm->setVisible(grant.countdown);
}

void Window::checkFwVersion(quint32 ver, quint32 subver, quint32 pointver)
{
    m_session->firmwareCheck()->checkFwVersion(ver, subver, pointver);
}

} // namespace morvex
