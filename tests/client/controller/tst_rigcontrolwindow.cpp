#include "client/app/mainwindow.h"
#include "client/controller/window.h"
#include "client/link/clientrif.h"
#include "client/link/packetheader.h"
#include "client/link/permission.h"
#include "client/prefs/networktab.h"
#include "client/prefs/preferences.h"
#include "client/rigctl/rigserver.h"
#include "common/brelkoversion.h"
#include "common/settings.h"
#include "tests/support/simprocess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace brelko;
using namespace morvex;

// The rig control group of the Network tab and what a radio program's PTT
// does to the window, with the station controller built in this process
// against the simulated box.
class TestRigControlWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void hamlibLoadedWithTheTab();
    void defaultsAndModels();
    void applyStartsAndRestarts();
    void pttShowsLikeTheButton();
    void transmitTimeOut();

private:
    Window *w() const { return Window::instance(); }
    NetworkTab *tab() const { return w()->preferences()->networkTab(); }
    void applyNetwork();
    static quint16 freePort();
    // Sends one line on the socket and returns the answer's first line.
    QByteArray ask(QTcpSocket &s, const QByteArray &line);

    SimProcess m_sim;
    MainWindow *m_main = nullptr;
};

namespace {
constexpr int kWait = 20000;
}

void TestRigControlWindow::initTestCase()
{
    QVERIFY2(m_sim.start({ "--perm-slot", "brelko:0x0F:0:0" }), qPrintable(m_sim.lastError()));
    QCoreApplication::setApplicationName("Morvex");
    QCoreApplication::setOrganizationName("Zentrik Ltd.");
    QCoreApplication::setApplicationVersion(BRELKO_VERSION);
    qRegisterMetaType<paudio::OutputMode>("paudio::OutputMode");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
    Settings *s = Settings::instance();
    QFile::remove(s->fileName());
    s->setValue(Settings::HotKeyPTT, Settings::General, QString());
    s->setValue(Settings::Language, Settings::General, "English");
    s->setValue(Settings::NetworkAddr, Settings::Network, "127.0.0.1");
    s->setValue(Settings::NetworkPass, Settings::Network, "brelko");
    s->setValue(Settings::NetworkCmdPort, Settings::Network, m_sim.tcpPort());
    s->setValue(Settings::NetworkRtpPort, Settings::Network, m_sim.audioPort());
    s->setValue(Settings::NetworkPttCwPort, Settings::Network, m_sim.keyingPort());
    s->setValue(Settings::Serial_1, Settings::Serial, "COM25");
    for (Settings::Key k : { Settings::Serial_2, Settings::Serial_3, Settings::Serial_4, Settings::Serial_5 })
        s->setValue(k, Settings::Serial, "None");
    s->setValue(Settings::AudioInput, Settings::Audio, "Microphone");
    s->setValue(Settings::AudioOutput, Settings::Audio, "Speakers");
    s->sync();
    m_main = new MainWindow;
    m_main->show();
    QTRY_VERIFY_WITH_TIMEOUT(w() && w()->connection()->isConnected(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(w()->permission()->flags() == 0x0F, kWait);
}

void TestRigControlWindow::cleanupTestCase()
{
    delete m_main;
    m_sim.stop();
}

quint16 TestRigControlWindow::freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

void TestRigControlWindow::applyNetwork()
{
    Preferences *prefs = w()->preferences();
    QVERIFY(prefs->applyButton()->isEnabled());
    prefs->applyButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(w()->connection()->isConnected(), kWait);
}

QByteArray TestRigControlWindow::ask(QTcpSocket &s, const QByteArray &line)
{
    s.write(line + '\n');
    if (!QTest::qWaitFor([&] { return s.canReadLine(); }, kWait))
        return "no answer";
    return s.readLine().trimmed();
}

void TestRigControlWindow::hamlibLoadedWithTheTab()
{
    auto hamlibMapped = [] {
        QFile maps("/proc/self/maps");
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libhamlib");
    };
    // Rig control off and the preferences never opened: no Hamlib in memory,
    // yet the saved choices are there to apply.
    QVERIFY(!tab()->rigModelsLoaded());
    QVERIFY(!hamlibMapped());
    QVERIFY(!tab()->isChanged());

    // The operator opens the Network tab before changing it: the radio
    // models are listed then, which is no change of the operator's.
    Preferences *prefs = w()->preferences();
    prefs->tabs()->setCurrentWidget(tab());
    prefs->show();
    QVERIFY(QTest::qWaitForWindowExposed(prefs));
    QVERIFY(tab()->rigModelsLoaded());
    QVERIFY(hamlibMapped());
    QVERIFY(tab()->rigModelBox()->count() > 100);
    QVERIFY(tab()->rigModelNote().isEmpty());
    QVERIFY(!tab()->isChanged());
    QVERIFY(!prefs->applyButton()->isEnabled());
}

void TestRigControlWindow::defaultsAndModels()
{
    // Off until asked for; loopback only; no radio model; PTT by the box.
    QVERIFY(!tab()->rigEnabledBox()->isChecked());
    QCOMPARE(tab()->rigPortBox()->value(), 4532);
    QVERIFY(!tab()->rigRemoteBox()->isChecked());
    QCOMPARE(tab()->rigModel(), 0);
    QCOMPARE(tab()->rigModelBox()->currentText(), QString("None (PTT only)"));
    QVERIFY(!tab()->rigPttByCat());
    QVERIFY(!w()->rigServer()->isListening());
    // Hamlib's list, by number and name.
    const int ts2000 = tab()->rigModelBox()->findData(2014);
    QVERIFY(ts2000 > 0);
    QCOMPARE(tab()->rigModelBox()->itemText(ts2000), QString("2014 Kenwood TS-2000"));
    QVERIFY(tab()->rigModelBox()->count() > 100);
}

void TestRigControlWindow::applyStartsAndRestarts()
{
    const quint16 port = freePort();
    tab()->rigEnabledBox()->setChecked(true);
    tab()->rigPortBox()->setValue(port);
    applyNetwork();
    QVERIFY(w()->rigServer()->isListening());
    QCOMPARE(w()->rigServer()->serverPort(), port);
    Settings *s = Settings::instance();
    QCOMPARE(s->value(Settings::RigEnabled, Settings::RigControl).toBool(), true);
    QCOMPARE(s->value(Settings::RigPort, Settings::RigControl).toInt(), int(port));

    // Another port: the old one closes, the new one serves.
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(
            QString("Rig control: cannot listen on 127.0.0.1:%1: .+").arg(taken.serverPort())));
    tab()->rigPortBox()->setValue(taken.serverPort());
    applyNetwork();
    QVERIFY(!w()->rigServer()->isListening());
    QTcpSocket old;
    old.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!old.waitForConnected(2000));
    taken.close();
    // Applied again once the port is free: it listens.
    tab()->rigPortBox()->setValue(port);
    applyNetwork();
    QVERIFY(w()->rigServer()->isListening());
}

void TestRigControlWindow::pttShowsLikeTheButton()
{
    QVERIFY(w()->rigServer()->isListening());
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, w()->rigServer()->serverPort());
    QVERIFY(s.waitForConnected(5000));
    QPushButton *ptt = w()->pttButton();
    QCOMPARE(ask(s, "T 1"), QByteArray("RPRT 0"));
    QVERIFY(ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        ptt->styleSheet().contains("QPushButton:checked { background-color: red"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->trayImage(), QString(":/images/tray_link_ptt.png"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->indicatorState(MainWindow::Ptt), quint8(1), kWait);
    QCOMPARE(ask(s, "t"), QByteArray("1"));
    QCOMPARE(ask(s, "T 0"), QByteArray("RPRT 0"));
    QVERIFY(!ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->trayImage(), QString(":/images/tray_link.png"), kWait);

    // The operator's release ends a program's transmission.
    QCOMPARE(ask(s, "T 1"), QByteArray("RPRT 0"));
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    ptt->click();
    QVERIFY(!ptt->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(ask(s, "t"), QByteArray("0"), kWait);
}

void TestRigControlWindow::transmitTimeOut()
{
    tab()->txTimeoutBox()->setValue(2);
    applyNetwork();
    QVERIFY(w()->rigServer()->isListening());
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, w()->rigServer()->serverPort());
    QVERIFY(s.waitForConnected(5000));
    QVERIFY(m_sim.run("frames clear"));
    QCOMPARE(ask(s, "T 1"), QByteArray("RPRT 0"));
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 1, kWait);
    // Released by the time-out as the button is, and t follows: measured on
    // the box's clock, from the PTT-on frame to the PTT-off frame.
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("ptt"), 0, kWait);
    qint64 on = -1;
    qint64 off = -1;
    for (const SimProcess::Frame &f : m_sim.framesOfType(PacketType::Ptt)) {
        if (f.value == 1u && on < 0)
            on = f.ms;
        if (f.value == 0u && on >= 0 && off < 0)
            off = f.ms;
    }
    // The on frame may leave up to a send batch late under load, so the
    // lower margin is wider than the upper one's lateness needs.
    QVERIFY2(on >= 0 && off - on >= 1750 && off - on <= 3000, qPrintable(QString("%1 %2").arg(on).arg(off)));
    QCOMPARE(m_main->lastBalloon(), QString("Transmit time-out: PTT released after 2 s"));
    QTRY_COMPARE_WITH_TIMEOUT(ask(s, "t"), QByteArray("0"), kWait);
    QVERIFY(!w()->pttButton()->isChecked());
}

QTEST_MAIN(TestRigControlWindow)
#include "tst_rigcontrolwindow.moc"
