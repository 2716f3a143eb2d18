#include "client/app/mainwindow.h"
#include "client/audio/audiothread.h"
#include "client/audio/paudioabstract.h"
#include "client/controller/levelcodes.h"
#include "client/controller/window.h"
#include "client/link/audiopacket.h"
#include "client/link/clientrif.h"
#include "client/link/packetheader.h"
#include "client/link/permission.h"
#include "client/link/permissionform.h"
#include "client/link/permitem.h"
#include "client/ports/vserial.h"
#include "client/ports/winkey.h"
#include "client/prefs/networktab.h"
#include "client/prefs/preferences.h"
#include "client/prefs/serialtab.h"
#include "common/brelkoversion.h"
#include "common/languages.h"
#include "common/settings.h"
#include "platform/vsportclient.h"
#include "platform/x11/globalhotkey.h"
#include "tests/support/simprocess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace brelko;
using namespace morvex;

// The main window with the station controller built in this process against
// the simulated box: indicators, PTT, levels, permissions, tray, language,
// screenshots, and a clean exit.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void parseHotKey_data();
    void parseHotKey();
    void hotKeyFromSettings();
    void connectedIndicatorsFromTraffic();
    void portsComeBackAfterResetAll();
    void fskLightFromFskTraffic();
    void wineLinksFollowTheOption();
    void pttButtonFollowsTheBox();
    void pttWithoutPermission();
    void transmitSliderEnds_data();
    void transmitSliderEnds();
    void levelsFromTheBoxAreNotSentBack();
    void permissionFlags();
    void workAndPauseMinutes();
    void disconnectedTextsAndIndicators();
    void indicatorRestyling();
    void closeKeepsRunningInTray();
    void languageSwitch();
    void pttRefusalsReleaseTheTransmitter();
    void winKeyAfterSerialApply();
    void transmitTimeOutOfButtonAndTone();
    void exitReleasesTheTransmitter();

private:
    Window *w() const { return Window::instance(); }
    bool connected() const { return w() && w()->connection()->isConnected(); }
    QList<SimProcess::Frame> framesOfType(int type);
    void grant(int flags, int work = 0, int pause = 0);
    void screenshot(const QString &name);
    QString portPath(const char *name) const { return qEnvironmentVariable("VSPORT_DIR") + "/" + name; }
    // Picks names in the serial tab's lists ("None" for none) and applies them.
    void applySerialPorts(const QStringList &names);
    // Writes to the port at path until the indicator lights; false if it never does.
    bool lightsOnWrite(const char *port, MainWindow::Indicator indicator);

    SimProcess m_sim;
    MainWindow *m_main = nullptr;
    QString m_artifacts;
};

namespace {
constexpr int kWait = 20000;
const char kKeepRunning[]
    = "The program will keep running in the system tray. To terminate the program, choose "
      "Quit in the context menu of the system tray entry.";
} // namespace

void TestMainWindow::initTestCase()
{
    QVERIFY2(m_sim.start({ "--perm-slot", "brelko:0x0F:0:0" }), qPrintable(m_sim.lastError()));
    QCoreApplication::setApplicationName("Morvex");
    QCoreApplication::setOrganizationName("Zentrik Ltd.");
    QCoreApplication::setOrganizationDomain("http://www.zentrik.example");
    QCoreApplication::setApplicationVersion(BRELKO_VERSION);
    qRegisterMetaType<paudio::OutputMode>("paudio::OutputMode");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
    m_artifacts = qEnvironmentVariable("BRELKO_TEST_HOME") + "/artifacts";
    QDir().mkpath(m_artifacts);

    Settings *s = Settings::instance();
    QFile::remove(s->fileName());
    s->setValue(Settings::HotKeyPTT, Settings::General, QString());
    s->setValue(Settings::Language, Settings::General, "English");
    s->setValue(Settings::NetworkAddr, Settings::Network, "127.0.0.1");
    s->setValue(Settings::NetworkPass, Settings::Network, "brelko");
    s->setValue(Settings::NetworkCmdPort, Settings::Network, m_sim.tcpPort());
    s->setValue(Settings::NetworkRtpPort, Settings::Network, m_sim.audioPort());
    s->setValue(Settings::NetworkPttCwPort, Settings::Network, m_sim.keyingPort());
    s->setValue(Settings::Serial_1, Settings::Serial, "COM15");
    s->setValue(Settings::Serial_2, Settings::Serial, "COM16");
    s->setValue(Settings::Serial_5, Settings::Serial, "COM17");
    for (Settings::Key k : { Settings::Serial_3, Settings::Serial_4 })
        s->setValue(k, Settings::Serial, "None");
    s->setValue(Settings::AudioInput, Settings::Audio, "Microphone");
    s->setValue(Settings::AudioOutput, Settings::Audio, "Speakers");
    // A keyer block stored by an earlier run: 30 WPM, neutral timing.
    WinKey::Params block {};
    block[WinKeyDecoder::Speed] = 30;
    block[WinKeyDecoder::DitTime] = 40;
    block[WinKeyDecoder::Weighting] = 50;
    block[WinKeyDecoder::Ratio] = 50;
    s->setValue(Settings::WinKeyParameters, Settings::WinKey, WinKey::blockToText(WinKey::toBlock(block)));
    s->sync();

    // The catalogue looks for <program>_*.qm: give this program the client's German.
    const QString de = translationsPath() + QCoreApplication::applicationName().toLower() + "_de.qm";
    const QString mine
        = translationsPath() + QFileInfo(QCoreApplication::applicationFilePath()).baseName() + "_de.qm";
    QFile::remove(mine);
    QFile::copy(de, mine);
    loadLanguages();
    m_main = new MainWindow;
    m_main->switchLanguage("English");
    m_main->show();
    QTRY_VERIFY_WITH_TIMEOUT(connected(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("loggedin"), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(w()->permission()->flags() == 0x0F, kWait);
}

void TestMainWindow::cleanupTestCase()
{
    QFile::remove(
        translationsPath() + QFileInfo(QCoreApplication::applicationFilePath()).baseName() + "_de.qm");
    delete m_main;
    m_sim.stop();
}

QList<SimProcess::Frame> TestMainWindow::framesOfType(int type)
{
    QList<SimProcess::Frame> out;
    for (const SimProcess::Frame &f : m_sim.frames()) {
        if (f.type == type)
            out << f;
    }
    return out;
}

void TestMainWindow::grant(int flags, int work, int pause)
{
    QVERIFY(m_sim.run(QString("perm %1 %2 %3").arg(flags).arg(work).arg(pause)));
    QTRY_COMPARE_WITH_TIMEOUT(int(w()->permission()->flags()), flags, kWait);
}

void TestMainWindow::screenshot(const QString &name)
{
    QCoreApplication::processEvents();
    const QString path = m_artifacts + "/" + name + ".png";
    QVERIFY(m_main->grab().save(path));
    qInfo() << "screenshot" << path;
}

void TestMainWindow::parseHotKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("mods");
    QTest::addColumn<uint>("key");
    QTest::newRow("ctrl space") << "CTRL+SPACE" << true << uint(GlobalHotKey::ModControl) << 0x20u;
    QTest::newRow("shift f") << "SHIFT+F" << true << uint(GlobalHotKey::ModShift) << uint('F');
    QTest::newRow("space alone") << "SPACE" << true << 0u << 0x20u;
    QTest::newRow("lower case, two modifiers")
        << "alt+ctrl+x" << true << uint(GlobalHotKey::ModAlt | GlobalHotKey::ModControl) << uint('X');
    QTest::newRow("unknown modifier adds nothing") << "HYPER+K" << true << 0u << uint('K');
    QTest::newRow("empty parts skipped") << "+SHIFT++G+" << true << uint(GlobalHotKey::ModShift) << uint('G');
    QTest::newRow("only pluses") << "+++" << false << 0u << 0u;
}

void TestMainWindow::parseHotKey()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(uint, mods);
    QFETCH(uint, key);
    unsigned m = 99, k = 99;
    QCOMPARE(MainWindow::parseHotKey(text, &m, &k), ok);
    if (ok) {
        QCOMPARE(m, mods);
        QCOMPARE(k, key);
    }
}

void TestMainWindow::hotKeyFromSettings()
{
    // Empty at start: Control+Space, written back.
    QCOMPARE(Settings::instance()->value(Settings::HotKeyPTT).toString(), QString("CTRL+SPACE"));
    QCOMPARE(m_main->hotKeyModifiers(), unsigned(GlobalHotKey::ModControl));
    QCOMPARE(m_main->hotKeyCode(), 0x20u);
    QVERIFY(w()->pttButton()->toolTip().endsWith("CTRL+SPACE"));

    Settings::instance()->setValue(Settings::HotKeyPTT, Settings::General, "SHIFT+F");
    const int err = m_main->registerPttHotKey();
    QCOMPARE(m_main->hotKeyModifiers(), unsigned(GlobalHotKey::ModShift));
    QCOMPARE(m_main->hotKeyCode(), unsigned('F'));
    if (QGuiApplication::platformName() == "xcb")
        QCOMPARE(err, 0);
    Settings::instance()->setValue(Settings::HotKeyPTT, Settings::General, "CTRL+SPACE");
    m_main->registerPttHotKey();
}

void TestMainWindow::connectedIndicatorsFromTraffic()
{
    QCOMPARE(m_main->connectionText(), QString("Connected to 127.0.0.1"));
    QCOMPARE(m_main->trayImage(), QString(":/images/tray_link.png"));
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Link), quint8(1), kWait);
    for (int i = MainWindow::Fsk; i < MainWindow::IndicatorCount; ++i)
        QVERIFY2(
            m_main->indicatorState(i) == 1 || m_main->indicatorState(i) == 2, qPrintable(QString::number(i)));

    // A local program writes to the CAT port: the CAT light comes on.
    QVERIFY(QFileInfo::exists(portPath("COM15")));
    const int fd = ::open(qPrintable(portPath("COM15")), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    bool seen = false;
    for (int i = 0; i < 40 && !seen; ++i) {
        QVERIFY(::write(fd, "FA;", 3) == 3);
        seen = QTest::qWaitFor([&] { return m_main->indicatorState(MainWindow::Cat) == 1; }, 600);
    }
    ::close(fd);
    QVERIFY(seen);
    // And goes back to "present" once the traffic stops.
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Cat), quint8(2), kWait);
    screenshot("mainwindow-connected");
}

void TestMainWindow::applySerialPorts(const QStringList &names)
{
    SerialTab *tab = w()->preferences()->serialTab();
    for (int i = 0; i < SerialTab::kPorts; ++i) {
        QComboBox *combo = tab->combo(i);
        int idx = combo->findText(names.at(i));
        if (idx < 0)
            idx = combo->findText("*" + names.at(i));
        QVERIFY2(idx >= 0, qPrintable(names.at(i)));
        combo->setCurrentIndex(idx);
    }
    QCOMPARE(w()->preferences()->serialPorts(), names);
    w()->settingsChanged(AbstractTab::SerialPorts);
}

bool TestMainWindow::lightsOnWrite(const char *port, MainWindow::Indicator indicator)
{
    const int fd = ::open(qPrintable(portPath(port)), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool seen = false;
    for (int i = 0; i < 40 && !seen; ++i) {
        if (::write(fd, "FA;", 3) != 3)
            break;
        seen = QTest::qWaitFor([&] { return m_main->indicatorState(indicator) == 1; }, 600);
    }
    ::close(fd);
    return seen;
}

void TestMainWindow::portsComeBackAfterResetAll()
{
    QVERIFY(connected());
    const QStringList ports = w()->preferences()->serialPorts();
    QCOMPARE(ports, QStringList({ "COM15", "COM16", "None", "None", "COM17" }));
    w()->preferences()->serialTab()->resetAllPorts();
    QVERIFY(!QFileInfo::exists(portPath("COM15")));
    QVERIFY(!QFileInfo::exists(portPath("COM17")));
    QCOMPARE(VSerial::countVirtualPorts(), 0);

    // The same names chosen again: the ports are made anew and carry traffic.
    applySerialPorts(ports);
    QCOMPARE(VSerial::countVirtualPorts(), 3);
    for (const char *name : { "COM15", "COM16", "COM17" })
        QVERIFY2(QFileInfo::exists(portPath(name)), name);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Cat), quint8(2), kWait);
    QVERIFY(lightsOnWrite("COM15", MainWindow::Cat));
}

void TestMainWindow::fskLightFromFskTraffic()
{
    QVERIFY(connected());
    applySerialPorts({ "COM15", "COM16", "COM18", "None", "COM17" });
    QVERIFY(QFileInfo::exists(portPath("COM18")));
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Fsk), quint8(2), kWait);
    // Traffic on the other tunnels leaves the FSK light alone.
    QVERIFY(lightsOnWrite("COM15", MainWindow::Cat));
    QCOMPARE(m_main->indicatorState(MainWindow::Fsk), quint8(2));
    QVERIFY(lightsOnWrite("COM18", MainWindow::Fsk));
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Fsk), quint8(2), kWait);
    applySerialPorts({ "COM15", "COM16", "None", "None", "COM17" });
    QVERIFY(!QFileInfo::exists(portPath("COM18")));
}

void TestMainWindow::wineLinksFollowTheOption()
{
    QTemporaryDir wine;
    QVERIFY(QDir().mkpath(wine.path() + "/dosdevices"));
    qputenv("WINEPREFIX", QFile::encodeName(wine.path()));
    // Someone else's com16 stays as it is.
    {
        QFile foreign(wine.path() + "/dosdevices/com16");
        QVERIFY(foreign.open(QIODevice::WriteOnly));
    }
    const QStringList ports { "COM15", "COM16", "None", "None", "COM17" };
    QCheckBox *box = w()->preferences()->serialTab()->wineBox();
    box->setChecked(true);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("com16 is not ours; left alone, COM16 not linked"));
    applySerialPorts(ports);
    QCOMPARE(QFileInfo(wine.path() + "/dosdevices/com15").symLinkTarget(), portPath("COM15"));
    QCOMPARE(QFileInfo(wine.path() + "/dosdevices/com17").symLinkTarget(), portPath("COM17"));
    QVERIFY(!QFileInfo(wine.path() + "/dosdevices/com16").isSymLink());
    // Through the link a Windows program reaches the real port.
    const int fd = ::open(qPrintable(wine.path() + "/dosdevices/com15"), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    ::close(fd);

    // A port that goes takes its link along; the option off removes the rest.
    applySerialPorts({ "None", "COM16", "None", "None", "COM17" });
    QVERIFY(!QFileInfo(wine.path() + "/dosdevices/com15").isSymLink());
    QVERIFY(QFileInfo(wine.path() + "/dosdevices/com17").isSymLink());
    box->setChecked(false);
    applySerialPorts(ports);
    QVERIFY(!QFileInfo(wine.path() + "/dosdevices/com17").isSymLink());
    QVERIFY(QFileInfo(wine.path() + "/dosdevices/com16").isFile());
    qunsetenv("WINEPREFIX");
}

void TestMainWindow::pttButtonFollowsTheBox()
{
    QPushButton *ptt = w()->pttButton();
    QVERIFY(ptt->isEnabled());
    QVERIFY(m_sim.run("keying clear"));
    ptt->click();
    QVERIFY(ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    // Red only once the box reports transmit.
    QTRY_VERIFY_WITH_TIMEOUT(
        ptt->styleSheet().contains("QPushButton:checked { background-color: red"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->trayImage(), QString(":/images/tray_link_ptt.png"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Ptt), quint8(1), kWait);
    // The keying records carry the button's PTT too.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=1"), kWait);

    // Escape ends a transmission started from the button.
    QTest::keyRelease(w(), Qt::Key_Escape);
    QVERIFY(!ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!ptt->styleSheet().contains("background-color: red"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=0"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->trayImage(), QString(":/images/tray_link.png"), kWait);
}

void TestMainWindow::pttWithoutPermission()
{
    grant(0x0B);
    QVERIFY(m_sim.run("frames clear"));
    QPushButton *ptt = w()->pttButton();
    ptt->click();
    QVERIFY(!ptt->isChecked());
    QCOMPARE(m_main->lastBalloon(), QString("Not enough permission\nfor using PTT."));
    // The hot key is refused the same way.
    w()->hotKey(1);
    QVERIFY(!ptt->isChecked());
    // A batch sent after the refusals carries the PTT state.
    QVERIFY(m_sim.waitForLaterBatch(kWait));
    const QList<SimProcess::Frame> frames = framesOfType(PacketType::Ptt);
    QVERIFY(!frames.isEmpty());
    for (const SimProcess::Frame &f : frames)
        QCOMPARE(f.value, 0u);
    QCOMPARE(m_sim.statusValue("ptt"), 0);
    grant(0x0F);
}

void TestMainWindow::transmitSliderEnds_data()
{
    QTest::addColumn<bool>("top");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("label");
    QTest::newRow("top") << true << 0 << "0.0 dB";
    QTest::newRow("bottom") << false << 118 << "0.0 dB";
    QTest::newRow("middle") << false << 48 << "-24.1 dB";
}

void TestMainWindow::transmitSliderEnds()
{
    QFETCH(bool, top);
    QFETCH(int, code);
    QFETCH(QString, label);
    QSlider *s = w()->outputSlider();
    QVERIFY(s->isEnabled());
    const int value = top ? s->maximum() : (code == 118 ? s->minimum() : 118 - code);
    // Move away first so the wanted value is a change.
    s->setValue(value == 60 ? 61 : 60);
    s->setValue(value);
    QCOMPARE(w()->outputLevelText(), label);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("levels").value(0).contains(QString(" tx=%1").arg(code)), kWait);
}

void TestMainWindow::levelsFromTheBoxAreNotSentBack()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.run("frames clear"), kWait);
    QVERIFY(m_sim.run("levels 10 20 30"));
    QTRY_COMPARE_WITH_TIMEOUT(w()->inputSliderL()->value(), 10, kWait);
    QCOMPARE(w()->inputSliderR()->value(), 20);
    QCOMPARE(w()->outputSlider()->value(), 118 - 30);
    QCOMPARE(w()->inputLevelTextL(), LevelCodes::text(10));
    QCOMPARE(w()->outputLevelText(), LevelCodes::text(30));
    // Whatever the new levels made the client send has arrived by then.
    QVERIFY(m_sim.waitForLaterBatch(kWait));
    for (const SimProcess::Frame &f : framesOfType(PacketType::Audio))
        QVERIFY2(f.length < 4, "levels from the box were sent back");
}

void TestMainWindow::permissionFlags()
{
    grant(0x0F);
    QVERIFY(w()->permissionForm()->isHidden());
    QVERIFY(w()->outputSlider()->isEnabled());
    QVERIFY(connected());

    grant(0x07);
    QVERIFY(!w()->permissionForm()->isHidden());
    QVERIFY(!w()->outputSlider()->isEnabled());
    QVERIFY(connected());

    // No access at all: the client leaves at once, then comes back to a
    // box whose slot grants everything again.
    const int logins = m_sim.events().filter("logged in").size();
    QVERIFY(m_sim.run("perm 0 0 0"));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.events().filter("closed").size() >= 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.events().filter("logged in").size() > logins, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(connected() && w()->permission()->flags() == 0x0F, kWait);
}

void TestMainWindow::workAndPauseMinutes()
{
    QVERIFY(m_sim.run("perm slot brelko:0x03:1:2"));
    grant(0x03, 1, 2);
    PermItem *item = w()->permissionForm()->currentItem();
    QVERIFY(item);
    QVERIFY(item->isWorkTimer());
    QVERIFY(!w()->permissionForm()->isHidden());
    const int opens = m_sim.events().filter("open from").size();

    // The work minute runs out: the client leaves.
    item->timeout();
    QVERIFY(!item->isWorkTimer());
    QTRY_VERIFY_WITH_TIMEOUT(!connected(), kWait);
    // The pause keeps it away: no attempt is started, now or queued, and none
    // is scheduled.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(w()->connection()->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!w()->isReconnectPending());
    QCOMPARE(m_sim.events().filter("open from").size(), opens);
    QCOMPARE(m_main->indicatorState(MainWindow::Link), quint8(0));

    // The pause is over: back at once.
    item->timeout();
    QTRY_VERIFY_WITH_TIMEOUT(connected(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.events().filter("open from").size() > opens, kWait);

    QVERIFY(m_sim.run("perm slot brelko:0x0F:0:0"));
    grant(0x0F);
    QVERIFY(w()->permissionForm()->isHidden());
}

void TestMainWindow::disconnectedTextsAndIndicators()
{
    m_main->clientConnected(false, QString());
    QCOMPARE(m_main->connectionText(), QString("Disconnected"));
    QCOMPARE(m_main->trayImage(), QString(":/images/tray_unlink.png"));
    QCOMPARE(m_main->trayIcon()->toolTip(), QString("Morvex Disconnected"));

    // The real thing: the box refuses the log-in (error 2) and closes; the
    // client stays away for 10 s.
    QVERIFY(m_sim.run("error 2"));
    QVERIFY(m_sim.run("drop"));
    QTRY_COMPARE_WITH_TIMEOUT(m_main->connectionText(), QString("Disconnected: wrong password"), kWait);
    QVERIFY(w()->isReconnectPending());
    // What is left of the 10 s: set just now, so close to all of it.
    QVERIFY2(w()->reconnectDelay() > 8500 && w()->reconnectDelay() <= 10000,
        qPrintable(QString::number(w()->reconnectDelay())));
    for (int i = 0; i < MainWindow::IndicatorCount; ++i)
        QCOMPARE(m_main->indicatorState(i), quint8(0));
    QVERIFY(!w()->pttButton()->isEnabled());
    // The hot key does nothing while disconnected.
    w()->hotKey(1);
    QVERIFY(!w()->pttButton()->isChecked());
    screenshot("mainwindow-disconnected");

    QTRY_VERIFY_WITH_TIMEOUT(connected(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->connectionText(), QString("Connected to 127.0.0.1"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(w()->permission()->flags() == 0x0F, kWait);
}

void TestMainWindow::indicatorRestyling()
{
    QVector<quint8> states(MainWindow::IndicatorCount, 0);
    for (int i = 0; i < MainWindow::IndicatorCount; ++i)
        states[i] = m_main->indicatorState(i);
    const int before = m_main->restyleCount();
    m_main->changeStatusIndicators(states);
    QCOMPARE(m_main->restyleCount(), before);

    states[MainWindow::Wk] = states[MainWindow::Wk] == 2 ? 1 : 2;
    const quint8 wanted = states[MainWindow::Wk];
    // The controller's next update would undo it: keep it from doing so.
    QSignalBlocker block(w());
    m_main->changeStatusIndicators(states);
    QCOMPARE(m_main->restyleCount(), before + 1);
    QLabel *wk = m_main->indicatorLabel(MainWindow::Wk);
    if (wanted == 2)
        QCOMPARE(
            wk->styleSheet(), QString("background-color: palette(window); color: palette(window-text);"));
    else
        QCOMPARE(wk->styleSheet(), QString("background-color: #00ff00; color: palette(window-text);"));
    states[MainWindow::Wk] = 0;
    m_main->changeStatusIndicators(states);
    QCOMPARE(wk->styleSheet(), QString("background-color: palette(window); color: palette(dark);"));
    QCOMPARE(m_main->indicatorLabel(MainWindow::Link)->text(), QString(" LINK "));
}

void TestMainWindow::closeKeepsRunningInTray()
{
    QVERIFY(m_main->isVisible());
    m_main->close();
    QVERIFY(!m_main->isVisible());
    QCOMPARE(m_main->lastBalloon(), QString(kKeepRunning));
    QVERIFY(connected());
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QVERIFY(m_main->trayIcon()->isVisible());
    QAction *open = nullptr;
    for (QAction *a : m_main->trayMenu()->actions()) {
        if (a->text() == "&Open window")
            open = a;
    }
    QVERIFY(open);
    open->trigger();
    QVERIFY(m_main->isVisible());
    m_main->close();
    m_main->iconActivated(QSystemTrayIcon::Trigger);
    QVERIFY(m_main->isVisible());
    m_main->iconActivated(QSystemTrayIcon::Context);
    QVERIFY(connected());
}

void TestMainWindow::languageSwitch()
{
    const QString german = "Deutsch";
    if (languageCode(german) != "de")
        QSKIP("no German translation beside the program");
    m_main->switchLanguage(german);
    QCoreApplication::processEvents();
    m_main->clientConnected(false, QString());
    QCOMPARE(m_main->connectionText(), QString("Getrennt"));
    QCOMPARE(w()->toneAction()->text(), QString("1-kHz-Ton senden"));
    QCOMPARE(w()->outputLevelText().endsWith(" dB"), true);
    screenshot("mainwindow-german");
    m_main->switchLanguage("English");
    QCoreApplication::processEvents();
    QCOMPARE(w()->toneAction()->text(), QString("Transmit 1kHz tone"));
    m_main->clientConnected(true, "127.0.0.1");
}

void TestMainWindow::pttRefusalsReleaseTheTransmitter()
{
    QVERIFY(connected());
    QPushButton *ptt = w()->pttButton();
    auto toneOn = [this] {
        PAudioAbstract *in = w()->engine()->stream(paudio::audioIn);
        PAudioAbstract *virt = w()->engine()->stream(paudio::audioInVirtual);
        return (in && in->isToneEnabled()) || (virt && virt->isToneEnabled());
    };
    ptt->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=1"), kWait);

    // A program opens the PTT/CW port, then the operator lets go.
    const int fd = ::open(qPrintable(portPath("COM16")), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(w()->port(Window::PttCw)->isOpened(), kWait);
    ptt->click();
    QVERIFY(!ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    QCOMPARE(framesOfType(PacketType::Ptt).last().value, 0u);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=0"), kWait);

    // The tone is refused the same way and does not stay on.
    w()->toneAction()->trigger();
    QVERIFY(!w()->toneAction()->isChecked());
    QVERIFY(!ptt->isChecked());
    QVERIFY(!toneOn());
    ::close(fd);
    QTRY_VERIFY_WITH_TIMEOUT(!w()->port(Window::PttCw)->isOpened(), kWait);

    // Keyed from the button, then the permission goes: released at once.
    ptt->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    grant(0x0B);
    QVERIFY(!ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=0"), kWait);
    // Without the permission the tone is refused and left off.
    w()->toneAction()->trigger();
    QVERIFY(!w()->toneAction()->isChecked());
    QVERIFY(!toneOn());
    grant(0x0F);
}

void TestMainWindow::winKeyAfterSerialApply()
{
    QVERIFY(connected());
    // Applying the serial ports while connected restarts the keying sampler.
    w()->settingsChanged(AbstractTab::SerialPorts);
    QVERIFY(m_sim.run("keying clear"));
    VSPortClient host;
    QVERIFY(host.open("COM17"));
    QVERIFY(host.setLine(1200, 8, 0, 2));
    QVERIFY(host.write(QByteArray("\x00\x02", 2)) == 2);
    // The keyer answers from this process's event loop.
    QByteArray version;
    QVERIFY(QTest::qWaitFor(
        [&] {
            version += host.read(1, 0);
            return !version.isEmpty();
        },
        kWait));
    QCOMPARE(version, QByteArray("\x0a"));
    // The stored block keys at once (an empty one would key nothing).
    QVERIFY(host.write("EEE") == 3);
    QTRY_VERIFY2_WITH_TIMEOUT(m_sim.command("keying timeline").filter("key=1").size() >= 3,
        qPrintable(m_sim.command("keying").join('\n')), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=0"), kWait);
    QVERIFY(m_sim.run("keying clear"));
    // 40 WPM, neutral timing.
    const QByteArray setup("\x02\x28\x03\x32\x17\x32\x04\x00\x00\x10\x00\x11\x00\x0d\x00\x0e\x00", 17);
    QVERIFY(host.write(setup) == setup.size());
    QVERIFY(host.write("EEE") == 3);
    // Three dits at 40 WPM arrive as key edges at the box.
    QTRY_VERIFY2_WITH_TIMEOUT(m_sim.command("keying timeline").filter("key=1").size() >= 3,
        qPrintable(m_sim.command("keying").join('\n')), kWait);
    host.close();
    // The host's changes are stored in the same text the start-up reads.
    const QString stored
        = Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString();
    QCOMPARE(stored.size(), 120);
    QCOMPARE(stored.mid(WinKeyDecoder::Speed * 3, 3), QStringLiteral("28 "));
    QCOMPARE(stored.mid(WinKeyDecoder::DitTime * 3, 3), QStringLiteral("1e "));
}

void TestMainWindow::transmitTimeOutOfButtonAndTone()
{
    QVERIFY(connected());
    QSpinBox *timeout = w()->preferences()->networkTab()->txTimeoutBox();
    QCOMPARE(timeout->value(), 180);
    timeout->setValue(2);
    w()->preferences()->networkTab()->saveSettings();
    w()->settingsChanged(AbstractTab::Network);
    QTRY_VERIFY_WITH_TIMEOUT(connected(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(w()->permission()->flags() == 0x0F && w()->pttButton()->isEnabled(), kWait);
    QCOMPARE(Settings::instance()->value(Settings::TxTimeout, Settings::Network).toInt(), 2);

    QPushButton *ptt = w()->pttButton();
    for (QAction *tone : { static_cast<QAction *>(nullptr), w()->toneAction() }) {
        QElapsedTimer clock;
        clock.start();
        if (tone)
            tone->trigger();
        else
            ptt->click();
        QVERIFY(ptt->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!ptt->isChecked(), kWait);
        QVERIFY2(
            clock.elapsed() >= 1900 && clock.elapsed() <= 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!w()->toneAction()->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=0"), kWait);
        QCOMPARE(m_main->lastBalloon(), QString("Transmit time-out: PTT released after 2 s"));
    }
    timeout->setValue(180);
    w()->preferences()->networkTab()->saveSettings();
    w()->settingsChanged(AbstractTab::Network);
    QTRY_VERIFY_WITH_TIMEOUT(connected() && w()->permission()->flags() == 0x0F, kWait);
}

void TestMainWindow::exitReleasesTheTransmitter()
{
    QVERIFY(connected());
    QVERIFY(m_sim.run("keying clear"));
    w()->pttButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=1"), kWait);

    delete m_main;
    m_main = nullptr;
    QVERIFY(!Window::instance());
    const QList<SimProcess::Frame> ptt = framesOfType(PacketType::Ptt);
    QVERIFY(!ptt.isEmpty());
    QCOMPARE(ptt.last().value, 0u);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("keying").value(0).contains("ptt=0"), kWait);
    const QStringList timeline = m_sim.command("keying timeline");
    QVERIFY(!timeline.isEmpty());
    QVERIFY2(timeline.last().contains("ptt=0"), qPrintable(timeline.join('\n')));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
