// The Files tab in the real main window against the simulated device:
// firmware checks and upload, settings export/import, reset, the firmware
// recommendation and the tab placement the firmware's feature word decides.

#include "common/settings.h"
#include "configurator/centralwidget.h"
#include "configurator/connectingtab.h"
#include "configurator/ddnstab.h"
#include "configurator/firmwareimage.h"
#include "configurator/ifnetworktab.h"
#include "configurator/ipaddressfield.h"
#include "configurator/mainwindow.h"
#include "configurator/permission.h"
#include "configurator/permitem.h"
#include "configurator/updatefwtab.h"
#include "configurator/wifitab.h"
#include "platform/hid/hidnotifier.h"
#include "tests/configurator/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QtEndian>
#include <QtTest>
#include <algorithm>

#include <memory>

using namespace brelko;
using namespace configurator;

using namespace TestSupport;

namespace {
constexpr int kWait = 8000;
const QString kProceed = QStringLiteral("The firmware update process will now start.");
const QString kFeatureQuestion
    = QStringLiteral("In this version of firmware some functionality was improved.");

QByteArray firmware(int size, quint32 image = 0xFE0A0001, quint32 feature = 2, quint32 major = 1,
    quint32 minor = 3, quint32 build = 0)
{
    QByteArray f(size, '\0');
    quint32 x = 0x12345678u + quint32(size);
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        f[i] = char(x >> 24);
    }
    if (size >= 412) {
        qToLittleEndian<quint32>(image, f.data() + 392);
        qToLittleEndian<quint32>(major, f.data() + 396);
        qToLittleEndian<quint32>(minor, f.data() + 400);
        qToLittleEndian<quint32>(build, f.data() + 404);
        qToLittleEndian<quint32>(feature, f.data() + 408);
    }
    return f;
}

QString writeFile(const QString &name, const QByteArray &data)
{
    const QString path = testHome() + "/" + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(data);
    return path;
}

bool hasBox(const BoxWatcher *w, const QString &start)
{
    for (const SeenBox &b : w->boxes) {
        if (b.text.startsWith(start))
            return true;
    }
    return false;
}

bool noChunks(const QStringList &log)
{
    for (const QString &l : log) {
        if (l.startsWith("chunk"))
            return false;
    }
    return true;
}
} // namespace

class TstFilesTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void uploadCompletes();
    void fileChecks_data();
    void fileChecks();
    void featureQuestion_data();
    void featureQuestion();
    void unplugDuringUpload();
    void deviceStopsAnsweringDuringUpload();
    void recommendation_data();
    void recommendation();
    void featureWordPlacesPermissions_data();
    void featureWordPlacesPermissions();
    void exportImportRoundTrip();
    void importBadFile();
    void cancelledDialogsKeepTheStore();
    void resetToDefaults_data();
    void resetToDefaults();
    void screenshot();

private:
    void startWindow(bool show = true);
    QStringList statusTexts() const;

    HidSimThread m_sim;
    BoxWatcher *m_boxes = nullptr;
    std::unique_ptr<MainWindow> m_window;
    CentralWidget *m_central = nullptr;
    UpdateFwTab *m_files = nullptr;
    std::unique_ptr<QSignalSpy> m_status;
};

void TstFilesTab::initTestCase()
{
    QVERIFY2(preloaded(), "run through ctest: the simulated hidapi must be preloaded");
    QVERIFY(m_sim.start(hidSocketPath()));
    QApplication::setQuitOnLastWindowClosed(false);
    m_boxes = new BoxWatcher(this);
    Settings::instance()->setFile(testHome() + "/config.ini");
}

void TstFilesTab::init()
{
    for (const char *c : { "plug", "factory", "silent off", "unplug-after 0", "rejoin 800", "feature 2",
             "imageword 0xFE0A0001", "value 6 1.2.0", "clearlog" })
        m_sim.control(QString::fromLatin1(c));
    Settings::instance()->setFile(testHome() + "/config.ini");
    HidNotifier::instance()->rescan();
    m_boxes->rearm();
}

void TstFilesTab::cleanup()
{
    m_status.reset();
    m_window.reset();
    m_central = nullptr;
    m_files = nullptr;
}

void TstFilesTab::startWindow(bool show)
{
    m_window = std::make_unique<MainWindow>();
    m_central = m_window->centralPart();
    m_files = m_central->filesTab();
    m_status = std::make_unique<QSignalSpy>(m_central, &CentralWidget::statusMsg);
    m_window->resize(640, 440);
    if (show) {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
}

QStringList TstFilesTab::statusTexts() const
{
    QStringList out;
    for (const QList<QVariant> &args : qAsConst(*m_status))
        out << args.value(0).toString();
    return out;
}

void TstFilesTab::uploadCompletes()
{
    const QByteArray file = firmware(300000, 0xFE0A0001, 2, 1, 3, 0);
    const QString path = writeFile("new.refw", file);
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    QCOMPARE(m_files->firmwareVersionLabel()->text(), QStringLiteral("1.2.0"));
    QCOMPARE(m_files->hardwareVersionLabel()->text(), QStringLiteral("1.0"));
    m_central->tabWidget()->setCurrentWidget(m_files);

    // Browse: the dialog's choice becomes the path.
    m_boxes->chooseFile = path;
    QTest::mouseClick(m_files->browseButton(), Qt::LeftButton);
    QCOMPARE(m_boxes->fileDialogs, QStringList { "Open the firmware file" });
    QCOMPARE(m_files->fileNameEdit()->text(), path);

    m_sim.control("clearlog");
    // Away long enough after the restart for the notices to be seen on a busy machine.
    m_sim.control("rejoin 5000");
    m_boxes->answer = QMessageBox::Yes;
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QVERIFY(m_files->isUploading());
    QVERIFY(m_files->progressBar()->isVisible());
    QVERIFY(!m_files->updateButton()->isEnabled() && !m_files->importButton()->isEnabled()
        && !m_files->browseButton()->isEnabled() && !m_files->resetButton()->isEnabled());
    QVERIFY(!m_central->wifiTab()->isEnabled());
    QVERIFY(!m_central->saveAndExitButton()->isEnabled());
    QTRY_COMPARE(m_window->statusBar()->currentMessage(),
        QStringLiteral("Uploading firmware... It takes several minutes."));
    // A real event loop while it uploads: polling with QTRY sleeps between
    // rounds and would hold back the 5 ms tick.
    QSignalSpy progress(m_files->progressBar(), &QProgressBar::valueChanged);
    QSignalSpy finished(m_files, &UpdateFwTab::finishedUpdate);
    QVERIFY(finished.wait(300000));
    QList<int> shown;
    for (const QList<QVariant> &args : qAsConst(progress))
        shown << args.value(0).toInt();
    QVERIFY(shown.size() >= 50);
    QVERIFY(std::is_sorted(shown.begin(), shown.begin() + shown.indexOf(100) + 1));
    QVERIFY(shown.contains(100));

    QTRY_VERIFY_WITH_TIMEOUT(requests(m_sim).contains("restart"), kWait);
    QStringList log = requests(m_sim);
    QCOMPARE(log.value(0), QStringLiteral("chunk 0"));
    const int chunks = 1 + (300000 - 52 + 57) / 58;
    QCOMPARE(log.filter(QRegularExpression("^chunk \\d+$")).size(), chunks);
    QCOMPARE(log.value(chunks), QStringLiteral("chunk end"));
    QCOMPARE(log.value(chunks + 1), QStringLiteral("restart"));
    QCOMPARE(log.value(chunks + 2), QStringLiteral("new firmware 1.3.0 feature 2"));
    // One chunk every 5 ms, in the device's own clock. The whole upload never
    // runs ahead of chunks x 5 ms; a busy test machine may slow it down, so
    // the pace itself is read from the quickest 100 reports in a row.
    const QString timing = m_sim.control("uploadtime");
    const QRegularExpressionMatch t
        = QRegularExpression("^chunks=(\\d+) ms=(\\d+) fastest-100-gaps-us=(\\d+)$").match(timing);
    QVERIFY2(t.hasMatch(), qPrintable(timing));
    qInfo().noquote() << timing;
    QCOMPARE(t.captured(1).toInt(), chunks);
    QVERIFY2(t.captured(2).toDouble() >= chunks * 5 * 0.9, qPrintable(timing));
    const double paceMs = t.captured(3).toDouble() / 100 / 1000;
    QVERIFY2(paceMs >= 4.5 && paceMs <= 5.5, qPrintable(timing));
    QVERIFY(statusTexts().contains("Firmware uploaded successfully"));
    QVERIFY(m_files->fileNameEdit()->text().isEmpty());
    QVERIFY(m_files->updateButton()->isEnabled());

    // The device leaves (firmware notices), comes back and shows the new version.
    QTRY_VERIFY_WITH_TIMEOUT(m_central->fwUpdatingLabel()->isVisible(), kWait);
    QVERIFY(m_central->fwNoDisconnectLabel()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(m_files->firmwareVersionLabel()->text(), QStringLiteral("1.3.0"), kWait);
    QVERIFY(m_central->tabWidget()->isVisible());
    QVERIFY(m_central->wifiTab()->isEnabled());
    QVERIFY(m_boxes->boxes.size() == 1); // only the question
    QCOMPARE(m_sim.control("fwsha1"),
        QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha1).toHex()));
}

void TstFilesTab::fileChecks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("box");
    QTest::newRow("exactly 500000") << firmware(500000) << kProceed;
    QTest::newRow("500001") << firmware(500001) << "Incorrect file size.";
    QTest::newRow("empty") << QByteArray() << "Incorrect file size.";
    // The mask is checked before the device is compared with.
    QTest::newRow("image bit clear") << firmware(4096, 0xFE020001)
                                     << "Unfortunately, the firmware can not be "
                                        "updated:\n\nNot a valid firmware";
    QTest::newRow("truncated") << firmware(4096).left(300)
                               << "Unfortunately, the firmware can not be "
                                  "updated:\n\nNot a valid firmware";
    QTest::newRow("random") << firmware(4096, 0)
                            << "Unfortunately, the firmware can not be updated:\n\nNot a valid";
    QTest::newRow("other device") << firmware(4096, 0xFE0A0003)
                                  << "Unfortunately, the firmware can not be "
                                     "updated:\n\nThis firmware update file is "
                                     "incompatible";
}

void TstFilesTab::fileChecks()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_files->setFirmwarePath(writeFile("check.refw", file));
    m_sim.control("clearlog");
    // An accepted size reaches the start question (answered No here); the
    // others are answered Yes so the file checks run.
    m_boxes->answer = box == kProceed ? QMessageBox::No : QMessageBox::Yes;
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(hasBox(m_boxes, box), kWait);
    QCoreApplication::processEvents();
    QVERIFY(!m_files->isUploading());
    QVERIFY(noChunks(requests(m_sim)));
    QVERIFY(m_files->updateButton()->isEnabled());
    QVERIFY(!hasBox(m_boxes, kFeatureQuestion));
    QVERIFY(m_central->wifiTab()->isEnabled());
}

void TstFilesTab::featureQuestion_data()
{
    QTest::addColumn<bool>("proceed");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void TstFilesTab::featureQuestion()
{
    QFETCH(bool, proceed);
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_files->setFirmwarePath(writeFile("feature.refw", firmware(2000, 0xFE0A0001, 1)));
    m_sim.control("clearlog");
    m_boxes->decide = [proceed](const QString &text) {
        return text.startsWith(kFeatureQuestion) && !proceed ? QMessageBox::No : QMessageBox::Yes;
    };
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(hasBox(m_boxes, kFeatureQuestion), kWait);
    if (!proceed) {
        QVERIFY(!m_files->isUploading());
        QCoreApplication::processEvents();
        QCOMPARE(requests(m_sim), QStringList());
        return;
    }
    // The new firmware has other features: the device comes back with its
    // defaults and the Connection tab's password row.
    QTRY_VERIFY_WITH_TIMEOUT(requests(m_sim).contains("restart"), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(
        m_central->tabWidget()->isVisible() && m_central->tabWidget()->count() == 6, kWait);
    QVERIFY(m_central->connectingTab()->isPasswordRowShown());
}

void TstFilesTab::unplugDuringUpload()
{
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_files->setFirmwarePath(writeFile("unplug.refw", firmware(60000)));
    m_boxes->answer = QMessageBox::Yes;
    m_sim.control("clearlog");
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(requests(m_sim).size() > 100, kWait);
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(!m_files->isUploading(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(hasBox(m_boxes, "Can't write data to the Zentrik Brelko interface."), kWait);
    QVERIFY(m_files->updateButton()->isEnabled() && m_files->browseButton()->isEnabled()
        && m_files->importButton()->isEnabled() && m_files->exportButton()->isEnabled()
        && m_files->resetButton()->isEnabled());
    QVERIFY(!m_files->progressBar()->isVisible());
    QCOMPARE(m_files->progressBar()->value(), 0);
    QCOMPARE(m_files->fileNameEdit()->text(), testHome() + "/unplug.refw"); // ready to retry
    QTRY_VERIFY_WITH_TIMEOUT(m_central->fwUpdatingLabel()->isVisible(), kWait);
    QVERIFY(m_central->fwNoDisconnectLabel()->isVisible());
    QVERIFY(!m_central->connectLabel()->isVisible());
    QVERIFY(m_central->saveAndExitButton()->isEnabled());
    QCOMPARE(m_sim.control("fwinfo").section(' ', 2, 3), QStringLiteral("complete 0"));

    // Once: back, then gone again is an ordinary removal.
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    QVERIFY(!m_central->fwUpdatingLabel()->isVisible());
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(m_central->connectLabel()->isVisible(), kWait);
    QVERIFY(!m_central->fwUpdatingLabel()->isVisible());
}

void TstFilesTab::deviceStopsAnsweringDuringUpload()
{
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_files->setFirmwarePath(writeFile("stall.refw", firmware(30000)));
    m_boxes->answer = QMessageBox::Yes;
    m_sim.control("clearlog");
    m_sim.control("unplug-after 40");
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(hasBox(m_boxes, "Can't write data to the Zentrik Brelko interface."), kWait);
    QVERIFY(!m_files->isUploading());
    QCOMPARE(requests(m_sim).size(), 40);
    QVERIFY(m_files->updateButton()->isEnabled());

    // A retry starts again with a fresh first chunk.
    m_sim.control("plug");
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_sim.control("clearlog");
    m_boxes->rearm();
    m_boxes->answer = QMessageBox::Yes;
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(requests(m_sim).contains("restart"), 60000);
    QCOMPARE(requests(m_sim).value(0), QStringLiteral("chunk 0"));
}

void TstFilesTab::recommendation_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("shown");
    QTest::newRow("1.1.6") << "1.1.6" << true;
    QTest::newRow("1.1.7") << "1.1.7" << false;
    QTest::newRow("1.2.0") << "1.2.0" << false;
    QTest::newRow("2.0.0") << "2.0.0" << false;
}

void TstFilesTab::recommendation()
{
    QFETCH(QString, version);
    QFETCH(bool, shown);
    m_sim.control("value 6 " + version);
    startWindow(false);
    QTest::qWait(200); // the window is not shown: nothing may appear meanwhile
    QVERIFY(m_boxes->boxes.isEmpty());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    if (shown) {
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->boxes.size(), 1, kWait);
        QCOMPARE(m_boxes->boxes[0].title, QStringLiteral("Update Brelko firmware"));
        QVERIFY(m_boxes->boxes[0].text.startsWith(
            "We strongly recommend that you update\nyour Brelko's firmware to version 1.1.7 or higher."));
        QVERIFY(
            m_boxes->boxes[0].text.endsWith("\nAfter that you should choose the \"Files\" tab\nand update "
                                            "firmware."));
    }
    // The device rejoining after a commit does not ask again.
    m_central->save();
    QTRY_VERIFY_WITH_TIMEOUT(
        statusTexts().count("Device connected") >= 1 && !m_central->isAwaitingReturn(), kWait);
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes->boxes.size(), shown ? 1 : 0);
}

void TstFilesTab::featureWordPlacesPermissions_data()
{
    QTest::addColumn<int>("feature");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("passwordRow");
    QTest::addColumn<bool>("slotsRead");
    QTest::newRow("1") << 1 << QStringList({ "Wi-Fi", "Networking", "Connection", "DDNS", "Files", "Status" })
                       << true << false;
    QTest::newRow("2") << 2
                       << QStringList({ "Wi-Fi", "Networking", "Permissions", "Connection", "DDNS", "Files",
                              "Status" })
                       << false << true;
}

void TstFilesTab::featureWordPlacesPermissions()
{
    QFETCH(int, feature);
    QFETCH(QStringList, titles);
    QFETCH(bool, passwordRow);
    QFETCH(bool, slotsRead);
    m_sim.control(QStringLiteral("feature %1").arg(feature));
    m_sim.control("clearlog");
    startWindow(); // the device present at start is loaded before the window shows
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    QStringList seen;
    for (int i = 0; i < m_central->tabWidget()->count(); ++i)
        seen << m_central->tabWidget()->tabText(i);
    QCOMPARE(seen, titles);
    QCOMPARE(m_central->connectingTab()->isPasswordRowShown(), passwordRow);
    QCOMPARE(requests(m_sim), loadOrder(slotsRead));

    // Save and exit writes the permission slots only when the tab is there.
    m_sim.control("clearlog");
    m_central->saveAndExit();
    QCOMPARE(requests(m_sim).contains("set 29 0 0 1 1"), slotsRead);
    QCOMPARE(requests(m_sim).last(), QStringLiteral("commit"));
}

void TstFilesTab::exportImportRoundTrip()
{
    // A configured device.
    for (const char *c : { "value 8 Shack", "value 9 wifipass", "value 13 10.0.0.20", "value 14 255.255.0.0",
             "value 15 10.0.0.1", "value 16 1.1.1.1", "value 17 hunter2", "value 18 12000", "value 19 12001",
             "value 20 9000", "value 21 1", "value 23 me.ddns.example", "value 24 me", "value 25 ddnspw",
             "slot 0 15 30 5 alpha", "slot 4 7 120 20 beta" })
        QVERIFY(!m_sim.control(QString::fromLatin1(c)).startsWith("err"));
    const QStringList params { "8", "9", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", "23",
        "24", "25" };
    QStringList configured;
    for (const QString &p : params)
        configured << m_sim.control("value " + p);
    QStringList configuredSlots;
    for (int i = 0; i < 7; ++i)
        configuredSlots << m_sim.control(QStringLiteral("slot %1").arg(i));

    startWindow(); // the device present at start is loaded before the window shows
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    const QString file = testHome() + "/backup.ini";
    QFile::remove(file);
    m_sim.control("clearlog");
    m_boxes->chooseFile = testHome() + "/backup"; // the suffix is added
    QTest::mouseClick(m_files->exportButton(), Qt::LeftButton);
    QCOMPARE(m_boxes->fileDialogs, QStringList { "Save the settings file" });
    QVERIFY(QFile::exists(file));
    QCOMPARE(Settings::instance()->fileName(), file);
    QVERIFY(requests(m_sim).isEmpty()); // export talks to nobody
    {
        QSettings ini(file, QSettings::IniFormat);
        QCOMPARE(ini.value("WiFi/NetworkName").toString(), QStringLiteral("Shack"));
        QCOMPARE(ini.value("Networking/IPAddress").toString(), QStringLiteral("10.0.0.20"));
        QCOMPARE(ini.value("Connection/IncomingTcpPort").toUInt(), 12000u);
        QCOMPARE(ini.value("DDNS/DDNSaddress").toString(), QStringLiteral("me.ddns.example"));
        QCOMPARE(ini.value("Permission/PermPassword4").toString(), QStringLiteral("beta"));
        QCOMPARE(ini.value("Permission/PermWorkTime0").toInt(), 30);
    }

    // Reset to defaults (Yes), the device comes back with its defaults.
    m_boxes->answer = QMessageBox::Yes;
    m_status->clear();
    QTest::mouseClick(m_files->resetButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts().contains("Device connected"), kWait);
    QCOMPARE(m_sim.control("value 13"), QStringLiteral("192.168.1.7"));
    QCOMPARE(m_central->networkTab()->field(0)->octet(0)->text(), QStringLiteral("192"));
    QVERIFY(!m_central->permissionTab()->item(0)->enableBox()->isChecked());

    m_boxes->rearm();
    m_boxes->chooseFile = file;
    m_sim.control("clearlog");
    m_status->clear();
    QTest::mouseClick(m_files->importButton(), Qt::LeftButton);
    QCOMPARE(m_boxes->fileDialogs, QStringList { "Load the settings file" });
    QVERIFY(requests(m_sim).contains("commit"));
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts().contains("Device connected"), kWait);
    QStringList restored;
    for (const QString &p : params)
        restored << m_sim.control("stored " + p);
    QCOMPARE(restored, configured);
    QStringList restoredSlots;
    for (int i = 0; i < 7; ++i)
        restoredSlots << m_sim.control(QStringLiteral("slot %1").arg(i));
    QCOMPARE(restoredSlots, configuredSlots);
    QCOMPARE(m_central->connectingTab()->portBox(0)->value(), 12000);
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstFilesTab::importBadFile()
{
    const QString file = testHome() + "/bad.ini";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(
            "[Connection]\nIncomingTcpPort=abc\nIncomingUdpPort=70000\n[Networking]\nIPAddress=999.1.1.1\n"
            "[DDNS]\nUseDDNS=perhaps\n[Permission]\nPermEnable0=1\nPermWorkTime0=nan\n\x01\x02garbage "
            "line\n");
    }
    startWindow(); // the device present at start is loaded before the window shows
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_sim.control("clearlog");
    m_boxes->chooseFile = file;
    QTest::mouseClick(m_files->importButton(), Qt::LeftButton);
    const QStringList log = requests(m_sim);
    // Unreadable values keep what the device had; an impossible address is 0.0.0.0.
    QVERIFY(log.contains("set 18 11000"));
    QVERIFY(log.contains("set 19 11000"));
    QVERIFY(log.contains("set 13 0.0.0.0"));
    QVERIFY(log.contains("set 14 255.255.255.0"));
    QVERIFY(log.contains("set 8 Brelko"));
    QVERIFY(log.contains("set 21 0"));
    QVERIFY(log.contains("set 29 0 1 1 1"));
    QCOMPARE(log.last(), QStringLiteral("commit"));
}

void TstFilesTab::cancelledDialogsKeepTheStore()
{
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    const QString before = Settings::instance()->fileName();
    m_sim.control("clearlog");
    QTest::mouseClick(m_files->importButton(), Qt::LeftButton);
    QTest::mouseClick(m_files->exportButton(), Qt::LeftButton);
    QTest::mouseClick(m_files->browseButton(), Qt::LeftButton);
    QCOMPARE(m_boxes->fileDialogs.size(), 3);
    QCOMPARE(Settings::instance()->fileName(), before);
    QVERIFY(requests(m_sim).isEmpty());
    QVERIFY(m_files->firmwarePath().isEmpty());
    // Update without a file does nothing at all.
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstFilesTab::resetToDefaults_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TstFilesTab::resetToDefaults()
{
    QFETCH(bool, yes);
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_sim.control("clearlog");
    m_boxes->answer = yes ? QMessageBox::Yes : QMessageBox::No;
    LogCapture log;
    QTest::mouseClick(m_files->resetButton(), Qt::LeftButton);
    QCOMPARE(m_boxes->boxes.size(), 1);
    QCOMPARE(m_boxes->boxes[0].title, QStringLiteral("Warning"));
    QVERIFY(m_boxes->boxes[0].text.startsWith("All settings will be reset to defaults."));
    QCOMPARE(requests(m_sim), yes ? QStringList { "reset" } : QStringList());
    QCOMPARE(m_central->isAwaitingReturn(), yes);
    QCOMPARE(log.contains("Reset to default"), yes);
}

void TstFilesTab::screenshot()
{
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_central->tabWidget()->isVisible(), kWait);
    m_central->tabWidget()->setCurrentWidget(m_files);
    m_files->setFirmwarePath(writeFile("shot.refw", firmware(200000)));
    m_boxes->answer = QMessageBox::Yes;
    QCoreApplication::processEvents();
    const QString dir = testHome() + "/screenshots";
    QDir().mkpath(dir);
    QVERIFY(m_window->grab().save(dir + "/files.png"));
    QTest::mouseClick(m_files->updateButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_files->progressBar()->value() >= 10, 60000);
    QVERIFY(m_window->grab().save(dir + "/files-uploading.png"));
    m_sim.control("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(m_central->fwUpdatingLabel()->isVisible(), kWait);
    QVERIFY(m_window->grab().save(dir + "/firmware-updating.png"));
}

QTEST_MAIN(TstFilesTab)
#include "tst_filestab.moc"
