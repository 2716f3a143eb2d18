// The DDNS and Status tabs against the simulated device.

#include "common/settings.h"
#include "configurator/centralwidget.h"
#include "configurator/ddnstab.h"
#include "configurator/devstatustab.h"
#include "configurator/hidinterface.h"
#include "configurator/mainwindow.h"
#include "configurator/tabbattons.h"
#include "platform/hid/hidnotifier.h"
#include "tests/configurator/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace brelko;
using namespace configurator;

using namespace TestSupport;

namespace {
constexpr int kWait = 8000;
}

class TstDdnsStatusTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void ddnsEnablingRule();
    void ddnsLoadApplyAndSettings();
    void lastError_data();
    void lastError();
    void ddnsResult_data();
    void ddnsResult();
    void linkStates_data();
    void linkStates();
    void loadShowsAddressesAndVersions();
    void pollsOnlyWhileCurrentAndPresent();
    void screenshots();

private:
    template<typename Tab>
    std::unique_ptr<Tab> makeTab()
    {
        auto tab = std::make_unique<Tab>();
        tab->setHidInterface(&m_hidIf);
        tab->setDeviceIds(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber);
        return tab;
    }

    HidSimThread m_sim;
    BoxWatcher *m_boxes = nullptr;
    HidInterface m_hidIf;
};

void TstDdnsStatusTabs::initTestCase()
{
    QVERIFY2(preloaded(), "run through ctest: the simulated hidapi must be preloaded");
    QVERIFY(m_sim.start(hidSocketPath()));
    QApplication::setQuitOnLastWindowClosed(false);
    m_boxes = new BoxWatcher(this);
    Settings::instance()->setFile(testHome() + "/config.ini");
}

void TstDdnsStatusTabs::init()
{
    for (const char *c : { "plug", "factory", "silent off", "unplug-after 0", "rejoin 1000", "feature 2",
             "value 6 1.2.0", "clearlog" })
        m_sim.control(QString::fromLatin1(c));
    HidNotifier::instance()->rescan();
    m_boxes->rearm();
}

void TstDdnsStatusTabs::ddnsEnablingRule()
{
    auto tab = makeTab<DdnsTab>();
    const QList<QWidget *> fields { tab->serviceBox(), tab->addressEdit(), tab->loginEdit(),
        tab->passwordEdit() };
    QVERIFY(!tab->useBox()->isChecked());
    for (QWidget *w : fields)
        QVERIFY(!w->isEnabled());
    QCOMPARE(tab->serviceBox()->count(), 1);
    QVERIFY(tab->serviceBox()->itemText(0).startsWith("No-IP ("));
    QCOMPARE(tab->serviceBox()->itemData(0).toUInt(), 0u);
    tab->useBox()->setChecked(true);
    for (QWidget *w : fields)
        QVERIFY(w->isEnabled());
    tab->useBox()->setChecked(false);
    for (QWidget *w : fields)
        QVERIFY(!w->isEnabled());
}

void TstDdnsStatusTabs::ddnsLoadApplyAndSettings()
{
    m_sim.control("value 21 1");
    m_sim.control("value 22 3"); // no item carries 3: No-IP stays
    m_sim.control("value 23 shack.ddns.example");
    m_sim.control("value 24 ham");
    m_sim.control("value 25 s3cret");
    auto tab = makeTab<DdnsTab>();
    QSignalSpy status(tab.get(), &AbstractTab::statusMessage);
    QVERIFY(tab->loadData());
    QCOMPARE(requests(m_sim), QStringList({ "get 21", "get 22", "get 23", "get 24", "get 25" }));
    QVERIFY(tab->useBox()->isChecked());
    QVERIFY(tab->addressEdit()->isEnabled());
    QCOMPARE(tab->serviceBox()->currentIndex(), 0);
    QCOMPARE(tab->addressEdit()->text(), QStringLiteral("shack.ddns.example"));
    QCOMPARE(tab->loginEdit()->text(), QStringLiteral("ham"));
    QCOMPARE(tab->passwordEdit()->text(), QStringLiteral("s3cret"));
    QCOMPARE(status.value(0).value(0).toString(), QStringLiteral("Settings are restored"));

    // Applying with the box clear still sends the fields.
    m_sim.control("clearlog");
    tab->useBox()->setChecked(false);
    tab->loginEdit()->setText(QString(80, 'L')); // longer than the field: cut
    tab->applyData();
    QCOMPARE(requests(m_sim),
        QStringList({ "set 21 0", "set 22 0", "set 23 shack.ddns.example", "set 24 " + QString(61, 'L'),
            "set 25 s3cret" }));
    QCOMPARE(m_sim.control("largest"), QStringLiteral("65"));

    const QString file = testHome() + "/ddns.ini";
    QFile::remove(file);
    Settings::instance()->setFile(file);
    tab->useBox()->setChecked(true);
    tab->saveToSettings();
    Settings::instance()->sync();
    {
        QSettings ini(file, QSettings::IniFormat);
        QCOMPARE(ini.value("DDNS/UseDDNS").toString(), QStringLiteral("true"));
        QCOMPARE(ini.value("DDNS/DDNSservice").toUInt(), 0u);
        QCOMPARE(ini.value("DDNS/DDNSaddress").toString(), QStringLiteral("shack.ddns.example"));
        ini.setValue("DDNS/UseDDNS", "garbage");
        ini.setValue("DDNS/DDNSservice", "7");
        ini.remove("DDNS/DDNSlogin");
        ini.setValue("DDNS/DDNSpassword", "fromfile");
    }
    Settings::instance()->setFile(testHome() + "/config.ini");
    Settings::instance()->setFile(file);
    auto other = makeTab<DdnsTab>();
    other->loginEdit()->setText("kept");
    other->loadFromSettings();
    QVERIFY(!other->useBox()->isChecked()); // garbage keeps the box
    QCOMPARE(other->serviceBox()->currentIndex(), 0);
    QCOMPARE(other->loginEdit()->text(), QStringLiteral("kept"));
    QCOMPARE(other->passwordEdit()->text(), QStringLiteral("fromfile"));
    QCOMPARE(other->addressEdit()->text(), QStringLiteral("shack.ddns.example"));
    Settings::instance()->setFile(testHome() + "/config.ini");
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstDdnsStatusTabs::lastError_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    QTest::newRow("bus fault")
        << "lasterror 3 0x2A 1 2 3 12 0x08001235 0x08004000 0x21000000 0x20001000 0x8200 "
           "0x40000000 0 0"
        << "Type: exception. Reason: BusFault\nr0  =0x0000002A\nr1  =0x00000001\n"
           "r2  =0x00000002\nr3  =0x00000003\nr12 =0x0000000C\nLR  =0x08001235\n"
           "PC  =0x08004000\nPSR =0x21000000\nBFAR=0x20001000\nCFSR=0x00008200\n"
           "HFSR=0x40000000\nDFSR=0x00000000\nAFSR=0x00000000\n";
    QTest::newRow("watchdog") << "lasterror 0 Task audio stuck"
                              << "Type: watchdog. Reason: Task audio stuck";
    QTest::newRow("none (9)") << "lasterror 9"
                              << "Device does not have error";
    QTest::newRow("none (7)") << "lasterror 7"
                              << "Device does not have error";
}

void TstDdnsStatusTabs::lastError()
{
    QFETCH(QString, command);
    QFETCH(QString, text);
    QVERIFY(!m_sim.control(command).startsWith("err"));
    auto tab = makeTab<DevStatusTab>();
    tab->showLastError();
    QCOMPARE(requests(m_sim), QStringList { "get 28" });
    QVERIFY(tab->lastErrorWindow()->isVisible());
    QCOMPARE(tab->lastErrorWindow()->windowTitle(), QStringLiteral("Last error"));
    QCOMPARE(tab->lastErrorText()->toPlainText(), text);
    QVERIFY(!m_hidIf.isOpen());
    tab->lastErrorWindow()->close();
}

void TstDdnsStatusTabs::ddnsResult_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("detail");
    QTest::newRow("good") << true << "good 93.184.216.34"
                          << "Success"
                          << "DNS hostname update successful.";
    QTest::newRow("nochg") << true << "nochg 93.184.216.34"
                           << "Success"
                           << "no update performed.";
    QTest::newRow("911") << true << "911"
                         << "Error"
                         << "Retry the update no sooner 30 minutes.";
    QTest::newRow("badauth") << true << "badauth"
                             << "Error"
                             << "Invalid username password combination";
    QTest::newRow("off") << false << "good 1.2.3.4"
                         << "Disabled"
                         << "you have to switch to DDNS tab.";
    QTest::newRow("unknown keeps") << true << "whatever"
                                   << ""
                                   << "";
}

void TstDdnsStatusTabs::ddnsResult()
{
    QFETCH(bool, enabled);
    QFETCH(QString, answer);
    QFETCH(QString, word);
    QFETCH(QString, detail);
    m_sim.control(enabled ? "value 21 1" : "value 21 0");
    m_sim.control("value 27 " + answer);
    m_sim.control("clearlog");
    auto tab = makeTab<DevStatusTab>();
    tab->updateWiFiState();
    const QStringList log = requests(m_sim);
    QCOMPARE(log.mid(0, 5), QStringList({ "get 10", "get 11", "get 8", "get 12", "get 21" }));
    QCOMPARE(log.contains("get 27"), enabled);
    QCOMPARE(tab->ddnsLabel()->text(), word);
    QVERIFY(tab->ddnsDetailBox()->text().contains(detail));
    if (!word.isEmpty()) {
        QCOMPARE(
            tab->ddnsDetailBox()->icon(), word == "Error" ? QMessageBox::Warning : QMessageBox::Information);
        // "More info..." shows the detail box.
        emit tab->moreInfoLink()->linkActivated(" ");
        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes->boxes.isEmpty(), kWait);
        QVERIFY(m_boxes->boxes.last().text.contains(detail));
    }
}

void TstDdnsStatusTabs::linkStates_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rssi");
    QTest::newRow("disconnected") << 0 << "Disconnected"
                                  << "";
    QTest::newRow("connecting") << 1 << "Connecting to: Shack AP"
                                << "";
    QTest::newRow("connected") << 2 << "Connected to: Shack AP"
                               << "-57 dBm";
    QTest::newRow("unknown") << 5 << "Connected to: Earlier"
                             << "-57 dBm";
}

void TstDdnsStatusTabs::linkStates()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(QString, rssi);
    auto tab = makeTab<DevStatusTab>();
    QCOMPARE(tab->linkStateLabel()->text(), QStringLiteral("Disconnected"));
    tab->linkStateLabel()->setText("Connected to: Earlier");
    m_sim.control("value 8 Shack AP");
    m_sim.control("value 10 -57");
    m_sim.control(QStringLiteral("value 11 %1").arg(state));
    tab->updateWiFiState();
    QCOMPARE(tab->linkStateLabel()->text(), text);
    QCOMPARE(tab->rssiLabel()->text(), rssi);
}

void TstDdnsStatusTabs::loadShowsAddressesAndVersions()
{
    auto tab = makeTab<DevStatusTab>();
    QCOMPARE(tab->macLabel()->text(), QStringLiteral("0x04 0xB8 0x95 0x56 0x22 0x89"));
    QCOMPARE(tab->ipLabel()->text(), QStringLiteral("192.168.1.7"));
    m_sim.control("value 12 02a0f70b0c0d");
    m_sim.control("value 13 10.1.2.3");
    m_sim.control("value 14 255.255.0.0");
    m_sim.control("value 15 10.1.0.1");
    m_sim.control("value 16 9.9.9.9");
    m_sim.control("value 6 1.1.9");
    m_sim.control("value 7 3.1");
    QVERIFY(tab->loadData());
    QCOMPARE(requests(m_sim).mid(0, 7),
        QStringList({ "get 12", "get 13", "get 14", "get 15", "get 16", "get 6", "get 7" }));
    QCOMPARE(tab->macLabel()->text(), QStringLiteral("02:a0:f7:0b:0c:0d"));
    QCOMPARE(tab->ipLabel()->text(), QStringLiteral("10.1.2.3"));
    QCOMPARE(tab->maskLabel()->text(), QStringLiteral("255.255.0.0"));
    QCOMPARE(tab->gatewayLabel()->text(), QStringLiteral("10.1.0.1"));
    QCOMPARE(tab->dnsLabel()->text(), QStringLiteral("9.9.9.9"));
    QCOMPARE(tab->firmwareVersionLabel()->text(), QStringLiteral("1.1.9"));
    QCOMPARE(tab->hardwareVersionLabel()->text(), QStringLiteral("3.1"));
    QCOMPARE(tab->ddnsLabel()->text(), QStringLiteral("Disabled"));
}

void TstDdnsStatusTabs::pollsOnlyWhileCurrentAndPresent()
{
    MainWindow window;
    CentralWidget *central = window.centralPart();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY_WITH_TIMEOUT(central->tabWidget()->isVisible(), kWait);
    DevStatusTab *status = central->statusTab();
    QVERIFY(!status->isPolling());

    m_sim.control("clearlog");
    QElapsedTimer sinceShown;
    sinceShown.start();
    central->tabWidget()->setCurrentWidget(status);
    QVERIFY(status->isPolling());
    QCOMPARE(requests(m_sim).value(0), QStringLiteral("get 10")); // reads at once
    QTRY_VERIFY_WITH_TIMEOUT(requests(m_sim).count("get 10") >= 2, 5000 + kWait);
    // Every 5 s: the second read neither early nor much late (a
    // coarse timer may fire up to 5 % early).
    QVERIFY2(sinceShown.elapsed() >= 5000 - 300 && sinceShown.elapsed() <= 5000 + 1500,
        qPrintable(QString::number(sinceShown.elapsed())));

    central->tabWidget()->setCurrentIndex(0);
    QVERIFY(!status->isPolling());
    central->tabWidget()->setCurrentWidget(status);
    QVERIFY(status->isPolling());
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(!status->isPolling(), kWait);
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstDdnsStatusTabs::screenshots()
{
    const QString dir = testHome() + "/screenshots";
    QDir().mkpath(dir);
    m_sim.control("value 21 1");
    m_sim.control("value 23 shack.ddns.example");
    m_sim.control("value 27 nochg 93.184.216.34");
    m_sim.control("value 11 2");
    m_sim.control(
        "lasterror 3 0x2A 1 2 3 12 0x08001235 0x08004000 0x21000000 0x20001000 0x8200 0x40000000 0 0");
    MainWindow window;
    CentralWidget *central = window.centralPart();
    window.resize(640, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY_WITH_TIMEOUT(central->tabWidget()->isVisible(), kWait);
    central->tabWidget()->setCurrentWidget(central->ddnsTab());
    QCoreApplication::processEvents();
    QVERIFY(window.grab().save(dir + "/ddns.png"));
    central->tabWidget()->setCurrentWidget(central->statusTab());
    QCoreApplication::processEvents();
    QVERIFY(window.grab().save(dir + "/status.png"));
    central->statusTab()->showLastError();
    QDialog *errors = central->statusTab()->lastErrorWindow();
    QVERIFY(QTest::qWaitForWindowExposed(errors));
    QVERIFY(errors->grab().save(dir + "/last-error.png"));
    errors->close();
}

QTEST_MAIN(TstDdnsStatusTabs)
#include "tst_ddnsstatustabs.moc"
