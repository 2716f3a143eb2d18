#include "client/controller/window.h"

#include "client/link/audiopacket.h"
#include "client/audio/audiothread.h"
#include "client/link/authorization.h"
#include "platform/autostart.h"
#include "client/audio/bufferplan.h"
#include "client/link/clientrif.h"
#include "client/diag/console.h"
#include "client/ports/cwthread.h"
#include "client/link/firmwarecheck.h"
#include "client/link/fwversiondialog.h"
#include "client/link/fwversionpacket.h"
#include "client/link/hostlookup.h"
#include "client/controller/levelcodes.h"
#include "client/prefs/networktab.h"
#include "client/link/packetmngr.h"
#include "client/link/permission.h"
#include "client/link/permissionform.h"
#include "client/prefs/preferences.h"
#include "client/link/ptt.h"
#include "client/ports/pttcwserial.h"
#include "client/diag/remoteind.h"
#include "client/rigctl/rigserver.h"
#include "client/Rtp/rtpthread.h"
#include "client/audio/selfcontrol.h"
#include "client/link/serial.h"
#include "client/prefs/serialtab.h"
#include "common/settings.h"
#include "client/diag/stereolevel.h"
#include "client/ports/vserial.h"
#include "platform/vsportbus.h"
#include "platform/winelinks.h"
#include "client/ports/winkey.h"
#include "client/prefs/languagetab.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QDebug>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

Window *Window::s_instance = nullptr;

namespace {
const char kMakerHome[] = "www.zentrik.example";

QSlider *levelSlider(int maximum, QWidget *parent)
{
    auto *s = new QSlider(Qt::Vertical, parent);
    s->setRange(0, maximum);
    s->setMinimumHeight(100);
    return s;
}
} // namespace

Window::Window(QWidget *parent)
    : QWidget(parent)
    , m_client(new ClientRIF(this))
    , m_mngr(new PacketMngr(this))
    , m_errors(new ErrorsPacket(PacketType::Errors, this))
    , m_ptt(new PTT(PacketType::Ptt, this))
    , m_auth(new Authorization(PacketType::Authorization, this))
    , m_serials{new Serial(PacketType::SerialCat, this), new Serial(PacketType::SerialPttCw, this),
                new Serial(PacketType::SerialFsk, this), new Serial(PacketType::SerialRs485, this)}
    , m_audioPacket(new AudioPacket(PacketType::Audio, this))
    , m_permission(new Permission(PacketType::Permission, this))
    , m_fwVersion(new FwVersionPacket(PacketType::FwVersion, this))
    , m_fwCheck(new FirmwareCheck(this))
    , m_lookup(new HostLookup(this))
    , m_prefs(new Preferences(this))
    , m_ports{new VSerial(this), new VSerial(this), new VSerial(this), new VSerial(this), new VSerial(this)}
    , m_engine(new AudioThread(this))
    , m_rtp(new RtpThread(this))
    , m_console(new Console)
    , m_rxGroup(new QButtonGroup(this))
    , m_rbMain(new QRadioButton(this))
    , m_rbSub(new QRadioButton(this))
    , m_rbBoth(new QRadioButton(this))
    , m_consoleBtn(new QPushButton(this))
    , m_winKey([this] {
        // The keyer's parameters survive a restart in the settings.
        auto *winKey = new WinKey(this);
        const QString stored = Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString();
        if (!stored.isEmpty())
            winKey->setParameters(WinKey::blockFromText(stored));
        connect(winKey, &WinKey::parametersChanged, this, [](const QByteArray &block) {
            (*Settings::instance())(Settings::WinKeyParameters, Settings::WinKey) = WinKey::blockToText(block);
        });
        return winKey;
    }())
    , m_selfControl(new SelfControl(this))
    , m_cw(new CwThread(this))
{
    m_streams[0].kind = paudio::audioIn;
    m_streams[1].kind = paudio::audioInVirtual;
    m_streams[2].kind = paudio::audioOut;
    m_streams[3].kind = paudio::audioOutVirtual;
    m_levelTimer.setInterval(kLevelMs);
    m_indicatorTimer.setInterval(kIndicatorMs);

    buildUi();
    setButtonStyle();
    m_pttButton->setEnabled(false);

    Settings::instance()->loadDefaults(QStringLiteral("Home: ") + QLatin1String(kMakerHome) + QLatin1Char(';'));

    s_instance = this;
    createActions();
    setWindowIcon(QIcon(QStringLiteral(":/images/newZentrik.png")));

    connect(m_outSlider, &QSlider::valueChanged, this, &Window::changeOutputLevel);
    connect(m_inSliderL, &QSlider::valueChanged, this, &Window::changeInputLevelL);
    connect(m_inSliderR, &QSlider::valueChanged, this, &Window::changeInputLevelR);
    connect(m_trxGroup, &QGroupBox::toggled, this, &Window::checkTransiver);
    connect(m_client, &ClientRIF::connected, this, &Window::connectedClient);
    connect(m_client, &ClientRIF::disconnected, this, &Window::disconnectedClient);
    connect(m_pttButton, &QPushButton::clicked, this, &Window::clickPTT);
    connect(m_ptt, &PTT::readyRead, this, &Window::changePTT);
    connect(m_errors, &ErrorsPacket::error, this, &Window::reasonConnectionReset);
    connect(&m_reconnect, &QTimer::timeout, this, &Window::timeoutReconect);
    m_reconnect.setSingleShot(true);
    // A coarse timer may fire 5 % early: the back-off steps are promises.
    m_reconnect.setTimerType(Qt::PreciseTimer);
    m_healthyTimer.setSingleShot(true);
    m_stableTimer.setSingleShot(true);
    m_transmitTimer.setSingleShot(true);
    connect(&m_healthyTimer, &QTimer::timeout, this, [this] { m_policy.reset(); });
    connect(&m_stableTimer, &QTimer::timeout, this, [this] {
        if (!m_client->isConnected())
            return;
        m_outage = false;
        emit connected(true, m_client->serverAddress());
    });
    connect(&m_transmitTimer, &QTimer::timeout, this, &Window::transmitTimedOut);
    connect(m_cw, &CwThread::pttTimedOut, this, &Window::linePttTimedOut);
    connect(m_lookup, &HostLookup::finished, this, &Window::boxLookedUp);
    connect(&m_indicatorTimer, &QTimer::timeout, this, &Window::updateIndicators);
    connect(&m_levelTimer, &QTimer::timeout, this, qOverload<>(&Window::changeLevel));
    connect(this, &Window::setOutputMode, m_engine, &AudioThread::setOutputMode);
    connect(this, &Window::changeInLevelL, m_audioPacket, &AudioPacket::setInLevelL);
    connect(this, &Window::changeInLevelR, m_audioPacket, &AudioPacket::setInLevelR);
    connect(this, &Window::changeOutLevel, m_audioPacket, &AudioPacket::setOutLevel);
    connect(m_audioPacket, &AudioPacket::changeInLevelL, this, &Window::setInLevelL);
    connect(m_audioPacket, &AudioPacket::changeInLevelR, this, &Window::setInLevelR);
    connect(m_audioPacket, &AudioPacket::changeOutLevel, this, &Window::setOutLevel);
    connect(m_cw, &CwThread::changedRTS, this, &Window::changeRTSforPTT);
    connect(m_prefs, &Preferences::apply, this, &Window::settingsChanged);
    connect(this, &Window::firstLoad, this, &Window::firstLoadSets, Qt::QueuedConnection);
    connect(m_permForm, &PermissionForm::workTimeCompleted, this, &Window::permTimerCompleted);
    connect(m_permForm, &PermissionForm::pauseTimeCompleted, this, &Window::permTimerCompleted);
    connect(m_permission, &Permission::changedState, this, &Window::permParamsChanged);
    connect(m_fwVersion, &FwVersionPacket::updateVersion, this, &Window::checkFwVersion);
    connect(m_fwCheck, &FirmwareCheck::sendTrayMessage, this, &Window::sendTrayMessage);
    connect(m_fwCheck, &FirmwareCheck::showNotice, this, [this](const QString &msg) {
        if (!m_fwDialog)
            m_fwDialog = std::make_unique<FwVersionDialog>();
        m_fwDialog->showNotice(msg);
    });
    connect(m_prefs, &Preferences::reloadAudioDevices, this, &Window::audioDeviceChanged, Qt::QueuedConnection);
    connect(m_rtp, &RtpThread::statistics, m_console, &Console::updateStatistics);
    connect(m_rxGroup, QOverload<QAbstractButton *>::of(&QButtonGroup::buttonClicked), this, &Window::changeRB);
    connect(m_consoleBtn, &QPushButton::clicked, this, &Window::showHideConsole);
    connect(m_prefs->languageTab(), &LanguageTab::switchLanguage, this, &Window::switchLanguage);

    m_mngr->registerPacket(m_auth);
    m_mngr->registerPacket(m_errors);
    m_mngr->registerPacket(m_ptt);
    m_mngr->registerPacket(m_serials[Cat]);
    m_mngr->registerPacket(m_serials[Fsk]);
    m_mngr->registerPacket(m_serials[Rs485]);
    m_mngr->registerPacket(m_audioPacket);
    m_mngr->registerPacket(m_permission);
    m_mngr->registerPacket(m_fwVersion);

    for (int p = Cat; p <= Rs485; ++p)
        m_serials[p]->setPort(m_ports[p]);
    m_winKey->setPort(m_ports[Winkey]);

    m_client->setPacketManager(m_mngr);
    m_prefs->setModal(true);
    restoreOutputMode();
    m_levelTimer.start();
    setupRigControl();
}

Window::~Window()
{
    // Radio programs go first, while what they key still exists.
    delete m_rigServer;
    m_rigServer = nullptr;
    // Never leave the transmitter keyed: the last PTT frame says off.
    m_ptt->setPTT(false);
    if (m_client->isConnected()) {
        disconnect(m_client, nullptr, this, nullptr);
        m_client->sendPackets();
        m_client->socket()->waitForBytesWritten(1000);
        m_client->disconnectFromServer();
    }
    m_reconnect.stop();
    m_engine->removeStream(paudio::audioAll);
    m_rtp->stop();
    m_cw->stopKeying();
    m_winKey->stop();
    delete m_console;
    if (s_instance == this)
        s_instance = nullptr;
}

Serial *Window::serialHandler(Port p) const
{
    return p <= Rs485 ? m_serials[p] : nullptr;
}

void Window::buildUi()
{
    m_headsetTitle = new QLabel(this);
    m_headL = new QLabel(this);
    m_headR = new QLabel(this);
    m_micLabel = new QLabel(this);
    m_rxLevels = new StereoLevel(this);
    m_micLevel = new StereoLevel(this);
    m_trxGroup = new QGroupBox(this);
    m_trxGroup->setCheckable(true);
    m_subLabel = new QLabel(this);
    m_mainLabel = new QLabel(this);
    m_inSliderL = levelSlider(int(AudioPacket::kMaxInLevel), this);
    m_inSliderR = levelSlider(int(AudioPacket::kMaxInLevel), this);
    m_outSlider = levelSlider(LevelCodes::kMaxCode, this);
    m_inTextL = new QLabel(QStringLiteral("+0.0 dB"), this);
    m_inTextR = new QLabel(QStringLiteral("+0.0 dB"), this);
    m_outText = new QLabel(QStringLiteral("+0.0 dB"), this);
    m_txMeter = new RemoteInd(this);
    m_pttButton = new QPushButton(this);
    m_pttButton->setCheckable(true);
    m_permForm = new PermissionForm(this);

    auto *headset = new QGridLayout;
    headset->addWidget(m_headsetTitle, 0, 0, 1, 2);
    headset->addWidget(m_headL, 1, 0);
    headset->addWidget(m_headR, 2, 0);
    headset->addWidget(m_rxLevels, 1, 1, 2, 1);
    headset->addWidget(m_micLabel, 3, 0);
    headset->addWidget(m_micLevel, 3, 1);

    auto *trx = new QGridLayout(m_trxGroup);
    trx->addWidget(m_mainLabel, 0, 0, Qt::AlignHCenter);
    trx->addWidget(m_subLabel, 0, 1, Qt::AlignHCenter);
    trx->addWidget(new QLabel(tr("TX"), this), 0, 2, Qt::AlignHCenter);
    trx->addWidget(m_inSliderL, 1, 0, Qt::AlignHCenter);
    trx->addWidget(m_inSliderR, 1, 1, Qt::AlignHCenter);
    trx->addWidget(m_outSlider, 1, 2, Qt::AlignHCenter);
    trx->addWidget(m_inTextL, 2, 0, Qt::AlignHCenter);
    trx->addWidget(m_inTextR, 2, 1, Qt::AlignHCenter);
    trx->addWidget(m_outText, 2, 2, Qt::AlignHCenter);

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
    layout->addLayout(headset);
    layout->addWidget(m_trxGroup);
    layout->addLayout(rxRow);
    layout->addWidget(m_txMeter);
    layout->addWidget(m_pttButton);
    layout->addWidget(m_permForm);

    const bool trxOn = Settings::instance()->value(Settings::TransceiverLvls, Settings::Transceiver).toBool();
    {
        const QSignalBlocker block(m_trxGroup);
        m_trxGroup->setChecked(trxOn);
    }
    m_trxGroup->setEnabled(false);
    m_txMeter->setEnabled(false);
    retranslateUi();
}

void Window::createActions()
{
    m_actOpen = new QAction(QIcon(QStringLiteral(":/images/open.png")), QString(), this);
    m_actTone = new QAction(QIcon(QStringLiteral(":/images/tone.png")), QString(), this);
    m_actTone->setCheckable(true);
    m_actSettings = new QAction(QIcon(QStringLiteral(":/images/settings.png")), QString(), this);
    m_actHome = new QAction(QIcon(QStringLiteral(":/images/home.png")), QString(), this);
    m_actAbout = new QAction(QIcon(QStringLiteral(":/images/about.png")), QString(), this);
    m_actAboutQt = new QAction(QIcon(QStringLiteral(":/images/aboutQt.png")), QString(), this);
    m_actQuit = new QAction(QIcon(QStringLiteral(":/images/exit.png")), QString(), this);
    m_actMainRx = new QAction(QIcon(QStringLiteral(":/images/main-rx.png")), QString(), this);
    m_actSubRx = new QAction(QIcon(QStringLiteral(":/images/sub-rx.png")), QString(), this);
    m_actBothRx = new QAction(QIcon(QStringLiteral(":/images/main-sub-rx.png")), QString(), this);
    m_rxActions = new QActionGroup(this);
    for (QAction *a : {m_actMainRx, m_actSubRx, m_actBothRx}) {
        a->setCheckable(true);
        m_rxActions->addAction(a);
    }
    m_rxActions->setExclusive(true);
    m_actBothRx->setChecked(true);

    connect(m_actOpen, &QAction::triggered, this, [this] {
        if (QWidget *w = window()) {
            w->show();
            w->raise();
            w->activateWindow();
        }
    });
    connect(m_actTone, &QAction::triggered, this, &Window::changeTone);
    connect(m_actHome, &QAction::triggered, this, &Window::goHome);
    connect(m_actAbout, &QAction::triggered, this, &Window::showAbout);
    connect(m_actAboutQt, &QAction::triggered, this, &Window::showAboutQt);
    connect(m_actQuit, &QAction::triggered, qApp, &QApplication::quit);
    connect(m_actMainRx, &QAction::triggered, this, &Window::mainRx);
    connect(m_actSubRx, &QAction::triggered, this, &Window::subRx);
    connect(m_actBothRx, &QAction::triggered, this, &Window::bothRx);
    retranslateUi();
}

void Window::fillMenuBar(QMenuBar *bar)
{
    m_fileMenu = bar->addMenu(QString());
    m_fileMenu->addAction(m_actTone);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_actQuit);
    m_viewMenu = bar->addMenu(QString());
    m_viewMenu->addAction(m_actMainRx);
    m_viewMenu->addAction(m_actSubRx);
    m_viewMenu->addAction(m_actBothRx);
    m_toolsMenu = bar->addMenu(QString());
    m_toolsMenu->addAction(m_actSettings);
    m_helpMenu = bar->addMenu(QString());
    m_helpMenu->addAction(m_actHome);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_actAbout);
    m_helpMenu->addAction(m_actAboutQt);
    retranslateUi();
}

void Window::fillToolBar(QToolBar *bar)
{
    bar->addAction(m_actSettings);
    bar->addAction(m_actTone);
    bar->addSeparator();
    bar->addAction(m_actMainRx);
    bar->addAction(m_actSubRx);
    bar->addAction(m_actBothRx);
}

void Window::fillTrayMenu(QMenu *menu)
{
    menu->addAction(m_actTone);
    m_settingsMenu = menu->addMenu(QString());
    m_settingsMenu->addAction(m_actSettings);
    menu->addSeparator();
    menu->addAction(m_actAbout);
    menu->addAction(m_actQuit);
    retranslateUi();
}

void Window::retranslateUi()
{
    m_headsetTitle->setText(tr("Headset levels"));
    m_micLabel->setText(tr("Microphone"));
    m_trxGroup->setTitle(tr("Transceiver levels"));
    m_subLabel->setText(tr("Sub RX"));
    m_mainLabel->setText(tr("Main RX"));
    m_rbMain->setText(tr("Main RX"));
    m_rbSub->setText(tr("Sub RX"));
    m_rbBoth->setText(tr("Main+Sub RX"));
    m_consoleBtn->setText(tr("Console"));
    m_pttButton->setText(tr("PTT"));
    m_pttButton->setToolTip(tr("PTT button for SSB\nHot key:") + QLatin1Char(' ') +
                            Settings::instance()->value(Settings::HotKeyPTT).toString());
    const QString receiver = m_actMainRx && m_actMainRx->isChecked()  ? tr("Main RX")
                             : m_actSubRx && m_actSubRx->isChecked() ? tr("Sub RX")
                                                                      : tr("Main RX");
    setRxLabels(receiver);
    if (m_actOpen) {
        m_actOpen->setText(tr("Open window"));
        m_actTone->setText(tr("Transmit 1kHz tone"));
        m_actSettings->setText(tr("Settings"));
        m_actHome->setText(tr("Home"));
        m_actAbout->setText(tr("About"));
        m_actAboutQt->setText(tr("About Qt"));
        m_actQuit->setText(tr("Quit"));
        m_actMainRx->setText(tr("Main RX"));
        m_actSubRx->setText(tr("Sub RX"));
        m_actBothRx->setText(tr("Main+Sub RX"));
    }
    if (m_fileMenu) {
        m_fileMenu->setTitle(tr("File"));
        m_viewMenu->setTitle(tr("View"));
        m_toolsMenu->setTitle(tr("Tools"));
        m_helpMenu->setTitle(tr("Help"));
    }
    if (m_settingsMenu)
        m_settingsMenu->setTitle(tr("Settings"));
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
    m_transmitStyle = common + QStringLiteral("QPushButton:checked { background-color: red; border-style: inset; }");
    m_normalStyle = common + QStringLiteral("QPushButton:checked { background-color: darkgrey; border-style: inset; }"
                                            "QToolTip { border: 2px solid darkkhaki; padding: 5px;"
                                            " border-radius: 3px; opacity: 200; }");
    m_pttButton->setStyleSheet(m_normalStyle);
}

void Window::pttButtonStyle()
{
    const bool transmit = m_ptt->remotePtt() && m_pttButton->isChecked();
    m_pttButton->setStyleSheet(transmit ? m_transmitStyle : m_normalStyle);
}

void Window::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
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
                              tr("Your system does not have Virtual Serial Port.\n") +
                                  tr("Please reinstall your software."),
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
        stopKeying();
        openPorts(m_prefs->serialPorts());
        if (m_client->isConnected())
            startKeying();
        applyRigControl();
        break;
    case AbstractTab::Network:
        stopKeying();
        m_engine->stop();
        m_engine->removeStream(paudio::audioAll);
        m_rtp->stop();
        m_reconnect.stop();
        applyNetworkSettings();
        if (m_streams[2].paIndex < 0)
            refreshDescriptors();
        // The box's address is known once its name is looked up.
        m_rtp->startStream(QHostAddress(), m_streamPort, qint32(m_streams[2].params.sampleRate()));
        m_streams[0].data = m_rtp->inputBuffer();
        m_streams[1].data = m_rtp->inputBuffer();
        m_streams[2].data = m_rtp->outputBuffer();
        m_streams[3].data = m_rtp->outputVirtualBuffer();
        rebuildStreams(false);
        connectToBox();
        applyRigControl();
        break;
    case AbstractTab::Audio:
        m_engine->stop();
        m_engine->removeStream(paudio::audioAll);
        rebuildStreams(true);
        break;
    case AbstractTab::General:
        setAutoRun(m_prefs->languageTab()->autoRun());
        emit switchLanguage(m_prefs->languageTab()->language());
        break;
    }
}

void Window::refreshDescriptors()
{
    const int rate = m_prefs->sampleRate() > 0 ? m_prefs->sampleRate() : 12000;
    const int devices[4] = {m_prefs->audioInput(), m_prefs->virtualInput(), m_prefs->audioOutput(),
                            m_prefs->virtualOutput()};
    // [Audio] LongSoundBuffers=true: 100 ms device buffers for sound systems
    // that cannot keep up with 20 ms ones.
    const bool longBuffers = Settings::instance()->value(Settings::LongSoundBuffers, Settings::Audio).toBool();
    for (int i = 0; i < 4; ++i) {
        paudio::StreamDescriptor &d = m_streams[i];
        d.paIndex = devices[i];
        d.params.setDevice(devices[i]);
        d.params.setSampleRate(rate);
        const bool shortBuffers = paudio::shortBuffers(d.kind, longBuffers);
        d.params.setFramesPerBuffer(paudio::framesPerBuffer(rate, !shortBuffers));
        d.params.setSuggestedLatency(paudio::suggestedLatency(!shortBuffers));
        d.params.setChannels(d.kind == paudio::audioOut || d.kind == paudio::audioOutVirtual ? 2 : 1);
    }
    m_rtp->setBufferedTime(m_prefs->rxBuffering());
    // The monitor follows the main output's format.
    m_selfControl->setFormat(rate, 2, m_streams[2].params.framesPerBuffer(), 100);
    m_selfControl->setToneFrequency(900);
}

void Window::rebuildStreams(bool descriptorsFromTab)
{
    if (descriptorsFromTab)
        refreshDescriptors();
    // Before the first network apply the streams have no data device: they play silence.
    m_engine->addStream(m_streams[0], nullptr);
    m_engine->addStream(m_streams[1], nullptr);
    m_engine->addStream(m_streams[2], m_selfControl);
    m_engine->addStream(m_streams[3], nullptr);
    m_engine->launch();
    selectActiveInput();
}

void Window::selectActiveInput()
{
    m_engine->setInput(m_ptt->remotePtt() ? paudio::audioIn : paudio::audioInVirtual);
}

void Window::applyNetworkSettings()
{
    m_boxName = m_prefs->networkAddress().trimmed();
    m_cmdPort = quint16(m_prefs->cmdPort());
    m_streamPort = quint16(m_prefs->rtpPort());
    m_pttCwPort = quint16(m_prefs->pttCwPort());
    m_auth->setPassword(m_prefs->networkPassword());
    m_audioPacket->setTxBuffer(m_prefs->txBufferingSteps());
    m_transmitTimeoutMs = m_prefs->txTimeout() * 1000;
    m_cw->setTxTimeout(m_transmitTimeoutMs);
    // A new address starts a new series of attempts.
    m_policy.reset();
}

void Window::connectToBox()
{
    m_reconnect.stop();
    m_lookup->abort();
    const QHostAddress literal(m_boxName);
    if (!literal.isNull()) {
        useBoxAddress(literal);
        return;
    }
    // Looked up at every attempt: a dynamic DNS name moves.
    qDebug().noquote() << "Looking up" << m_boxName;
    m_lookup->lookup(m_boxName);
}

void Window::boxLookedUp(int id, const QList<QHostAddress> &addresses, const QString &error)
{
    Q_UNUSED(id)
    // The box speaks IPv4; a name with both kinds (localhost) gives that first.
    if (addresses.isEmpty()) {
        qWarning().noquote() << "Host" << m_boxName << "not found:" << error;
        endAttempt(ReconnectPolicy::Outcome::Unreachable, -1, tr("host not found"));
        return;
    }
    qDebug().noquote() << "Host" << m_boxName << "is" << addresses.first().toString();
    useBoxAddress(addresses.first());
}

void Window::useBoxAddress(const QHostAddress &address)
{
    // One address for the command link, the audio and the keying alike.
    m_client->setServer(address, m_cmdPort);
    m_rtp->setDestination(address, m_streamPort);
    m_cw->setDestination(address, m_pttCwPort);
    m_restarting = m_client->state() != QAbstractSocket::UnconnectedState;
    m_client->connectToServer();
}

void Window::openPorts(const QStringList &names)
{
    static const char *const attachMsg[PortCount] = {
        QT_TR_NOOP("Can't attach to CAT "), QT_TR_NOOP("Can't attach to PTT/CW "), QT_TR_NOOP("Can't attach to FSK "),
        QT_TR_NOOP("Can't attach to RS-485 "), QT_TR_NOOP("Can't attach to winkey ")};
    static const char *const openMsg[PortCount] = {QT_TR_NOOP("Can't open CAT "), QT_TR_NOOP("Can't open PTT/CW "),
                                                   QT_TR_NOOP("Can't open FSK "), QT_TR_NOOP("Can't open RS-485 "),
                                                   QT_TR_NOOP("Can't open Winkey ")};
    auto wanted = [&](int p) { return p < names.size() ? names.at(p) : QStringLiteral("None"); };
    // "Reset all ports" empties the bus behind our ports' backs: one whose
    // name is no longer there is dropped here and made again below, even
    // though the device still carries the name (deletePort keeps it).
    QStringList onBus;
    const int count = VSerial::countVirtualPorts();
    for (int i = 0; i < count; ++i)
        onBus << VSerial::enumVirtualPort(i);
    bool dropped[PortCount] = {};
    for (int p = 0; p < PortCount; ++p) {
        const QString current = m_ports[p]->portName();
        if (current != wanted(p) || (!current.isEmpty() && !onBus.contains(current))) {
            m_ports[p]->close();
            m_ports[p]->deletePort();
            dropped[p] = true;
        }
    }
    // Port name -> where it is published, for the ports in place afterwards.
    QMap<QString, QString> published;
    for (int p = 0; p < PortCount; ++p) {
        const QString name = wanted(p);
        if (name == QLatin1String("None") || name.isEmpty())
            continue;
        if (dropped[p] || m_ports[p]->portName() != name) {
            if (!m_ports[p]->createPort(name) && !m_ports[p]->attachPort(name)) {
                QMessageBox::warning(this, tr("Warning"), tr(attachMsg[p]) + name);
                continue;
            }
        }
        const QString canonical = VSPortBus::canonicalName(name);
        if (!canonical.isEmpty())
            published.insert(canonical, VSPortBus::directory() + QLatin1Char('/') + canonical);
        if (m_ports[p]->isOpen())
            continue;
        const QIODevice::OpenMode mode = p == PttCw ? QIODevice::ReadOnly : QIODevice::ReadWrite;
        if (!m_ports[p]->open(mode))
            QMessageBox::warning(this, tr("Warning"), tr(openMsg[p]) + name);
    }

    // Windows programs under Wine see the published ports as comN. The links
    // follow the ports and go with this window (the owner is its child).
    auto *wine = findChild<WineLinks *>(QString(), Qt::FindDirectChildrenOnly);
    if (!wine)
        wine = new WineLinks(this);
    if (!m_prefs->serialTab()->wineLinks())
        published.clear();
    wine->update(WineLinks::defaultPrefix(), published);
}

void Window::startKeying()
{
    const bool winkeyOpen = m_ports[Winkey]->isOpen();
    m_cw->startKeying(m_ports[PttCw], winkeyOpen ? m_winKey : nullptr);
    if (winkeyOpen)
        m_winKey->start();
}

void Window::stopKeying()
{
    m_cw->stopKeying();
    m_winKey->stop();
}

void Window::connectedClient()
{
    m_rtp->setTransmitMode(m_ptt->remotePtt());
    selectActiveInput();
    startKeying();
    m_pttButton->setEnabled(true);
    m_trxGroup->setEnabled(true);
    m_txMeter->setEnabled(true);
    updateIndicators();
    m_indicatorTimer.start(kIndicatorMs);
    m_connectedSince.start();
    m_healthyTimer.start(ReconnectPolicy::kHealthyMs);
    if (!m_outage || m_policy.failures() == 0) {
        m_outage = false;
        emit connected(true, m_client->serverAddress());
    } else {
        emit connectionState(true, m_client->serverAddress());
        m_stableTimer.start(ReconnectPolicy::kEarlyDropMs);
    }
}

void Window::reasonConnectionReset(ErrorsPacket::ConnectionError err)
{
    m_resetReason = err;
}

int Window::reconnectDelay() const
{
    return m_reconnect.isActive() ? m_reconnect.remainingTime() : -1;
}

void Window::disconnectedClient()
{
    qDebug() << "disconnected";
    m_pttButton->setEnabled(false);
    releaseButtonPtt();
    m_ptt->setPTT(false);
    m_linePtt = false;
    m_trxGroup->setEnabled(false);
    m_txMeter->setEnabled(false);
    m_engine->setInput(paudio::AudioType(0));
    m_rtp->setTransmitMode(true);
    stopKeying();
    // The next session keys only once its own permission frame allows it.
    m_cw->setPttSendState(false);
    m_indicatorTimer.stop();
    updateIndicators();

    qint64 connectedMs = m_connectedSince.isValid() ? m_connectedSince.elapsed() : -1;
    if (m_restarting) {
        // Our own restart of a working link: back at once, not a failure.
        m_restarting = false;
        connectedMs = qMax<qint64>(connectedMs, ReconnectPolicy::kEarlyDropMs);
    }
    m_connectedSince.invalidate();
    m_healthyTimer.stop();
    m_stableTimer.stop();

    const ErrorsPacket::ConnectionError reason = m_resetReason;
    m_resetReason = ErrorsPacket::NoError;
    switch (reason) {
    case ErrorsPacket::MultipleConnection:
        endAttempt(ReconnectPolicy::Outcome::SecondClient, connectedMs, QString(),
                   tr("Another application has already connected."));
        return;
    case ErrorsPacket::WrongPassword:
        endAttempt(ReconnectPolicy::Outcome::WrongPassword, connectedMs, tr("wrong password"));
        return;
    default:
        break;
    }
    const QAbstractSocket::SocketError err = m_client->lastError();
    if (err == QAbstractSocket::HostNotFoundError || err == QAbstractSocket::NetworkError) {
        endAttempt(ReconnectPolicy::Outcome::Unreachable, connectedMs, QString());
        return;
    }
    if (!m_permForm->isEmpty() && !m_permForm->isWorkTimer()) {
        // A pause is running: its end connects again.
        const bool announce = !m_outage;
        m_outage = true;
        if (announce)
            emit connected(false, QString());
        else
            emit connectionState(false, QString());
        return;
    }
    m_permForm->stop();
    endAttempt(connectedMs < 0 ? ReconnectPolicy::Outcome::Unreachable : ReconnectPolicy::Outcome::Dropped,
               connectedMs, QString());
}

void Window::endAttempt(ReconnectPolicy::Outcome outcome, qint64 connectedMs, const QString &reason,
                        const QString &trayText)
{
    const ReconnectPolicy::Decision d = m_policy.next(outcome, connectedMs);
    const bool announce = !m_outage;
    m_outage = true;
    if (announce) {
        emit connected(false, reason);
        if (!trayText.isEmpty())
            emit sendTrayMessage(trayText);
    } else {
        emit connectionState(false, reason);
    }
    if (d.delayMs == 0) {
        qDebug() << "Connecting again at once";
        // From the event loop: the connection is still unwinding its own signal.
        QMetaObject::invokeMethod(this, &Window::connectToBox, Qt::QueuedConnection);
        return;
    }
    qDebug().noquote() << QStringLiteral("Next connection attempt in %1 s").arg(d.delayMs / 1000.0);
    m_reconnect.start(d.delayMs);
}

void Window::timeoutReconect()
{
    connectToBox();
}

bool Window::pttPermitted() const
{
    return m_permission->flags() & Permission::PttFsk;
}

void Window::setTone(bool on)
{
    m_engine->enableTone(on);
}

void Window::releaseButtonPtt()
{
    m_transmitTimer.stop();
    m_rigPtt = false;
    m_pttButton->setChecked(false);
    if (m_actTone->isChecked())
        m_actTone->setChecked(false);
    setTone(false);
    m_cw->setPttState(false);
    // The PTT/CW port's lines keep their own say, when permitted.
    m_ptt->setPTT(m_linePtt && pttPermitted());
    pttButtonStyle();
}

void Window::startTransmitTimer()
{
    if (m_transmitTimeoutMs > 0)
        m_transmitTimer.start(m_transmitTimeoutMs);
}

void Window::clickPTT()
{
    if (!pttPermitted()) {
        if (m_pttButton->isChecked())
            emit sendTrayMessage(tr("Not enough permission\nfor using PTT."));
        releaseButtonPtt();
        return;
    }
    if (m_ports[PttCw]->isOpened()) {
        // A program holds the PTT/CW port: its lines key, not the button.
        releaseButtonPtt();
        m_engine->setInput(paudio::audioInVirtual);
        return;
    }
    if (!m_pttButton->isChecked()) {
        releaseButtonPtt();
        return;
    }
    m_cw->setPttState(true);
    m_ptt->setPTT(true);
    if (!m_transmitTimer.isActive())
        startTransmitTimer();
    pttButtonStyle();
}

void Window::transmitTimedOut()
{
    if (!m_pttButton->isChecked())
        return;
    const int seconds = m_transmitTimeoutMs / 1000;
    qWarning().noquote() << QStringLiteral("Transmit time-out: PTT released after %1 s").arg(seconds);
    releaseButtonPtt();
    emit sendTrayMessage(tr("Transmit time-out: PTT released after %1 s").arg(seconds));
}

void Window::linePttTimedOut(int source)
{
    const QString from = source == PttCwSerial::WinKeyPtt ? QStringLiteral("WinKey") : QStringLiteral("PTT/CW port");
    const int seconds = m_transmitTimeoutMs / 1000;
    qWarning().noquote() << QStringLiteral("Transmit time-out: PTT from the %1 released after %2 s").arg(from).arg(seconds);
    emit sendTrayMessage(tr("Transmit time-out: PTT released after %1 s").arg(seconds));
}

void Window::changeRTSforPTT(bool state)
{
    m_linePtt = state;
    if (!m_pttButton->isChecked())
        m_ptt->setPTT(state && pttPermitted());
}

void Window::hotKey(int id)
{
    if (id != 1 || !m_pttButton->isEnabled())
        return;
    // The same request as the button, with the same refusals and release.
    const bool on = !m_pttButton->isChecked();
    m_pttButton->setChecked(on);
    clickPTT();
    if (on && m_pttButton->isChecked())
        m_engine->setInput(paudio::audioIn);
}

void Window::changePTT()
{
    const bool remote = m_ptt->remotePtt();
    if (m_pttButton->isChecked() && remote) {
        // A radio program's transmission takes its audio from the virtual card.
        m_engine->setInput(m_rigPtt ? paudio::audioInVirtual : paudio::audioIn);
        m_pttButton->setStyleSheet(m_transmitStyle);
    } else {
        m_engine->setInput(paudio::audioInVirtual);
        m_pttButton->setStyleSheet(m_normalStyle);
    }
    m_rtp->setTransmitMode(remote);
    emit pttChanged(remote);
    updateIndicators();
}

void Window::setupRigControl()
{
    m_rigServer = new RigServer(this);
    m_rigServer->setPttControl([this](bool on) { return rigSetPtt(on); }, [this] { return m_ptt->remotePtt(); });
}

void Window::applyRigControl()
{
    NetworkTab *tab = m_prefs->networkTab();
    RigServer::Config c;
    c.enabled = tab->rigEnabled();
    c.port = quint16(tab->rigPort());
    c.remote = tab->rigRemote();
    c.rig.model = tab->rigModel();
    c.rig.pttByCat = tab->rigPttByCat();
    // The radio is reached through our own CAT port, as any local program would.
    const QString canonical = VSPortBus::canonicalName(m_prefs->serialPorts().value(Cat));
    if (!canonical.isEmpty())
        c.rig.path = VSPortBus::directory() + QLatin1Char('/') + canonical;
    if (c == m_rigServer->config() && (m_rigServer->isListening() || !c.enabled))
        return;
    m_rigServer->start(c);
}

int Window::rigSetPtt(bool on)
{
    if (!on) {
        if (m_rigPtt) {
            m_pttButton->setChecked(false);
            clickPTT();
        }
        return RigProtocol::Ok;
    }
    if (!m_pttButton->isEnabled())
        return RigProtocol::EIo; // no link to the box
    m_pttButton->setChecked(true);
    clickPTT();
    if (!m_pttButton->isChecked())
        return RigProtocol::ERjcted; // no permission, or a program holds the PTT/CW port
    m_rigPtt = true;
    return RigProtocol::Ok;
}

void Window::changeTone()
{
    const bool on = m_actTone->isChecked();
    setTone(on);
    m_pttButton->setChecked(on);
    clickPTT();
}

void Window::setSliderQuietly(QSlider *slider, int value)
{
    const QSignalBlocker block(slider);
    slider->setValue(value);
}

void Window::changeInputLevelL(int value)
{
    m_inTextL->setText(LevelCodes::text(value));
    emit changeInLevelL(quint32(value));
}

void Window::changeInputLevelR(int value)
{
    m_inTextR->setText(LevelCodes::text(value));
    emit changeInLevelR(quint32(value));
}

void Window::changeOutputLevel(int value)
{
    const int code = LevelCodes::kMaxCode - value;
    m_outText->setText(LevelCodes::text(code));
    m_txMeter->setAmplifierKoef(LevelCodes::decibels(code));
    emit changeOutLevel(quint32(code));
}

void Window::setInLevelL(quint32 code)
{
    setSliderQuietly(m_inSliderL, int(code));
    m_inTextL->setText(LevelCodes::text(int(code)));
}

void Window::setInLevelR(quint32 code)
{
    setSliderQuietly(m_inSliderR, int(code));
    m_inTextR->setText(LevelCodes::text(int(code)));
}

void Window::setOutLevel(quint32 code)
{
    setSliderQuietly(m_outSlider, LevelCodes::kMaxCode - int(code));
    m_outText->setText(LevelCodes::text(int(code)));
    m_txMeter->setAmplifierKoef(LevelCodes::decibels(int(code)));
}

QString Window::outputLevelText() const { return m_outText->text(); }
QString Window::inputLevelTextL() const { return m_inTextL->text(); }
QString Window::inputLevelTextR() const { return m_inTextR->text(); }

void Window::changeLevel()
{
    const QVector<int> lv = m_engine->levels();
    if (lv.size() < 3)
        return;
    changeLevel(paudio::audioIn, 0, lv.at(0));
    changeLevel(paudio::audioOut, 0, lv.at(1));
    changeLevel(paudio::audioOut, 1, lv.at(2));
}

void Window::changeLevel(paudio::AudioType type, quint32 chan, int level)
{
    if (type == paudio::audioIn) {
        const int shown = m_ptt->remotePtt() ? level : 1;
        m_micLevel->setValue(0, shown);
        m_micLevel->setValue(1, shown);
        m_txMeter->setLevel(shown);
    } else if (type == paudio::audioOut) {
        m_rxLevels->setValue(int(chan), level);
    }
}

QVector<quint8> Window::indicatorStates() const
{
    QVector<quint8> states(6, 0);
    if (!m_client->isConnected())
        return states;
    auto flag = [](bool on) { return quint8(on ? 1 : 2); };
    states[0] = 1;
    states[1] = flag(m_serials[Fsk]->takeActivity());
    states[2] = flag(m_serials[Cat]->takeActivity());
    states[3] = flag(m_ptt->remotePtt());
    states[4] = flag(m_cw->hasSampler() && m_cw->takeCwActivity());
    states[5] = flag(m_winKey->takeActivity());
    return states;
}

void Window::updateIndicators()
{
    emit changeStatusIndicators(indicatorStates());
}

void Window::setRxLabels(const QString &receiver)
{
    m_headL->setText(tr("Headphone L") + QStringLiteral(" - ") + receiver);
    m_headR->setText(tr("Headphone R") + QStringLiteral(" - ") +
                     (m_actBothRx && m_actBothRx->isChecked() ? tr("Sub RX") : receiver));
}

void Window::setRxWidgets(bool mainOn, bool subOn)
{
    m_inSliderL->setEnabled(mainOn);
    m_inTextL->setEnabled(mainOn);
    m_mainLabel->setEnabled(mainOn);
    m_inSliderR->setEnabled(subOn);
    m_inTextR->setEnabled(subOn);
    m_subLabel->setEnabled(subOn);
}

void Window::mainRx()
{
    if (m_trxGroup->isChecked())
        setRxWidgets(true, false);
    setRxLabels(tr("Main RX"));
    m_rbMain->setChecked(true);
    useOutputMode(paudio::MainRx);
}

void Window::subRx()
{
    if (m_trxGroup->isChecked())
        setRxWidgets(false, true);
    setRxLabels(tr("Sub RX"));
    m_rbSub->setChecked(true);
    useOutputMode(paudio::SubRx);
}

void Window::bothRx()
{
    if (m_trxGroup->isChecked())
        setRxWidgets(true, true);
    setRxLabels(tr("Main RX"));
    m_rbBoth->setChecked(true);
    useOutputMode(paudio::Stereo);
}

namespace {
// Absent or unreadable means Main RX, which suits radios with one receiver.
paudio::OutputMode storedOutputMode()
{
    bool ok = false;
    const int stored = Settings::instance()->value(Settings::OutputMode, Settings::Audio).toInt(&ok);
    return ok && stored >= paudio::MainRx && stored <= paudio::Stereo ? paudio::OutputMode(stored) : paudio::MainRx;
}
} // namespace

void Window::restoreOutputMode()
{
    const paudio::OutputMode mode = storedOutputMode();
    if (mode == paudio::SubRx) {
        m_actSubRx->setChecked(true);
        subRx();
    } else if (mode == paudio::Stereo) {
        m_actBothRx->setChecked(true);
        bothRx();
    } else {
        m_actMainRx->setChecked(true);
        mainRx();
    }
}

// The engine keeps the mode for the streams every apply creates anew.
void Window::useOutputMode(paudio::OutputMode mode)
{
    m_engine->setOutputMode(mode);
    if (storedOutputMode() != mode)
        Settings::instance()->setValue(Settings::OutputMode, Settings::Audio, int(mode));
}

void Window::changeRB(QAbstractButton *button)
{
    if (button == m_rbMain) {
        m_actMainRx->setChecked(true);
        emit setOutputMode(paudio::MainRx);
        mainRx();
    } else if (button == m_rbSub) {
        m_actSubRx->setChecked(true);
        emit setOutputMode(paudio::SubRx);
        subRx();
    } else {
        m_actBothRx->setChecked(true);
        emit setOutputMode(paudio::Stereo);
        bothRx();
    }
}

void Window::checkTransiver(bool state)
{
    Settings::instance()->setValue(Settings::TransceiverLvls, Settings::Transceiver, state);
    if (state)
        setRxWidgets(!m_actSubRx->isChecked(), !m_actMainRx->isChecked());
}

void Window::enableTransiver(bool group, bool qMain, bool sub)
{
    if (group)
        setRxWidgets(qMain, sub);
}

void Window::setAutoRun(bool state)
{
    if (!AutoStart::set(QCoreApplication::applicationName(), QCoreApplication::applicationFilePath(), state))
        qWarning() << "Cannot change the start with the session";
}

void Window::audioDeviceChanged()
{
    m_engine->stop();
    m_engine->removeStream(paudio::audioAll);
    settingsChanged(AbstractTab::Audio);
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
    box.setText(QCoreApplication::applicationName() + tr(" version ") + QCoreApplication::applicationVersion() +
                QLatin1Char('\n') + tr("Author: ") + QCoreApplication::organizationName() + QLatin1Char('\n') +
                tr("Home page: ") + QCoreApplication::organizationDomain());
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
        setTone(false);
        m_actTone->setChecked(false);
        m_pttButton->setChecked(false);
        clickPTT();
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

void Window::permParamsChanged()
{
    const quint32 work = m_permission->workTime();
    const quint32 pause = m_permission->pauseTime();
    const quint8 flags = m_permission->flags();
    m_permForm->stop();
    m_permForm->setAddrPass(m_client->serverAddress(), m_auth->password());
    m_permForm->setTimers(work, pause);

    if (!(flags & Permission::Access)) {
        qWarning() << "The Brelko grants no access";
        releaseButtonPtt();
        m_cw->setPttSendState(false);
        if (m_client->isConnected())
            m_client->disconnectFromServer();
        return;
    }
    QString text;
    if (flags & Permission::PttFsk) {
        text = tr("PTT");
        m_cw->setPttSendState(true);
        m_serials[Fsk]->setPermitted(true);
    } else {
        // Withdrawn mid-session: nothing may stay keyed.
        releaseButtonPtt();
        m_ptt->setPTT(false);
        m_cw->setPttSendState(false);
        m_serials[Fsk]->setPermitted(false);
    }
    const bool cat = flags & Permission::CatRs485;
    if (cat) {
        if (!text.isEmpty())
            text += QLatin1Char(',');
        text += tr(" CAT");
    }
    m_serials[Cat]->setPermitted(cat);
    m_serials[Rs485]->setPermitted(cat);
    const bool tx = flags & Permission::TxLevel;
    if (tx) {
        if (!text.isEmpty())
            text += QLatin1Char(',');
        text += tr(" TX audio level");
    }
    m_outSlider->setEnabled(tx);
    m_permForm->setPermissionText(text);

    if ((flags & Permission::Unrestricted) == Permission::Unrestricted) {
        m_permForm->clear();
        m_permForm->hide();
    } else {
        m_permForm->start();
        m_permForm->show();
    }
    if (m_client->isConnected() && !m_permForm->isWorkTimer())
        m_client->disconnectFromServer();
}

void Window::permTimerCompleted()
{
    if (!m_permForm->isWorkTimer()) {
        qDebug() << "Need disconnected";
        m_client->disconnectFromServer();
    } else {
        qDebug() << "Need connected";
        connectToBox();
    }
}

void Window::checkFwVersion(quint32 ver, quint32 subver, quint32 pointver)
{
    m_fwCheck->checkFwVersion(ver, subver, pointver);
}
