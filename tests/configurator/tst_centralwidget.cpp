#include "common/settings.h"
#include "configurator/centralwidget.h"
#include "configurator/connectingtab.h"
#include "configurator/ifnetworktab.h"
#include "configurator/ipaddressfield.h"
#include "configurator/mainwindow.h"
#include "configurator/permission.h"
#include "configurator/tabbattons.h"
#include "configurator/updatefwtab.h"
#include "configurator/wifitab.h"
#include "platform/hid/hidnotifier.h"
#include "tests/configurator/testsupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace brelko;
using namespace configurator;

using namespace TestSupport;

namespace {
const QStringList kLoadOrder = loadOrder();
const QStringList kAllTabs { "Wi-Fi", "Networking", "Permissions", "Connection", "DDNS", "Files", "Status" };

// What applying every editing tab of a default device sends, Wi-Fi first.
QStringList applyAll(const QString &wifiName, const QString &wifiPassword = QString())
{
    QStringList out { "set 8 " + wifiName, "set 9 " + wifiPassword, "set 13 192.168.1.7",
        "set 14 255.255.255.0", "set 15 192.168.1.1", "set 16 192.168.1.1", "set 17 brelko", "set 18 11000",
        "set 19 11000", "set 20 8765", "set 21 0", "set 22 0", "set 23 ", "set 24 ", "set 25 " };
    for (int slot = 0; slot < 7; ++slot)
        out << QStringLiteral("set 29 %1 0 1 1").arg(slot) << QStringLiteral("set 30 %1 ").arg(slot);
    return out;
}
constexpr int kWait = 8000;

QStringList tabTitles(QTabWidget *tabs)
{
    QStringList out;
    for (int i = 0; i < tabs->count(); ++i)
        out << tabs->tabText(i);
    return out;
}

bool promptShown(CentralWidget *c)
{
    return c->connectLabel()->isVisible() && c->cableLabel()->isVisible() && !c->tabWidget()->isVisible()
        && !c->saveAndExitButton()->isVisible();
}

bool tabsShown(CentralWidget *c)
{
    return !c->connectLabel()->isVisible() && !c->cableLabel()->isVisible() && c->tabWidget()->isVisible()
        && c->saveAndExitButton()->isVisible();
}
} // namespace

class TstCentralWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void arrivalLoadsTabsInOrder();
    void deviceAtStartUpIsAnnounced();
    void applyWritesCommitsAndReloadsAfterRejoin();
    void deviceThatDoesNotReturnIsShownGone();
    void silentDeviceStopsTheLoadChain();
    void unpluggedDuringLoad();
    void deniedNodeIsNamedWithTheFix();
    void compatibilityShowsOrHidesThePasswordRow();
    void saveAndExit_data();
    void saveAndExit();
    void firmwareUpdateFlags();
    void quickRejoinEndsTheUpdateFlag();
    void iniFileHooks();
    void handBackDirectory_data();
    void handBackDirectory();
    void screenshots();

private:
    void startWindow();
    QStringList statusTexts() const;

    HidSimThread m_sim;
    BoxWatcher *m_boxes = nullptr;
    std::unique_ptr<MainWindow> m_window;
    CentralWidget *m_central = nullptr;
    std::unique_ptr<QSignalSpy> m_status;
};

void TstCentralWidget::initTestCase()
{
    QVERIFY2(preloaded(), "run through ctest: the simulated hidapi must be preloaded");
    QVERIFY(m_sim.start(hidSocketPath()));
    QCOMPARE(m_sim.control("add sibling 0x0483 0x5A42 0x0200"), QStringLiteral("added"));
    QCOMPARE(m_sim.control("add mouse 0x046d 0xc077 0x7200"), QStringLiteral("added"));
    QApplication::setQuitOnLastWindowClosed(false);
    m_boxes = new BoxWatcher(this);
    Settings::instance()->setFile(testHome() + "/config.ini");
}

void TstCentralWidget::init()
{
    for (const char *c : { "plug", "deny off", "factory", "silent off", "corrupt off", "unplug-after 0",
             "rejoin 1000", "@sibling unplug", "@mouse unplug", "clearlog" })
        m_sim.control(QString::fromLatin1(c));
    // The notifier starts each test knowing the bus as it is now.
    HidNotifier::instance()->rescan();
    m_boxes->rearm();
}

void TstCentralWidget::cleanup()
{
    m_status.reset();
    m_window.reset();
    m_central = nullptr;
}

void TstCentralWidget::startWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_central = m_window->centralPart();
    m_status = std::make_unique<QSignalSpy>(m_central, &CentralWidget::statusMsg);
    m_window->resize(640, 420);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

QStringList TstCentralWidget::statusTexts() const
{
    QStringList out;
    for (const QList<QVariant> &args : qAsConst(*m_status))
        out << args.value(0).toString();
    return out;
}

void TstCentralWidget::deviceAtStartUpIsAnnounced()
{
    // Plugged in before the window exists: loaded in the constructor, and the
    // status bar still hears of it.
    startWindow();
    QVERIFY(tabsShown(m_central));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_window->statusBar()->currentMessage(), QStringLiteral("Device connected"), kWait);
}

void TstCentralWidget::arrivalLoadsTabsInOrder()
{
    m_sim.control("unplug");
    m_sim.control("clearlog");
    startWindow();
    QVERIFY(promptShown(m_central));
    QCOMPARE(m_central->connectLabel()->text(),
        QStringLiteral("Please connect your Zentrik Brelko to the USB port of your computer.\n\n"));
    QCOMPARE(m_central->connectLabel()->font().pixelSize(), 25);
    QCOMPARE(tabTitles(m_central->tabWidget()), kAllTabs);
    QVERIFY(requests(m_sim).isEmpty());

    m_sim.control("value 13 192.168.1.10");
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts().contains("Device connected"), kWait);
    QVERIFY(tabsShown(m_central));
    QCOMPARE(requests(m_sim), kLoadOrder);
    QTRY_COMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Device connected"));
    const QStringList octets { m_central->networkTab()->field(0)->octet(0)->text(),
        m_central->networkTab()->field(0)->octet(3)->text() };
    QCOMPARE(octets, QStringList({ "192", "10" }));

    // Other HID devices come and go unnoticed, even one on the Brelko's ids.
    QSignalSpy arrivals(HidNotifier::instance(), &HidNotifier::deviceArrival);
    m_status->clear();
    m_central->wifiTab()->nameBox()->setEditText("Unsaved edit");
    m_sim.control("@sibling plug");
    m_sim.control("@mouse plug");
    QTRY_VERIFY_WITH_TIMEOUT(arrivals.count() >= 2, kWait);
    QCoreApplication::processEvents();
    QCOMPARE(requests(m_sim), kLoadOrder);
    QVERIFY(requests(m_sim, "sibling").isEmpty());
    QVERIFY(tabsShown(m_central));
    QCOMPARE(m_central->wifiTab()->nameBox()->currentText(), QStringLiteral("Unsaved edit"));
    QSignalSpy removals(HidNotifier::instance(), &HidNotifier::deviceRemove);
    m_sim.control("@mouse unplug");
    QTRY_VERIFY_WITH_TIMEOUT(removals.count() >= 1, kWait);
    QCoreApplication::processEvents();
    QVERIFY(!statusTexts().contains("Device disconnected"));
    QVERIFY(tabsShown(m_central));

    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), kWait);
    QTRY_COMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Device disconnected"));
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstCentralWidget::applyWritesCommitsAndReloadsAfterRejoin()
{
    m_sim.control("rejoin 1500");
    startWindow();
    QCOMPARE(requests(m_sim), kLoadOrder);
    QVERIFY(tabsShown(m_central));

    QSignalSpy removals(HidNotifier::instance(), &HidNotifier::deviceRemove);
    m_sim.control("clearlog");
    m_status->clear();
    m_central->networkTab()->field(0)->setAddress(0x2A01A8C0); // 192.168.1.42
    QTest::mouseClick(m_central->networkTab()->buttons()->applyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(requests(m_sim).contains("commit"), kWait);
    QVERIFY(m_central->isAwaitingReturn());

    // The device leaves the bus and comes back; only the return shows.
    QTRY_VERIFY_WITH_TIMEOUT(removals.count() >= 1, kWait);
    QVERIFY(tabsShown(m_central));
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts().contains("Device connected"), kWait);
    QVERIFY(!statusTexts().contains("Device disconnected"));
    QVERIFY(!m_central->isAwaitingReturn());
    QVERIFY(m_central->isRemovalShown());

    const QStringList log = requests(m_sim);
    const QStringList applied { "set 13 192.168.1.42", "set 14 255.255.255.0", "set 15 192.168.1.1",
        "set 16 192.168.1.1", "commit" };
    QCOMPARE(log.mid(0, 5), applied);
    QCOMPARE(log.mid(5), kLoadOrder);
    QCOMPARE(log.count("commit"), 1);
    QCOMPARE(m_sim.control("stored 13"), QStringLiteral("192.168.1.42"));
    QCOMPARE(m_central->networkTab()->field(0)->octet(3)->text(), QStringLiteral("42"));

    // Removal is reported again once the device is back.
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), kWait);
}

void TstCentralWidget::deviceThatDoesNotReturnIsShownGone()
{
    m_sim.control("rejoin 600000");
    startWindow();
    m_sim.control("clearlog");
    m_status->clear();
    QElapsedTimer sinceSave;
    sinceSave.start();
    m_central->save();
    QCOMPARE(requests(m_sim), QStringList { "commit" });
    QVERIFY(tabsShown(m_central));
    QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), 5000 + kWait);
    // Given up 5 s after the save: not before (a coarse
    // timer may fire up to 5 % early), and not much later.
    QVERIFY2(sinceSave.elapsed() >= 5000 - 300 && sinceSave.elapsed() <= 5000 + 1500,
        qPrintable(QString::number(sinceSave.elapsed())));
    QVERIFY(statusTexts().contains("Device disconnected"));
    QVERIFY(m_central->isAwaitingReturn()); // keeps waiting for the device

    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(tabsShown(m_central), kWait);
    QVERIFY(!m_central->isAwaitingReturn());
    QTRY_VERIFY(statusTexts().contains("Device connected"));
}

void TstCentralWidget::silentDeviceStopsTheLoadChain()
{
    m_sim.control("unplug");
    startWindow();
    m_sim.control("silent on");
    m_sim.control("clearlog");
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(m_boxes->boxes.size() == 1, kWait);
    QCOMPARE(m_boxes->boxes[0].title, QStringLiteral("Error"));
    QVERIFY(m_boxes->boxes[0].text.startsWith("Can't read data from the Zentrik Brelko interface."));
    QTRY_COMPARE(requests(m_sim), QStringList { "get 8" });
    QCoreApplication::processEvents();
    QVERIFY(!statusTexts().contains("Device connected"));
    QVERIFY(m_central->tabWidget()->isVisible()); // the failed load leaves the tabs up
}

void TstCentralWidget::unpluggedDuringLoad()
{
    m_sim.control("unplug");
    startWindow();
    m_sim.control("unplug-after 3");
    m_sim.control("clearlog");
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(m_boxes->boxes.size() >= 1, kWait);
    QVERIFY(m_boxes->boxes[0].text.startsWith("Can't read data from the Zentrik Brelko interface."));
    QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), kWait);
    QCOMPARE(requests(m_sim), QStringList({ "get 8", "get 9", "get 13" }));
    QVERIFY(!statusTexts().contains("Device connected"));
    QCOMPARE(m_boxes->boxes.size(), 1);
}

void TstCentralWidget::deniedNodeIsNamedWithTheFix()
{
    // The box is there but its node may not be opened (no udev rule yet).
    QCOMPARE(m_sim.control("deny on"), QStringLiteral("deny on"));
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_boxes->boxes.size() >= 1, kWait);
    const QString text = m_boxes->boxes[0].text;
    const QRegularExpressionMatch node = QRegularExpression(
        QStringLiteral("^No permission to open the Zentrik Brelko interface at (\\S+)\\."))
                                             .match(text);
    QVERIFY2(node.hasMatch() && !node.captured(1).isEmpty(), qPrintable(text));
    QVERIFY2(text.contains("70-brelko.rules") && text.contains("udevadm"), qPrintable(text));
    QVERIFY(m_window->isVisible());

    // Access granted: the next arrival loads as usual.
    m_sim.control("deny off");
    m_sim.control("unplug");
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts().contains("Device connected"), kWait);
}

void TstCentralWidget::compatibilityShowsOrHidesThePasswordRow()
{
    startWindow();
    ConnectingTab *conn = m_central->connectingTab();
    QTabWidget *tabs = m_central->tabWidget();
    m_central->compatibility(2);
    QVERIFY(!conn->isPasswordRowShown());
    QCOMPARE(tabTitles(tabs), kAllTabs);
    m_central->compatibility(1);
    QVERIFY(conn->isPasswordRowShown());
    QCOMPARE(
        tabTitles(tabs), QStringList({ "Wi-Fi", "Networking", "Connection", "DDNS", "Files", "Status" }));
    m_central->compatibility(7); // unknown: nothing changes
    QVERIFY(conn->isPasswordRowShown());
    QCOMPARE(tabs->count(), 6);
    LogCapture log;
    m_central->compatibility(2);
    QCOMPARE(tabTitles(tabs), kAllTabs);
    QCOMPARE(tabs->widget(2), static_cast<QWidget *>(m_central->permissionTab()));
    QVERIFY(log.contains("Add tab"));
    m_central->compatibility(2); // already there: added once
    QCOMPARE(tabs->count(), 7);
}

void TstCentralWidget::saveAndExit_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("device present") << true;
    QTest::newRow("no device") << false;
}

void TstCentralWidget::saveAndExit()
{
    QFETCH(bool, present);
    startWindow();
    if (!present) {
        m_sim.control("unplug");
        QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), kWait);
    }
    m_central->wifiTab()->nameBox()->setEditText("Field day");
    m_sim.control("clearlog");
    QSignalSpy quit(m_central, &CentralWidget::quit);
    m_central->saveAndExit();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_window->isVisible());
    if (present) {
        QCOMPARE(requests(m_sim), applyAll("Field day") << "commit");
    } else {
        QVERIFY(requests(m_sim).isEmpty());
    }
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstCentralWidget::firmwareUpdateFlags()
{
    startWindow();
    m_central->startUploadFw();
    for (int i = 0; i < m_central->tabWidget()->count(); ++i) {
        QWidget *tab = m_central->tabWidget()->widget(i);
        QCOMPARE(tab->isEnabled(), tab == static_cast<QWidget *>(m_central->filesTab()));
    }
    QVERIFY(!m_central->saveAndExitButton()->isEnabled());
    m_central->updateProcess();

    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(m_central->fwUpdatingLabel()->isVisible(), kWait);
    QVERIFY(m_central->fwNoDisconnectLabel()->isVisible());
    QVERIFY(!m_central->connectLabel()->isVisible());

    m_central->finishUploadFw();
    QVERIFY(m_central->saveAndExitButton()->isEnabled());
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(tabsShown(m_central), kWait);
    QVERIFY(!m_central->fwUpdatingLabel()->isVisible());
    QVERIFY(m_central->tabWidget()->widget(0)->isEnabled());
    // The firmware notice is shown once; the next removal is an ordinary one.
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), kWait);
    QVERIFY(!m_central->fwUpdatingLabel()->isVisible());
}

void TstCentralWidget::quickRejoinEndsTheUpdateFlag()
{
    startWindow();
    m_central->startUploadFw();
    m_central->updateProcess();
    // The upload ends while the device is away, and it is back before the
    // notifier's next look.
    m_sim.control("unplug");
    m_central->finishUploadFw();
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(!m_central->isFirmwareUpdating(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(tabsShown(m_central), kWait);
    // The next removal is an ordinary one.
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(promptShown(m_central), kWait);
    QVERIFY(!m_central->fwUpdatingLabel()->isVisible());
    QVERIFY(!m_central->fwNoDisconnectLabel()->isVisible());
}

void TstCentralWidget::iniFileHooks()
{
    startWindow();
    const QString file = testHome() + "/exported.ini";
    QFile::remove(file);
    Settings::instance()->setFile(file);
    m_central->savedIniFile();
    Settings::instance()->sync();
    {
        QSettings ini(file, QSettings::IniFormat);
        QCOMPARE(ini.value("WiFi/NetworkName").toString(), QStringLiteral("Brelko"));
        QCOMPARE(ini.value("Networking/IPAddress").toString(), QStringLiteral("192.168.1.7"));
        QCOMPARE(ini.value("Connection/IncomingUdpCwPort").toUInt(), 8765u);
        QCOMPARE(ini.value("DDNS/UseDDNS").toString(), QStringLiteral("false"));
        QCOMPARE(ini.value("Permission/PermWorkTime6").toInt(), 1);
    }
    QVERIFY(requests(m_sim) == kLoadOrder); // exporting talks to nobody

    const QString imported = testHome() + "/imported.ini";
    {
        QSettings ini(imported, QSettings::IniFormat);
        ini.clear();
        ini.setValue("WiFi/NetworkName", "Imported");
        ini.setValue("WiFi/NetworkPassword", "pw");
        ini.setValue("Networking/IPAddress", "10.0.0.2");
        ini.setValue("Networking/MaskAddress", "255.0.0.0");
        ini.setValue("Networking/GatewayAddress", "10.0.0.1");
        ini.setValue("Networking/DNSAddress", "10.0.0.1");
        ini.setValue("Connection/AccessPassword", "x");
        ini.setValue("Connection/IncomingTcpPort", 1);
        ini.setValue("Connection/IncomingUdpPort", 2);
        ini.setValue("Connection/IncomingUdpCwPort", 3);
    }
    Settings::instance()->setFile(imported);
    m_sim.control("clearlog");
    m_central->loadIniFile();
    // Keys the file lacks (DDNS, permission slots) keep what the tabs show.
    QStringList expected = applyAll("Imported", "pw");
    expected.replace(2, "set 13 10.0.0.2");
    expected.replace(3, "set 14 255.0.0.0");
    expected.replace(4, "set 15 10.0.0.1");
    expected.replace(5, "set 16 10.0.0.1");
    expected.replace(6, "set 17 x");
    expected.replace(7, "set 18 1");
    expected.replace(8, "set 19 2");
    expected.replace(9, "set 20 3");
    QCOMPARE(requests(m_sim), expected << "commit");
    QVERIFY(m_central->isAwaitingReturn());
    Settings::instance()->setFile(testHome() + "/config.ini");
}

void TstCentralWidget::handBackDirectory_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("dir");
    QTest::newRow("absolute") << "/opt/zentrik/morvex"
                              << "/opt/zentrik/";
    QTest::newRow("relative") << "bin/morvex"
                              << "bin/";
    QTest::newRow("bare name") << "morvex"
                               << "";
}

void TstCentralWidget::handBackDirectory()
{
    QFETCH(QString, program);
    QFETCH(QString, dir);
    QCOMPARE(MainWindow::handBackDirectory(program), dir);
}

void TstCentralWidget::screenshots()
{
    const QString dir = testHome() + "/screenshots";
    QDir().mkpath(dir);
    m_sim.control("unplug");
    startWindow();
    QVERIFY(m_window->grab().save(dir + "/no-device.png"));
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(tabsShown(m_central), kWait);
    QTabWidget *tabs = m_central->tabWidget();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString file = dir + "/tab-" + tabs->tabText(i).toLower().remove('-') + ".png";
        QVERIFY(m_window->grab().save(file));
        QVERIFY(QFileInfo(file).size() > 0);
    }
}

QTEST_MAIN(TstCentralWidget)
#include "tst_centralwidget.moc"
