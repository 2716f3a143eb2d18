#include "client/link/packetheader.h"
#include "client/link/packetmngr.h"
#include "client/link/serial.h"
#include "client/ports/vserial.h"
#include "platform/vsportclient.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QtTest>

using namespace morvex;

namespace {

constexpr int kWait = 5000;

struct Frame
{
    PacketHeader head;
    QByteArray payload;
};

// Cuts a batch back into frames, checking each checksum.
QList<Frame> frames(const QByteArray &batch)
{
    QList<Frame> out;
    int pos = 0;
    while (pos + kPacketHeaderSize <= batch.size()) {
        const PacketHeader h = readPacketHeader(batch.constData() + pos);
        const int size = kPacketHeaderSize + h.length;
        if (pos + size > batch.size() || !frameChecksumOk(batch.constData() + pos, size))
            break;
        out.append({ h, batch.mid(pos + kPacketHeaderSize, h.length) });
        pos += size;
    }
    if (pos != batch.size())
        out.append({ PacketHeader { 0xFF, 0, 0, 0 }, QByteArray("malformed") });
    return out;
}

QByteArray payloadOf(const QByteArray &batch)
{
    QByteArray all;
    for (const Frame &f : frames(batch))
        all += f.payload;
    return all;
}

} // namespace

// A CAT tunnel bound to a real port that a program in this process holds,
// with the real packet manager in front of it.
class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstByteBeforeAnyWindow();
    void windowBoundsWhatLeaves();
    void windowZeroStopsAndReopenTriggersBatch();
    void maxSizeLimits_data();
    void maxSizeLimits();
    void lineWord_data();
    void lineWord();
    void lineWordFromProgram();
    void notPermittedOrClosedSendsNothing();
    void receivedPayloadReachesProgram();
    void frameForClosedPortIsLost();
    void resetKeepsOpenAndLineSettings();
    void logLines();
    void rebindingDropsOldDevice();

private:
    void openProgram();
    void waitAvailable(qint64 n);

    VSerial *m_dev = nullptr;
    Serial *m_serial = nullptr;
    PacketMngr *m_mngr = nullptr;
    VSPortClient *m_app = nullptr;
};

void TestSerial::init()
{
    m_dev = new VSerial;
    QVERIFY(m_dev->createPort(QStringLiteral("COM5")));
    QVERIFY(m_dev->open(QIODevice::ReadWrite));
    m_serial = new Serial(PacketType::SerialCat);
    m_serial->setPort(m_dev);
    m_serial->setPermitted(true);
    m_mngr = new PacketMngr;
    m_mngr->registerPacket(m_serial);
    m_app = new VSPortClient;
}

void TestSerial::cleanup()
{
    delete m_app;
    delete m_mngr;
    delete m_serial;
    delete m_dev;
    VSerial::resetBus();
}

void TestSerial::openProgram()
{
    QVERIFY(m_app->open(QStringLiteral("COM5")));
    QVERIFY(m_app->setLine(9600, 8, 0, 0));
    QTRY_VERIFY_WITH_TIMEOUT(m_serial->isOpen(), kWait);
}

void TestSerial::waitAvailable(qint64 n)
{
    QTRY_COMPARE_WITH_TIMEOUT(m_dev->bytesAvailable(), n, kWait);
}

void TestSerial::firstByteBeforeAnyWindow()
{
    openProgram();
    QCOMPARE(m_app->write("ID;"), qint64(3));
    waitAvailable(3);
    const QByteArray batch = m_mngr->buildPackets();
    const QList<Frame> f = frames(batch);
    QCOMPARE(f.size(), 1);
    QCOMPARE(int(f[0].head.type), 3);
    QCOMPARE(f[0].payload, QByteArray("I"));
    QVERIFY(m_serial->takeActivity());
    // The rest waits for the box to announce a window.
    QCOMPARE(m_mngr->buildPackets(), QByteArray());
    QCOMPARE(m_dev->bytesAvailable(), qint64(2));
}

void TestSerial::windowBoundsWhatLeaves()
{
    openProgram();
    QSignalSpy changed(m_mngr, &PacketMngr::changedData);
    m_mngr->addData(makeFrame(PacketType::SerialCat, 100));
    m_mngr->parcePacket();
    QCOMPARE(m_serial->sendWindow(), quint32(100));

    QByteArray sent(300, '\0');
    for (int i = 0; i < sent.size(); ++i)
        sent[i] = char(i);
    QCOMPARE(m_app->write(sent), qint64(300));
    waitAvailable(300);
    QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), kWait);

    QByteArray out;
    for (int i = 0; i < 5; ++i) {
        const QByteArray batch = m_mngr->buildPackets();
        QVERIFY(frames(batch).size() <= 1);
        out += payloadOf(batch);
    }
    QCOMPARE(out, sent.left(100));
    QCOMPARE(m_serial->sendWindow(), quint32(0));

    // A new window replaces the old one rather than adding to it.
    m_mngr->addData(makeFrame(PacketType::SerialCat, 150));
    m_mngr->parcePacket();
    out += payloadOf(m_mngr->buildPackets());
    out += payloadOf(m_mngr->buildPackets());
    QCOMPARE(out, sent.left(250));
    m_mngr->addData(makeFrame(PacketType::SerialCat, 1000));
    m_mngr->parcePacket();
    out += payloadOf(m_mngr->buildPackets());
    QCOMPARE(out, sent);
    QCOMPARE(m_serial->sendWindow(), quint32(950));
}

void TestSerial::windowZeroStopsAndReopenTriggersBatch()
{
    openProgram();
    m_mngr->addData(makeFrame(PacketType::SerialCat, 0));
    m_mngr->parcePacket();
    QSignalSpy readSpy(m_dev, &VSerial::readyRead);
    QCOMPARE(m_app->write("FA;"), qint64(3));
    waitAvailable(3);
    QTRY_VERIFY_WITH_TIMEOUT(!readSpy.isEmpty(), kWait);
    QCOMPARE(m_mngr->buildPackets(), QByteArray());
    QCOMPARE(m_dev->bytesAvailable(), qint64(3));

    QCoreApplication::processEvents();
    QSignalSpy handlerChanged(m_serial, &AbstractPacket::changedData);
    QSignalSpy changed(m_mngr, &PacketMngr::changedData);
    m_mngr->addData(makeFrame(PacketType::SerialCat, 10));
    m_mngr->parcePacket();
    QCOMPARE(handlerChanged.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, kWait);
    QCOMPARE(payloadOf(m_mngr->buildPackets()), QByteArray("FA;"));

    // A window with nothing waiting asks for no batch.
    handlerChanged.clear();
    m_mngr->addData(makeFrame(PacketType::SerialCat, 10));
    m_mngr->parcePacket();
    QCOMPARE(handlerChanged.count(), 0);
}

void TestSerial::maxSizeLimits_data()
{
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<int>("payload");
    QTest::newRow("9") << 9 << 1;
    QTest::newRow("8") << 8 << 0;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("-5") << -5 << 0;
    QTest::newRow("58") << 58 << 50;
    QTest::newRow("window") << 1000 << 64;
}

void TestSerial::maxSizeLimits()
{
    QFETCH(int, maxSize);
    QFETCH(int, payload);
    openProgram();
    m_serial->setHeader(PacketHeader { 3, 64, 0, 0 });
    QCOMPARE(m_app->write(QByteArray(100, 'z')), qint64(100));
    waitAvailable(100);
    qint32 used = -1;
    const QByteArray frame = m_serial->create(maxSize, &used);
    QCOMPARE(used, payload ? payload + 8 : 0);
    QCOMPARE(frame.size(), used);
    QVERIFY(frame.size() <= qMax(maxSize, 0));
    if (payload) {
        QCOMPARE(frames(frame).size(), 1);
        QCOMPARE(frames(frame)[0].payload, QByteArray(payload, 'z'));
    }
    QCOMPARE(m_dev->bytesAvailable(), qint64(100 - payload));
}

void TestSerial::lineWord_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("deviceOpen");
    QTest::addColumn<quint32>("low");
    QTest::newRow("9600 8E1 open") << 9600 << 8 << 2 << 0 << true << 0x51u;
    QTest::newRow("9600 8E1 device closed") << 9600 << 8 << 2 << 0 << false << 0x50u;
    QTest::newRow("9600 8N1 open") << 9600 << 8 << 0 << 0 << true << 0x11u;
    QTest::newRow("4800 7O2") << 4800 << 7 << 1 << 2 << true << 0x22Fu;
    QTest::newRow("fields masked") << 115200 << 0x1F << 0x0F << 7 << true << 0x3FFu;
}

void TestSerial::lineWord()
{
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(bool, deviceOpen);
    QFETCH(quint32, low);
    openProgram();
    if (!deviceOpen)
        m_dev->close();
    m_serial->setBaudRate(baud);
    m_serial->setLineState(stopBits, parity, dataBits);
    const quint32 word = m_serial->lineWord();
    QCOMPARE(word & 0x3FFu, low);
    QCOMPARE(word >> 10, quint32(baud));
}

void TestSerial::lineWordFromProgram()
{
    // Settings made by the program reach the frame header with the next data.
    openProgram();
    QVERIFY(m_app->setLine(4800, 8, 0, 2));
    QTRY_COMPARE_WITH_TIMEOUT(m_serial->baudRate(), 4800, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_serial->stopBits(), 2, kWait);
    QCOMPARE(m_app->write("X"), qint64(1));
    waitAvailable(1);
    const QList<Frame> f = frames(m_mngr->buildPackets());
    QCOMPARE(f.size(), 1);
    QCOMPARE(f[0].head.value, (4800u << 10) | (2u << 8) | (8u << 1) | 1u);
}

void TestSerial::notPermittedOrClosedSendsNothing()
{
    openProgram();
    m_serial->setHeader(PacketHeader { 3, 100, 0, 0 });
    QCOMPARE(m_app->write("abc"), qint64(3));
    waitAvailable(3);
    m_serial->setPermitted(false);
    QCOMPARE(m_mngr->buildPackets(), QByteArray());
    m_serial->setPermitted(true);
    m_serial->setOpen(false);
    QCOMPARE(m_mngr->buildPackets(), QByteArray());
    QCOMPARE(m_dev->bytesAvailable(), qint64(3));
    m_serial->setOpen(true);
    QCOMPARE(payloadOf(m_mngr->buildPackets()), QByteArray("abc"));
}

void TestSerial::receivedPayloadReachesProgram()
{
    openProgram();
    m_serial->takeActivity();
    m_mngr->addData(makeFrame(PacketType::SerialCat, 20, QByteArray("FA00014074000;")));
    m_mngr->parcePacket();
    QVERIFY(m_serial->takeActivity());
    QCOMPARE(m_serial->sendWindow(), quint32(20));
    QCOMPARE(m_app->read(100, kWait), QByteArray("FA00014074000;"));

    // No payload still counts as traffic.
    m_mngr->addData(makeFrame(PacketType::SerialCat, 5));
    m_mngr->parcePacket();
    QVERIFY(m_serial->takeActivity());
    QCOMPARE(m_serial->sendWindow(), quint32(5));
}

void TestSerial::frameForClosedPortIsLost()
{
    // No program holds the port: the bytes are refused, not queued.
    m_mngr->addData(makeFrame(PacketType::SerialCat, 7, QByteArray("lost")));
    m_mngr->parcePacket();
    QCOMPARE(m_mngr->buffered(), 0);
    QCOMPARE(m_serial->sendWindow(), quint32(7));
    openProgram();
    QCOMPARE(m_app->read(100, 200), QByteArray());

    // Nor while the device itself is closed.
    m_dev->close();
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (morvex::VSerial): device not open");
    m_mngr->addData(makeFrame(PacketType::SerialCat, 7, QByteArray("gone")));
    m_mngr->parcePacket();
    QCOMPARE(m_app->read(100, 200), QByteArray());

    // A frame of another tunnel's type is not ours.
    QVERIFY(m_dev->open(QIODevice::ReadWrite));
    QTest::ignoreMessage(QtWarningMsg, "void PacketMngr::parcePacket() Unknown type of packet");
    m_mngr->addData(makeFrame(PacketType::SerialFsk, 9, QByteArray("fsk")));
    m_mngr->parcePacket();
    QCOMPARE(m_serial->sendWindow(), quint32(7));
    QCOMPARE(m_app->read(100, 200), QByteArray());
}

void TestSerial::resetKeepsOpenAndLineSettings()
{
    openProgram();
    m_serial->setLineState(2, 0, 8);
    m_mngr->addData(makeFrame(PacketType::SerialCat, 500));
    m_mngr->parcePacket();
    QCOMPARE(m_app->write(QByteArray(40, 'q')), qint64(40));
    waitAvailable(40);
    m_serial->takeActivity();
    m_mngr->addData(makeFrame(PacketType::SerialCat, 500, QByteArray("x")));
    m_mngr->parcePacket();

    m_mngr->resetItems();
    QCOMPARE(m_serial->sendWindow(), quint32(1));
    QVERIFY(!m_serial->takeActivity());
    QCOMPARE(m_dev->bytesAvailable(), qint64(0));
    QVERIFY(m_serial->isOpen());
    QCOMPARE(m_serial->baudRate(), 9600);
    QCOMPARE(m_serial->stopBits(), 2);

    QCOMPARE(m_app->write("ab"), qint64(2));
    waitAvailable(2);
    QCOMPARE(payloadOf(m_mngr->buildPackets()), QByteArray("a"));
    QCOMPARE(m_mngr->buildPackets(), QByteArray());
}

void TestSerial::logLines()
{
    QLoggingCategory::setFilterRules(QStringLiteral("serial.packet.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, "Open  true");
    m_serial->setOpen(true);
    QTest::ignoreMessage(QtDebugMsg, "COM5 19200");
    m_serial->setBaudRate(19200);
    QTest::ignoreMessage(QtDebugMsg, "Reset serial packet for COM5 port");
    m_serial->reset();
    QTest::ignoreMessage(QtDebugMsg, "Open  false");
    m_serial->setOpen(false);

    // Silent unless the category is enabled.
    QLoggingCategory::setFilterRules(QStringLiteral("serial.packet.debug=false"));
    static int seen;
    seen = 0;
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) { ++seen; });
    m_serial->setOpen(true);
    m_serial->setBaudRate(4800);
    m_serial->reset();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(seen, 0);
}

void TestSerial::rebindingDropsOldDevice()
{
    VSerial other;
    QVERIFY(other.createPort(QStringLiteral("COM6")));
    QVERIFY(other.open(QIODevice::ReadWrite));
    m_serial->setPort(&other);
    QCOMPARE(m_serial->port(), &other);

    // Events of the first device reach the handler while it is bound.
    VSPortClient app6;
    QVERIFY(app6.open(QStringLiteral("COM6")));
    QTRY_VERIFY_WITH_TIMEOUT(m_serial->isOpen(), kWait);
    m_serial->setPort(m_dev);
    QSignalSpy changed(m_serial, &AbstractPacket::changedData);
    QCOMPARE(app6.write("z"), qint64(1));
    QTRY_COMPARE_WITH_TIMEOUT(other.bytesAvailable(), qint64(1), kWait);
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 0);
    app6.close();
    QVERIFY(m_app->open(QStringLiteral("COM5")));
    QCOMPARE(m_app->write("y"), qint64(1));
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, kWait);
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
