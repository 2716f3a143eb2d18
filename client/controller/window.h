#pragma once

#include "client/prefs/abstracttab.h"
#include "client/link/errorspacket.h"
#include "client/audio/paudio.h"
#include "client/link/reconnectpolicy.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

class AudioPacket;
class AudioRouting;
class AudioThread;
class Authorization;
class ClientRIF;
class Console;
class CwThread;
class FirmwareCheck;
class FwVersionDialog;
class FwVersionPacket;
class HostLookup;
class PTT;
class PacketMngr;
class Permission;
class PermissionForm;
class Preferences;
class QAbstractButton;
class QAction;
class QActionGroup;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolBar;
class RemoteInd;
class RigServer;
class RtpThread;
class Serial;
class StereoLevel;
class VSerial;
class WinKey;

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
    void fillMenuBar(QMenuBar *bar);
    void fillToolBar(QToolBar *bar);
    void fillTrayMenu(QMenu *menu);
    QAction *settingsAction() const { return m_actSettings; }
    QAction *openAction() const { return m_actOpen; }
    QAction *toneAction() const { return m_actTone; }
    QAction *quitAction() const { return m_actQuit; }

    // For the main window and tests.
    ClientRIF *connection() const { return m_client; }
    Preferences *preferences() const { return m_prefs; }
    Console *console() const { return m_console; }
    PermissionForm *permissionForm() const { return m_permForm; }
    QPushButton *pttButton() const { return m_pttButton; }
    VSerial *port(Port p) const { return m_ports[p]; }
    PTT *pttPacket() const { return m_ptt; }
    Permission *permission() const { return m_permission; }
    Serial *serialHandler(Port p) const;
    AudioPacket *audioPacket() const { return m_audioPacket; }
    CwThread *keying() const { return m_cw; }
    RtpThread *streaming() const;
    AudioThread *engine() const;
    AudioRouting *audio() const { return m_audio; }
    QSlider *outputSlider() const { return m_outSlider; }
    QSlider *inputSliderL() const { return m_inSliderL; }
    QSlider *inputSliderR() const { return m_inSliderR; }
    QString outputLevelText() const;
    QString inputLevelTextL() const;
    QString inputLevelTextR() const;
    int reconnectDelay() const;
    bool isReconnectPending() const { return m_reconnect.isActive(); }
    QVector<quint8> indicatorStates() const;
    RigServer *rigServer() const { return m_rigServer; }

    // PTT asked for by a radio program through the rig control server: the
    // button's rules apply. 0, or a negative Hamlib error when refused.
    int rigSetPtt(bool on);

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
    void clickPTT();
    void changeLevel(paudio::AudioType type, quint32 chan, int level);
    void changeLevel();
    void adjustConsoleBtn(bool state);
    void retranslateUi();
    void hotKey(int id);
    void settingsChanged(AbstractTab::Tab tab);
    void setButtonStyle();
    void mainRx();
    void subRx();
    void bothRx();
    void setInLevelL(quint32 code);
    void setInLevelR(quint32 code);
    void setOutLevel(quint32 code);
    void setAutoRun(bool state);
    void changePTT();
    void changeRTSforPTT(bool state);
    void disconnectedClient();
    void connectedClient();
    void timeoutReconect();
    void reasonConnectionReset(ErrorsPacket::ConnectionError err);
    void showHideConsole();
    void changeRB(QAbstractButton *button);
    void changeTone();
    void showHelp();
    void goHome();
    void showAbout();
    void showAboutQt();
    void changeOutputLevel(int value);
    void changeInputLevelL(int value);
    void changeInputLevelR(int value);
    void enableTransiver(bool group, bool qMain, bool sub);
    void checkTransiver(bool state);
    void updateIndicators();
    void firstLoadSets();
    void permTimerCompleted();
    void permParamsChanged();
    void audioDeviceChanged();
    void checkFwVersion(quint32 ver, quint32 subver, quint32 pointver);

private slots:
    void connectToBox();
    void boxLookedUp(int id, const QList<QHostAddress> &addresses, const QString &error);
    void transmitTimedOut();
    void linePttTimedOut(int source);

protected:
    void showEvent(QShowEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildUi();
    void createActions();
    void openPorts(const QStringList &names);
    void applyNetworkSettings();
    void startKeying();
    void stopKeying();
    void rebuildStreams(bool refreshDescriptors);
    void refreshDescriptors();
    void selectActiveInput();
    void restoreOutputMode();
    void setTone(bool on);
    void endAttempt(ReconnectPolicy::Outcome outcome, qint64 connectedMs, const QString &reason,
                    const QString &trayText = QString());
    void useBoxAddress(const QHostAddress &address);
    void releaseButtonPtt();
    void startTransmitTimer();
    void pttButtonStyle();
    bool pttPermitted() const;
    void setRxWidgets(bool mainOn, bool subOn);
    void setRxLabels(const QString &receiver);
    void setSliderQuietly(QSlider *slider, int value);
    void setupRigControl();
    void applyRigControl();

    static Window *s_instance;

    ErrorsPacket::ConnectionError m_resetReason = ErrorsPacket::NoError;
    QTimer m_reconnect;
    ReconnectPolicy m_policy;
    QElapsedTimer m_connectedSince;
    // A connection this old ends the back-off.
    QTimer m_healthyTimer;
    // After failed attempts, "connected" is announced once the link has held.
    QTimer m_stableTimer;
    // True from the first disconnection until the link is back for good:
    // one balloon per outage, not one per attempt.
    bool m_outage = false;
    // The link is being restarted on purpose (a settings apply), not lost.
    bool m_restarting = false;
    QString m_boxName;
    quint16 m_cmdPort = 11000;
    QTimer m_transmitTimer;
    int m_transmitTimeoutMs = 0;
    bool m_linePtt = false;
    QTimer m_indicatorTimer;
    QString m_normalStyle;
    QString m_transmitStyle;
    ClientRIF *m_client;
    PacketMngr *m_mngr;
    ErrorsPacket *m_errors;
    PTT *m_ptt;
    Authorization *m_auth;
    Serial *m_serials[4]; // CAT, PTT/CW, FSK, RS-485
    AudioPacket *m_audioPacket;
    Permission *m_permission;
    FwVersionPacket *m_fwVersion;
    FirmwareCheck *m_fwCheck;
    std::unique_ptr<FwVersionDialog> m_fwDialog; // made by the first notice
    HostLookup *m_lookup;
    Preferences *m_prefs;
    VSerial *m_ports[PortCount];
    AudioRouting *m_audio;
    QTimer m_levelTimer;
    quint16 m_streamPort = 11000;
    quint16 m_pttCwPort = 8765;
    Console *m_console;
    QButtonGroup *m_rxGroup;
    QRadioButton *m_rbMain;
    QRadioButton *m_rbSub;
    QRadioButton *m_rbBoth;
    QPushButton *m_consoleBtn;
    WinKey *m_winKey;
    CwThread *m_cw;

    QMenu *m_fileMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_toolsMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QMenu *m_settingsMenu = nullptr;
    QMenu *m_windowMenu = nullptr;
    QMenu *m_toolbarMenu = nullptr;
    QAction *m_actOpen = nullptr;
    QAction *m_actTone = nullptr;
    QAction *m_actSettings = nullptr;
    QAction *m_actHome = nullptr;
    QAction *m_actAbout = nullptr;
    QAction *m_actAboutQt = nullptr;
    QAction *m_actQuit = nullptr;
    QAction *m_actMainRx = nullptr;
    QAction *m_actSubRx = nullptr;
    QAction *m_actBothRx = nullptr;
    QActionGroup *m_rxActions = nullptr;
    bool m_firstShown = false;

    // User interface.
    QLabel *m_headsetTitle;
    QLabel *m_headL;
    QLabel *m_headR;
    QLabel *m_micLabel;
    StereoLevel *m_rxLevels;
    StereoLevel *m_micLevel;
    QGroupBox *m_trxGroup;
    QLabel *m_subLabel;
    QLabel *m_mainLabel;
    QSlider *m_inSliderL;
    QSlider *m_inSliderR;
    QSlider *m_outSlider;
    QLabel *m_inTextL;
    QLabel *m_inTextR;
    QLabel *m_outText;
    RemoteInd *m_txMeter;
    QPushButton *m_pttButton;
    PermissionForm *m_permForm;
    RigServer *m_rigServer = nullptr;
    // The button is held for a radio program, not by the operator.
    bool m_rigPtt = false;
};
