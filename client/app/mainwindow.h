#pragma once

#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QVector>

class GlobalHotKey;
class QLabel;
class QMenu;
class QToolBar;
namespace brelko {
class TranslatorPair;
} // namespace brelko

namespace morvex {

class Window;

// Morvex's top-level window: hosts the station controller, the status
// indicators, the tray icon and the PTT hot key; closing it keeps the
// program running in the tray.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    enum Indicator { Link, Fsk, Cat, Ptt, Cw, Wk, IndicatorCount };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *trayMenu() const { return m_trayMenu; }
    QLabel *indicatorLabel(int i) const { return m_indicators[i].label; }
    quint8 indicatorState(int i) const { return m_indicators[i].state; }
    QString connectionText() const;
    QString trayImage() const { return m_trayImage; }
    QToolBar *toolBar() const { return m_toolBar; }
    QString lastBalloon() const { return m_lastBalloon; }
    int restyleCount() const { return m_restyles; }
    // Registers the PTT hot key from the HotKeyPTT setting; returns the error (0 = ok).
    int registerPttHotKey();
    unsigned hotKeyModifiers() const { return m_hotKeyMods; }
    unsigned hotKeyCode() const { return m_hotKeyCode; }

    // Parses "CTRL+SPACE"-style texts into modifier bits and a key code.
    static bool parseHotKey(const QString &text, unsigned *modifiers, unsigned *key);

public slots:
    void toggleToolbar();
    void trayMessageClicked();
    void showTrayMessage(QString msg);
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void clientConnected(bool connected, QString text);
    // The same without a balloon (further attempts of one outage).
    void showConnectionState(bool connected, const QString &text);
    void switchLanguage(const QString &nativeName);
    void changeStatusIndicators(QVector<quint8> states);
    void changePTT(bool on);
    void fixedSize();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct StatusIndicator
    {
        QLabel *label = nullptr;
        QString active;
        QString present;
        QString inactive;
        quint8 state = 0;
    };

    void setTrayImage(const QString &path);
    void balloon(const QString &text, QSystemTrayIcon::MessageIcon icon);
    void hotKeyPressed(int id);
    void retranslate();

    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    StatusIndicator m_indicators[IndicatorCount];
    QLabel *m_connection = nullptr;
    brelko::TranslatorPair *m_translators = nullptr;
    QToolBar *m_toolBar = nullptr;
    QMenu *m_quitMenu = nullptr;
    QAction *m_openAction = nullptr;
    GlobalHotKey *m_hotKey = nullptr;
    QString m_trayImage;
    // One icon per image for the program's life: a new QIcon each time would
    // fill the pixmap cache with scaled copies on every reconnection.
    QHash<QString, QIcon> m_trayIcons;
    QIcon m_warningIcon;
    QString m_lastBalloon;
    unsigned m_hotKeyMods = 0;
    unsigned m_hotKeyCode = 0;
    int m_restyles = 0;
};

} // namespace morvex
