#include "common/settings.h"
#include "configurator/connectingtab.h"
#include "configurator/hidinterface.h"
#include "configurator/ifnetworktab.h"
#include "configurator/ipaddressfield.h"
#include "configurator/tabbattons.h"
#include "configurator/wifitab.h"
#include "tests/configurator/testsupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

using namespace brelko;
using namespace configurator;

using namespace TestSupport;

namespace {
const char kOpenFail[] = "Can't open Zentrik Brelko interface.";
const char kReadFail[] = "Can't read data from the Zentrik Brelko interface.";
const char kWriteFail[] = "Can't write data to the Zentrik Brelko interface.";

template<typename Tab>
void attach(Tab &tab, HidInterface &hid)
{
    tab.setHidInterface(&hid);
    tab.setDeviceIds(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber);
}

QStringList octets(IpAddressField *f)
{
    QStringList out;
    for (int i = 0; i < 4; ++i)
        out << f->octet(i)->text();
    return out;
}
} // namespace

class TstNetworkTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void addressFieldOctets_data();
    void addressFieldOctets();
    void networkLoadShowsOctetsAndSavesDottedText();
    void networkSettingsTextThatIsNoAddress();
    void networkApplyOrderAndEmptyOctet();
    void wrongEchoLeavesFieldsAndGoesOn();
    void wifiNameSearchOrInsert();
    void wifiSettingsAndLongNames();
    void spoiledStrings_data();
    void spoiledStrings();
    void connectionLoadApplyAndLimits();
    void failures_data();
    void failures();
    void applyButtonWritesThenAsksForCommit();
    void noInterfaceDoesNothing();

private:
    HidSimThread m_sim;
    HidInterface *m_hid = nullptr;
    BoxWatcher *m_boxes = nullptr;
};

void TstNetworkTabs::initTestCase()
{
    QVERIFY2(preloaded(), "run through ctest: the simulated hidapi must be preloaded");
    QVERIFY(m_sim.start(hidSocketPath()));
    m_hid = new HidInterface;
    m_boxes = new BoxWatcher(this);
    Settings::instance()->setFile(testHome() + "/tabs.ini");
}

void TstNetworkTabs::cleanupTestCase()
{
    delete m_hid;
    m_hid = nullptr;
}

void TstNetworkTabs::init()
{
    for (const char *c : { "plug", "factory", "silent off", "corrupt off", "unplug-after 0", "clearlog" })
        m_sim.control(QString::fromLatin1(c));
    m_boxes->rearm();
}

void TstNetworkTabs::addressFieldOctets_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<bool>("ok");

    QTest::newRow("reading order") << QStringList { "192", "168", "1", "10" } << quint32(0x0A01A8C0) << true;
    QTest::newRow("zeros") << QStringList { "0", "0", "0", "0" } << quint32(0) << true;
    QTest::newRow("top") << QStringList { "255", "255", "255", "255" } << quint32(0xFFFFFFFF) << true;
    QTest::newRow("empty octet") << QStringList { "10", "", "0", "1" } << quint32(0) << false;
    QTest::newRow("above 255 from code") << QStringList { "10", "300", "0", "1" } << quint32(0) << false;
}

void TstNetworkTabs::addressFieldOctets()
{
    QFETCH(QStringList, fields);
    QFETCH(quint32, value);
    QFETCH(bool, ok);
    IpAddressField f;
    for (int i = 0; i < 4; ++i)
        f.octet(i)->setText(fields[i]);
    bool good = !ok;
    QCOMPARE(f.address(&good), value);
    QCOMPARE(good, ok);
    if (ok) {
        IpAddressField back;
        back.setAddress(value);
        QCOMPARE(octets(&back), fields);
    }
    // Typing cannot get above 255.
    IpAddressField typed;
    QTest::keyClicks(typed.octet(0), "999");
    QCOMPARE(typed.octet(0)->text(), QStringLiteral("99"));
    QTest::keyClicks(typed.octet(1), "256");
    QCOMPARE(typed.octet(1)->text(), QStringLiteral("25"));
}

void TstNetworkTabs::networkLoadShowsOctetsAndSavesDottedText()
{
    m_sim.control("value 13 192.168.1.10");
    m_sim.control("value 16 8.8.4.4");
    IfNetworkTab tab;
    attach(tab, *m_hid);
    QSignalSpy status(&tab, &AbstractTab::statusMessage);
    QVERIFY(tab.loadData());
    QVERIFY(!m_hid->isOpen());
    QCOMPARE(status.value(0).value(0).toString(), QStringLiteral("Settings are restored"));
    QCOMPARE(octets(tab.field(0)), QStringList({ "192", "168", "1", "10" }));
    QCOMPARE(octets(tab.field(3)), QStringList({ "8", "8", "4", "4" }));
    QCOMPARE(requests(m_sim), QStringList({ "get 13", "get 14", "get 15", "get 16" }));

    const QString file = testHome() + "/export.ini";
    QFile::remove(file);
    Settings::instance()->setFile(file);
    tab.saveToSettings();
    Settings::instance()->sync();
    QSettings ini(file, QSettings::IniFormat);
    QCOMPARE(ini.value("Networking/IPAddress").toString(), QStringLiteral("192.168.1.10"));
    QCOMPARE(ini.value("Networking/MaskAddress").toString(), QStringLiteral("255.255.255.0"));
    QCOMPARE(ini.value("Networking/DNSAddress").toString(), QStringLiteral("8.8.4.4"));

    IfNetworkTab other;
    other.loadFromSettings();
    QCOMPARE(octets(other.field(0)), QStringList({ "192", "168", "1", "10" }));
    QCOMPARE(octets(other.field(2)), QStringList({ "192", "168", "1", "1" }));
    Settings::instance()->setFile(testHome() + "/tabs.ini");
}

void TstNetworkTabs::networkSettingsTextThatIsNoAddress()
{
    Settings *s = Settings::instance();
    (*s)(Settings::IPAddress, Settings::Networking) = QStringLiteral("not an address");
    (*s)(Settings::MaskAddress, Settings::Networking) = QStringLiteral("::1");
    (*s)(Settings::GatewayAddress, Settings::Networking) = QStringLiteral("10.1.2.3");
    (*s)(Settings::DNSAddress, Settings::Networking) = QStringLiteral("300.1.1.1");
    IfNetworkTab tab;
    tab.field(0)->setAddress(0x01020304);
    tab.loadFromSettings();
    QCOMPARE(octets(tab.field(0)), QStringList({ "0", "0", "0", "0" }));
    QCOMPARE(octets(tab.field(1)), QStringList({ "0", "0", "0", "0" }));
    QCOMPARE(octets(tab.field(2)), QStringList({ "10", "1", "2", "3" }));
    QCOMPARE(octets(tab.field(3)), QStringList({ "0", "0", "0", "0" }));
}

void TstNetworkTabs::networkApplyOrderAndEmptyOctet()
{
    IfNetworkTab tab;
    attach(tab, *m_hid);
    QVERIFY(tab.loadData());
    tab.field(0)->setAddress(0x0A01A8C0); // 192.168.1.10
    tab.field(1)->octet(2)->clear(); // mask left incomplete
    tab.field(2)->setAddress(0xFE01A8C0); // 192.168.1.254
    m_sim.control("clearlog");
    QSignalSpy status(&tab, &AbstractTab::statusMessage);
    tab.applyData();
    QCOMPARE(requests(m_sim),
        QStringList(
            { "set 13 192.168.1.10", "set 14 0.0.0.0", "set 15 192.168.1.254", "set 16 192.168.1.1" }));
    QCOMPARE(status.value(0).value(0).toString(), QStringLiteral("Settings are applied"));
    QVERIFY(!m_hid->isOpen());
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstNetworkTabs::wrongEchoLeavesFieldsAndGoesOn()
{
    IfNetworkTab tab;
    attach(tab, *m_hid);
    for (int i = 0; i < 4; ++i)
        tab.field(i)->setAddress(0x04030201);
    m_sim.control("corrupt echo");
    QVERIFY(tab.loadData());
    QCOMPARE(requests(m_sim), QStringList({ "get 13", "get 14", "get 15", "get 16" }));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(octets(tab.field(i)), QStringList({ "1", "2", "3", "4" }));

    ConnectingTab conn;
    attach(conn, *m_hid);
    conn.passwordEdit()->setText("keep");
    conn.portBox(0)->setValue(1234);
    QVERIFY(conn.loadData());
    QCOMPARE(conn.passwordEdit()->text(), QStringLiteral("keep"));
    QCOMPARE(conn.portBox(0)->value(), 1234);
}

void TstNetworkTabs::wifiNameSearchOrInsert()
{
    WiFiTab tab;
    attach(tab, *m_hid);
    tab.nameBox()->addItems({ "Cafe", "home" });
    m_sim.control("value 8 Home");
    m_sim.control("value 9 secret word");
    QVERIFY(tab.loadData());
    QCOMPARE(tab.nameBox()->count(), 3);
    QCOMPARE(tab.nameBox()->itemText(0), QStringLiteral("Home")); // case matters: not "home"
    QCOMPARE(tab.nameBox()->currentIndex(), 0);
    QCOMPARE(tab.passwordEdit()->text(), QStringLiteral("secret word"));

    tab.nameBox()->setCurrentIndex(1);
    QVERIFY(tab.loadData());
    QCOMPARE(tab.nameBox()->count(), 3);
    QCOMPARE(tab.nameBox()->currentText(), QStringLiteral("Home"));

    m_sim.control("value 8 Cafe");
    QVERIFY(tab.loadData());
    QCOMPARE(tab.nameBox()->count(), 3);
    QCOMPARE(tab.nameBox()->currentIndex(), 1);
    QCOMPARE(requests(m_sim).mid(0, 2), QStringList({ "get 8", "get 9" }));
}

void TstNetworkTabs::wifiSettingsAndLongNames()
{
    Settings *s = Settings::instance();
    const QString longName(80, QLatin1Char('n'));
    (*s)(Settings::NetworkName, Settings::WiFi) = longName;
    (*s)(Settings::NetworkPassword, Settings::WiFi) = QStringLiteral("pw");
    WiFiTab tab;
    attach(tab, *m_hid);
    tab.loadFromSettings();
    tab.applyData();
    // Nothing longer than the device's field goes out, and the NUL fits.
    QCOMPARE(requests(m_sim), QStringList({ "set 8 " + QString(61, QLatin1Char('n')), "set 9 pw" }));
    QVERIFY(m_sim.control("largest").toInt() <= 65);

    tab.nameBox()->setEditText("Office");
    tab.passwordEdit()->setText("pass2");
    tab.saveToSettings();
    QCOMPARE(s->value(Settings::NetworkName, Settings::WiFi).toString(), QStringLiteral("Office"));
    QCOMPARE(s->value(Settings::NetworkPassword, Settings::WiFi).toString(), QStringLiteral("pass2"));

    WiFiTab typed;
    QTest::keyClicks(typed.passwordEdit(), QString(70, QLatin1Char('p')));
    QCOMPARE(typed.passwordEdit()->text().size(), 60);
}

void TstNetworkTabs::spoiledStrings_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("missing NULs") << "nonul";
    QTest::newRow("all 0xFF") << "ff";
}

void TstNetworkTabs::spoiledStrings()
{
    QFETCH(QString, mode);
    m_sim.control("value 8 Net");
    m_sim.control("corrupt " + mode);
    WiFiTab wifi;
    attach(wifi, *m_hid);
    QVERIFY(wifi.loadData());
    // The text ends with the 64 received bytes at the latest.
    QVERIFY(wifi.nameBox()->currentText().size() <= 61);
    QVERIFY(wifi.passwordEdit()->text().size() <= 60);
    if (mode == "nonul")
        QVERIFY(wifi.nameBox()->currentText().startsWith("NetZZZ"));

    ConnectingTab conn;
    attach(conn, *m_hid);
    conn.portBox(1)->setValue(777);
    QVERIFY(conn.loadData());
    QVERIFY(conn.passwordEdit()->text().size() <= 32);
    if (mode == "ff")
        QCOMPARE(conn.portBox(1)->value(), 777); // echo 255 is nobody's
    else
        QCOMPARE(conn.portBox(1)->value(), 11000);
}

void TstNetworkTabs::connectionLoadApplyAndLimits()
{
    m_sim.control("value 17 door");
    m_sim.control("value 18 12000");
    m_sim.control("value 19 12001");
    m_sim.control("value 20 65535");
    ConnectingTab tab;
    attach(tab, *m_hid);
    QVERIFY(tab.loadData());
    QCOMPARE(tab.passwordEdit()->text(), QStringLiteral("door"));
    QCOMPARE(tab.portBox(0)->value(), 12000);
    QCOMPARE(tab.portBox(1)->value(), 12001);
    QCOMPARE(tab.portBox(2)->value(), 65535);
    QCOMPARE(requests(m_sim), QStringList({ "get 17", "get 18", "get 19", "get 20" }));

    m_sim.control("clearlog");
    tab.passwordEdit()->clear();
    QTest::keyClicks(tab.passwordEdit(), QString(40, QLatin1Char('k')));
    QCOMPARE(tab.passwordEdit()->text().size(), 32);
    tab.portBox(2)->setValue(70000);
    QCOMPARE(tab.portBox(2)->value(), 65535);
    tab.portBox(0)->setValue(0);
    tab.applyData();
    QCOMPARE(requests(m_sim),
        QStringList(
            { "set 17 " + QString(32, QLatin1Char('k')), "set 18 0", "set 19 12001", "set 20 65535" }));

    tab.saveToSettings();
    ConnectingTab other;
    other.loadFromSettings();
    QCOMPARE(other.passwordEdit()->text(), QString(32, QLatin1Char('k')));
    QCOMPARE(other.portBox(1)->value(), 12001);
    QCOMPARE(Settings::instance()->value(Settings::IncomingUdpCwPort, Settings::Connection).toUInt(), 65535u);

    tab.showPasswordRow(false);
    QVERIFY(!tab.isPasswordRowShown());
    tab.showPasswordRow(true);
    QVERIFY(tab.isPasswordRowShown());
}

void TstNetworkTabs::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("load");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("load, no device") << "unplug" << true << kOpenFail << QStringList();
    QTest::newRow("load, never answers") << "silent on" << true << kReadFail << QStringList { "get 13" };
    QTest::newRow("load, pulled after two requests")
        << "unplug-after 2" << true << kReadFail << QStringList { "get 13", "get 14" };
    QTest::newRow("apply, no device") << "unplug" << false << kOpenFail << QStringList();
    QTest::newRow("apply, pulled after two writes")
        << "unplug-after 2" << false << kWriteFail
        << QStringList { "set 13 192.168.1.7", "set 14 255.255.255.0" };
}

void TstNetworkTabs::failures()
{
    QFETCH(QString, setup);
    QFETCH(bool, load);
    QFETCH(QString, box);
    QFETCH(QStringList, log);

    IfNetworkTab tab;
    attach(tab, *m_hid);
    tab.field(0)->setAddress(0x0701A8C0);
    tab.field(1)->setAddress(0x00FFFFFF);
    tab.field(2)->setAddress(0x0101A8C0);
    tab.field(3)->setAddress(0x0101A8C0);
    m_sim.control(setup);
    QSignalSpy status(&tab, &AbstractTab::statusMessage);
    m_boxes->rearm();
    if (load)
        QVERIFY(!tab.loadData());
    else
        tab.applyData();
    QCOMPARE(m_boxes->boxes.size(), 1);
    QCOMPARE(m_boxes->boxes[0].title, QStringLiteral("Error"));
    QVERIFY2(m_boxes->boxes[0].text.startsWith(box), qPrintable(m_boxes->boxes[0].text));
    QVERIFY(m_boxes->boxes[0].text.endsWith("\n\nPlease make sure it is connected to your computer."));
    if (setup == "silent on")
        QVERIFY2(m_boxes->boxes[0].atMs >= 240, "the box comes after the 250 ms read");
    QVERIFY(!m_hid->isOpen());
    QVERIFY(status.isEmpty());
    QCOMPARE(requests(m_sim), log);
}

void TstNetworkTabs::applyButtonWritesThenAsksForCommit()
{
    WiFiTab tab;
    attach(tab, *m_hid);
    tab.nameBox()->setEditText("Lab");
    QSignalSpy apply(&tab, &AbstractTab::apply);
    QTest::mouseClick(tab.buttons()->applyButton(), Qt::LeftButton);
    // The writes are done by the click; the commit request follows from the event loop.
    QCOMPARE(requests(m_sim), QStringList({ "set 8 Lab", "set 9 " }));
    QCOMPARE(apply.count(), 0);
    QTRY_COMPARE(apply.count(), 1);

    // Also when the write failed.
    m_sim.control("unplug");
    LogCapture logs;
    QTest::mouseClick(tab.buttons()->applyButton(), Qt::LeftButton);
    QTRY_COMPARE(apply.count(), 2);
    QVERIFY(m_boxes->texts().value(0).startsWith(kOpenFail));

    // Restore reloads; a Wi-Fi read failure also leaves its log line.
    m_sim.control("plug");
    m_sim.control("silent on");
    QTest::mouseClick(tab.buttons()->restoreButton(), Qt::LeftButton);
    QVERIFY(m_boxes->texts().last().startsWith(kReadFail));
    QVERIFY(logs.contains("Error: "));
    QVERIFY(logs.contains("in WiFi tab."));
}

void TstNetworkTabs::noInterfaceDoesNothing()
{
    ConnectingTab tab;
    QVERIFY(!tab.loadData());
    tab.applyData();
    QVERIFY(m_boxes->boxes.isEmpty());
    QVERIFY(requests(m_sim).isEmpty());
}

QTEST_MAIN(TstNetworkTabs)
#include "tst_networktabs.moc"
