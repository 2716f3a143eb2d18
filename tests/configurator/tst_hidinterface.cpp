#include "configurator/hidinterface.h"
#include "configurator/hidreport.h"
#include "tests/configurator/testsupport.h"

#include <QtTest>

using namespace configurator;

using namespace TestSupport;

class TstHidInterface : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void presence_data();
    void presence();
    void openTwiceKeepsTheFirstHandle();
    void getAnswersWithEcho();
    void silentDeviceTimesOut();
    void unpluggedDeviceFailsWrites();
    void oversizeReportIsRefused();

private:
    HidSimThread m_sim;
};

void TstHidInterface::initTestCase()
{
    QVERIFY2(preloaded(), "run through ctest: the simulated hidapi must be preloaded");
    QVERIFY(m_sim.start(hidSocketPath()));
    QCOMPARE(m_sim.control("add sibling 0x0483 0x5A42 0x0200"), QStringLiteral("added"));
    QCOMPARE(m_sim.control("add keyboard 0x046d 0xc31c 0x0100"), QStringLiteral("added"));
}

void TstHidInterface::init()
{
    for (const char *c :
        { "plug", "factory", "silent off", "@sibling unplug", "@keyboard unplug", "clearlog" })
        m_sim.control(QString::fromLatin1(c));
}

void TstHidInterface::presence_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<bool>("present");

    QTest::newRow("brelko") << QStringList() << true;
    QTest::newRow("unplugged") << QStringList { "unplug" } << false;
    // Same vendor and product, other release: not a Brelko.
    QTest::newRow("other release only") << QStringList { "unplug", "@sibling plug" } << false;
    QTest::newRow("other device only") << QStringList { "unplug", "@keyboard plug" } << false;
    QTest::newRow("brelko among others") << QStringList { "@sibling plug", "@keyboard plug" } << true;
}

void TstHidInterface::presence()
{
    QFETCH(QStringList, commands);
    QFETCH(bool, present);
    for (const QString &c : commands)
        QVERIFY(!m_sim.control(c).startsWith("err"));
    QCOMPARE(HidInterface::isPresent(
                 HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber),
        present);
    HidInterface hid;
    QCOMPARE(
        hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber), present);
    QCOMPARE(hid.isOpen(), present);
    if (present) {
        // The opened device is the Brelko, not its sibling.
        const QByteArray req = HidReport::getRequest(HidReport::IpAddress);
        QCOMPARE(hid.write(reinterpret_cast<const uchar *>(req.constData()), req.size()), 65);
        QCOMPARE(requests(m_sim), QStringList { "get 13" });
        QVERIFY(requests(m_sim, "sibling").isEmpty());
    }
}

void TstHidInterface::openTwiceKeepsTheFirstHandle()
{
    HidInterface hid;
    QVERIFY(hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    // Gone from the bus now: a second open does not look again.
    m_sim.control("unplug");
    QVERIFY(hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    hid.close();
    QVERIFY(!hid.isOpen());
    QVERIFY(!hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    hid.close(); // closing a closed interface does nothing
}

void TstHidInterface::getAnswersWithEcho()
{
    HidInterface hid;
    QVERIFY(hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    QByteArray buf = HidReport::getRequest(HidReport::TcpCommandPort);
    QCOMPARE(hid.write(reinterpret_cast<const uchar *>(buf.constData()), buf.size()), 65);
    QCOMPARE(hid.read(reinterpret_cast<uchar *>(buf.data()), buf.size()), 64);
    QCOMPARE(quint8(buf[0]), quint8(18));
    QCOMPARE(HidReport::u16At(buf, 1), quint16(11000));
    // A set is never answered.
    buf = HidReport::setRequest(HidReport::TcpCommandPort);
    HidReport::putU16(buf, 4000);
    QCOMPARE(hid.write(reinterpret_cast<const uchar *>(buf.constData()), buf.size()), 65);
    QCOMPARE(m_sim.control("value 18"), QStringLiteral("4000"));
}

void TstHidInterface::silentDeviceTimesOut()
{
    m_sim.control("silent on");
    HidInterface hid;
    QVERIFY(hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    QByteArray buf = HidReport::getRequest(HidReport::IpAddress);
    QCOMPARE(hid.write(reinterpret_cast<const uchar *>(buf.constData()), buf.size()), 65);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(hid.read(reinterpret_cast<uchar *>(buf.data()), buf.size()), 0);
    // It gives up after its 250 ms: not sooner, not much later.
    QVERIFY2(clock.elapsed() >= 250 - 10 && clock.elapsed() <= 250 + 1000,
        qPrintable(QString::number(clock.elapsed())));
}

void TstHidInterface::unpluggedDeviceFailsWrites()
{
    HidInterface hid;
    QVERIFY(hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    m_sim.control("unplug");
    QByteArray buf = HidReport::getRequest(HidReport::IpAddress);
    QCOMPARE(hid.write(reinterpret_cast<const uchar *>(buf.constData()), buf.size()), -1);
    QVERIFY(hid.errorString().contains("disconnected"));
    QCOMPARE(hid.read(reinterpret_cast<uchar *>(buf.data()), buf.size()), -1);
}

void TstHidInterface::oversizeReportIsRefused()
{
    HidInterface hid;
    QVERIFY(hid.open(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber));
    const QByteArray big(66, '\0');
    QCOMPARE(hid.write(reinterpret_cast<const uchar *>(big.constData()), big.size()), -1);
    QVERIFY(requests(m_sim).contains("oversize 66"));
}

QTEST_GUILESS_MAIN(TstHidInterface)
#include "tst_hidinterface.moc"
