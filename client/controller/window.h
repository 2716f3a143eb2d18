#pragma once

#include "client/audio/paudio.h"
#include "client/controller/audiorouting.h"
#include "client/controller/stationactions.h"
#include "client/controller/stationsession.h"
#include "client/controller/transceiverlevels.h"
#include "client/link/errorspacket.h"
#include "client/link/permission.h"
#include "client/link/ptt.h"
#include "client/prefs/abstracttab.h"
#include "client/prefs/preferences.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QLabel;
class QMenu;
class QMenuBar;
class QSlider;
class QToolBar;

namespace morvex {

class AudioPacket;
class AudioThread;
class ClientRIF;
class Console;
class CwThread;
class FwVersionDialog;
class HeadsetPanel;
class PermissionForm;
class RemoteInd;
class RigServer;
class RtpThread;
class Serial;
class StereoLevel;
class VSerial;

// The station controller: owns everything that talks to the Brelko, applies
// the settings, connects and reconnects, and turns the operator's controls
// into packets and engine calls.
class Window final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Window)

public:
    enum Port { Cat, PttCw, Fsk, Rs485, Winkey, PortCount };
    static constexpr int kReconnectDelayMs = 10000;
    static constexpr int kIndicatorMs = 500;
    static constexpr int kLevelMs = 50;

    explicit Window(QWidget *parent = nullptr);
    ~Window() override;

    static Window *instance() { return s_instance; }

    // Menus, tool bar and tray entries of the main window.
    void fillMenuBar(QMenuBar *bar) { m_actions->fillMenuBar(bar); }
    void fillToolBar(QToolBar *bar) { m_actions->fillToolBar(bar); }
    void fillTrayMenu(QMenu *menu) { m_actions->fillTrayMenu(menu); }
    QAction *settingsAction() const { return m_actions->settings; }
    QAction *openAction() const { return m_actions->open; }
    QAction *toneAction() const { return m_actions->tone; }
    QAction *quitAction() const { return m_actions->quit; }

    // For the main window and tests.
    StationSession *session() const { return m_session; }
    ClientRIF *connection() const { return m_session->connection(); }
    Preferences *preferences() const { return m_prefs; }
    Console *console() const { return m_console; }
    PermissionForm *permissionForm() const { return m_permForm; }
    QPushButton *pttButton() const { return m_pttButton; }
    VSerial *port(Port p) const { return m_session->port(StationSession::Port(p)); }
    PTT *pttPacket() const { return m_session->pttPacket(); }
    Permission *permission() const { return m_session->permission(); }
    Serial *serialHandler(Port p) const { return m_session->serialHandler(StationSession::Port(p)); }
    AudioPacket *audioPacket() const { return m_session->audioPacket(); }
    CwThread *keying() const { return m_session->keying(); }
    RtpThread *streaming() const { return m_audio->streaming(); }
    AudioThread *engine() const { return m_audio->engine(); }
    AudioRouting *audio() const { return m_audio; }
    QSlider *outputSlider() const { return m_trx->outputSlider(); }
    QSlider *inputSliderL() const { return m_trx->inputSliderL(); }
    QSlider *inputSliderR() const { return m_trx->inputSliderR(); }
    QString outputLevelText() const { return m_trx->outputText(); }
    QString inputLevelTextL() const { return m_trx->inputTextL(); }
    QString inputLevelTextR() const { return m_trx->inputTextR(); }
    int reconnectDelay() const { return m_session->reconnectDelay(); }
    bool isReconnectPending() const { return m_session->isReconnectPending(); }
    QVector<quint8> indicatorStates() const { return m_session->indicatorStates(); }
    RigServer *rigServer() const { return m_session->rigServer(); }

    // PTT asked for by a radio program through the rig control server: the
    // button's rules apply. 0, or a negative Hamlib error when refused.
    int rigSetPtt(bool on) { return m_session->rigSetPtt(on); }

signals:
    void setOutputMode(paudio::OutputMode mode);
    void statusMessage(const QString &msg, int timeout);
    void statusMessage(const QString &msg);
    void toggleToolbar();
    void connected(bool state, QString msg);
    void switchLanguage(const QString &nativeName);
    void changeStatusIndicators(QVector<quint8> states);
    void sendTrayMessage(QString msg);
    // The connection state without a balloon: attempts within an outage.
    void connectionState(bool state, QString msg);
    void pttChanged(bool on);
    void changeOutLevel(quint32 code);
    void changeInLevelL(quint32 code);
    void changeInLevelR(quint32 code);
    void firstLoad();
    void fixMainWndSize();

public slots:
    void clickPTT() { m_session->requestPtt(m_pttButton->isChecked()); }
    void changeLevel(paudio::AudioType type, quint32 chan, int level);
    void changeLevel();
    void adjustConsoleBtn(bool state);
    void retranslateUi();
    void hotKey(int id);
    void settingsChanged(AbstractTab::Tab tab);
    void setButtonStyle();
    void mainRx() { selectReceiver(paudio::MainRx); }
    void subRx() { selectReceiver(paudio::SubRx); }
    void bothRx() { selectReceiver(paudio::Stereo); }
    void setInLevelL(quint32 code) { m_trx->setInLevelL(code); }
    void setInLevelR(quint32 code) { m_trx->setInLevelR(code); }
    void setOutLevel(quint32 code) { m_trx->setOutLevel(code); }
    void setAutoRun(bool state);
    void changePTT();
    void changeRTSforPTT(bool state) { m_session->setLinePtt(state); }
    void disconnectedClient() { m_session->disconnectedClient(); }
    void connectedClient() { m_session->connectedClient(); }
    void timeoutReconect() { m_session->timeoutReconect(); }
    void reasonConnectionReset(ErrorsPacket::ConnectionError err) { m_session->reasonConnectionReset(err); }
    void showHideConsole();
    void changeRB(QAbstractButton *button)
    {
        selectReceiver(button == m_rbMain ? paudio::MainRx
                : button == m_rbSub       ? paudio::SubRx
                                          : paudio::Stereo);
    }
    void changeTone();
    void showHelp();
    void goHome();
    void showAbout();
    void showAboutQt();
    void changeOutputLevel(int value) { m_trx->changeOutputLevel(value); }
    void changeInputLevelL(int value) { m_trx->changeInputLevelL(value); }
    void changeInputLevelR(int value) { m_trx->changeInputLevelR(value); }
    void enableTransiver(bool group, bool qMain, bool sub);
    void checkTransiver(bool state);
    void updateIndicators();
    void firstLoadSets();
    void permTimerCompleted() { m_session->permTimerCompleted(); }
    void permParamsChanged() { m_session->permParamsChanged(); }
    void audioDeviceChanged() { settingsChanged(AbstractTab::Audio); }
    void checkFwVersion(quint32 ver, quint32 subver, quint32 pointver);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildUi();
    void connectActions();
    void applyNetworkSettings() { m_session->applyNetwork(m_prefs->stationConfig()); }
    void rebuildStreams(bool refreshDescriptors);
    void refreshDescriptors() { m_audio->setDevices(m_prefs->audioDevices()); }
    void selectActiveInput() { m_audio->setTransmitting(m_session->pttPacket()->remotePtt()); }
    void restoreOutputMode() { selectReceiver(m_audio->outputMode()); }
    void linkChanged(bool up);
    void pttHeldChanged(bool held);
    void grantChanged(const Permission::Grant &grant, const QString &text);
    void pttButtonStyle();
    void selectReceiver(paudio::OutputMode mode);
    void applyRigControl() { m_session->applyRigControl(m_prefs->rigConfig()); }

    static Window *s_instance;

    QTimer m_indicatorTimer;
    QString m_normalStyle;
    QString m_transmitStyle;
    std::unique_ptr<FwVersionDialog> m_fwDialog; // made by the first notice
    Preferences *m_prefs;
    AudioRouting *m_audio;
    QTimer m_levelTimer;
    Console *m_console;
    QButtonGroup *m_rxGroup;
    QRadioButton *m_rbMain;
    QRadioButton *m_rbSub;
    QRadioButton *m_rbBoth;
    QPushButton *m_consoleBtn;

    StationActions *m_actions;
    bool m_firstShown = false;

    // User interface.
    HeadsetPanel *m_headset;
    TransceiverLevels *m_trx;
    RemoteInd *m_txMeter;
    QPushButton *m_pttButton;
    PermissionForm *m_permForm;
    StationSession *m_session = nullptr;
};

} // namespace morvex
