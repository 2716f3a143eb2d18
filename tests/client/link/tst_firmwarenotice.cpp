#include "client/link/authorization.h"
#include "client/link/clientrif.h"
#include "client/link/firmwarecheck.h"
#include "client/link/fwversiondialog.h"
#include "client/link/fwversionpacket.h"
#include "client/link/packetmngr.h"
#include "common/settings.h"
#include "tests/support/simprocess.h"

#include <QSignalSpy>
#include <QTest>

using namespace brelko;
using namespace morvex;

// The firmware version announced by the box after log-in, through the real
// connection, up to the notice (offscreen dialog or tray message).
class TstFirmwareNotice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void noticeForOldFirmware_data();
    void noticeForOldFirmware();
    void versionChangedWhileConnected();

private:
    SimProcess m_sim;
};

namespace {
constexpr int kWait = 15000;

struct Station
{
    Station()
    {
        auth.setPassword(QStringLiteral("brelko"));
        mngr.registerPacket(&auth);
        mngr.registerPacket(&fw);
        rif.setPacketManager(&mngr);
        QObject::connect(&fw, &FwVersionPacket::updateVersion, &check, &FirmwareCheck::checkFwVersion);
        QObject::connect(&check, &FirmwareCheck::showNotice, &dialog, &FwVersionDialog::showNotice);
    }

    PacketMngr mngr;
    Authorization auth { 0 };
    FwVersionPacket fw { 10 };
    ClientRIF rif;
    FirmwareCheck check;
    FwVersionDialog dialog;
    QSignalSpy versions { &fw, &FwVersionPacket::updateVersion };
    QSignalSpy tray { &check, &FirmwareCheck::sendTrayMessage };
    QSignalSpy disconnected { &rif, &ClientRIF::disconnected };
};
} // namespace

void TstFirmwareNotice::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.lastError()));
}

void TstFirmwareNotice::cleanupTestCase()
{
    m_sim.stop();
}

void TstFirmwareNotice::noticeForOldFirmware_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("dialog");
    QTest::addColumn<bool>("trayMessage");
    QTest::newRow("1.1.6") << QStringLiteral("1.1.6") << false << true << false;
    QTest::newRow("0.9.9") << QStringLiteral("0.9.9") << false << true << false;
    QTest::newRow("1.1.7") << QStringLiteral("1.1.7") << false << false << false;
    QTest::newRow("1.2.0") << QStringLiteral("1.2.0") << false << false << false;
    QTest::newRow("2.0.0") << QStringLiteral("2.0.0") << false << false << false;
    QTest::newRow("1.1.6 hidden") << QStringLiteral("1.1.6") << true << false << true;
    QTest::newRow("0.9.9 hidden") << QStringLiteral("0.9.9") << true << false << true;
    QTest::newRow("2.0.0 hidden") << QStringLiteral("2.0.0") << true << false << false;
}

void TstFirmwareNotice::noticeForOldFirmware()
{
    QFETCH(QString, version);
    QFETCH(bool, hidden);
    QFETCH(bool, dialog);
    QFETCH(bool, trayMessage);

    (*Settings::instance())(Settings::HideFirmwareWarning, Settings::Firmware) = hidden;
    QVERIFY(m_sim.run(QStringLiteral("fw ") + version));

    Station s;
    s.rif.setServer(QStringLiteral("127.0.0.1"), m_sim.tcpPort());
    s.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(s.versions.count(), 1, kWait);
    const QStringList parts = version.split(QLatin1Char('.'));
    QCOMPARE(s.versions.at(0).at(0).toUInt(), parts.at(0).toUInt());
    QCOMPARE(s.versions.at(0).at(1).toUInt(), parts.at(1).toUInt());
    QCOMPARE(s.versions.at(0).at(2).toUInt(), parts.at(2).toUInt());

    QCOMPARE(s.dialog.isVisible(), dialog);
    QCOMPARE(s.tray.count(), trayMessage ? 1 : 0);
    if (dialog) {
        QVERIFY(QTest::qWaitForWindowExposed(&s.dialog));
        QVERIFY(s.dialog.messageText().contains(QStringLiteral("version 1.1.7 or higher")));
    }
    if (trayMessage)
        QCOMPARE(s.tray.at(0).at(0).toString(), FirmwareCheck::noticeText());

    s.rif.disconnectFromServer();
    QTRY_COMPARE_WITH_TIMEOUT(s.disconnected.count(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue(QStringLiteral("active")), 0, kWait);
}

void TstFirmwareNotice::versionChangedWhileConnected()
{
    (*Settings::instance())(Settings::HideFirmwareWarning, Settings::Firmware) = false;
    QVERIFY(m_sim.run(QStringLiteral("fw 1.1.7")));
    Station s;
    s.rif.setServer(QStringLiteral("127.0.0.1"), m_sim.tcpPort());
    s.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(s.versions.count(), 1, kWait);
    QVERIFY(!s.dialog.isVisible());

    QVERIFY(m_sim.run(QStringLiteral("fw 1.0.3")));
    QTRY_COMPARE_WITH_TIMEOUT(s.versions.count(), 2, kWait);
    QVERIFY(s.dialog.isVisible());
    s.dialog.accept();
    QVERIFY(!s.dialog.isVisible());

    s.rif.disconnectFromServer();
    QTRY_COMPARE_WITH_TIMEOUT(s.disconnected.count(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue(QStringLiteral("active")), 0, kWait);
}

QTEST_MAIN(TstFirmwareNotice)
#include "tst_firmwarenotice.moc"
