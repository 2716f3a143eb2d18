#include "client/link/authorization.h"
#include "client/link/errorspacket.h"
#include "client/link/fwversionpacket.h"
#include "client/link/packetmngr.h"

#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

using namespace morvex;

// Log-in, error and version handlers, driven through the manager the way
// the connection drives them.
class TstSessionPackets : public QObject
{
    Q_OBJECT

private slots:
    void loginFrame_data();
    void loginFrame();
    void loginOncePerConnection();
    void loginWaitsForRoom();
    void loginComesFirstInBatch();
    void errorCodeFromHeader_data();
    void errorCodeFromHeader();
    void versionPayload_data();
    void versionPayload();
    void badFramesReachNoHandler();
};

namespace {
QByteArray versionBytes(quint32 a, quint32 b, quint32 c)
{
    QByteArray p(12, '\0');
    qToLittleEndian<quint32>(a, p.data());
    qToLittleEndian<quint32>(b, p.data() + 4);
    qToLittleEndian<quint32>(c, p.data() + 8);
    return p;
}

// Stands for a handler that always has something to send (as the PTT one does).
class Filler final : public AbstractPacket
{
public:
    explicit Filler(qint32 type, int size)
        : AbstractPacket(type)
        , m_size(size)
    {
    }
    QByteArray create(qint32 maxSize, qint32 *used) override
    {
        *used = 0;
        if (maxSize < m_size)
            return QByteArray();
        *used = m_size;
        return makeFrame(quint8(type()), 0, QByteArray(m_size - kPacketHeaderSize, 'x'));
    }
    void addData(const QByteArray &) override { }
    void addData(const char *, int) override { }
    void setHeader(PacketHeader) override { }
    void reset() override { }

private:
    int m_size;
};
} // namespace

void TstSessionPackets::loginFrame_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("default") << QStringLiteral("brelko") << QByteArray("brelko\0", 7);
    QTest::newRow("empty") << QString() << QByteArray(1, '\0');
    QTest::newRow("latin1 kept") << QStringLiteral("caf\u00e9") << QByteArray("caf\xe9\0", 5);
    QTest::newRow("outside latin1") << QStringLiteral("\u043f\u0430\u0440\u043e\u043b\u044c1")
                                    << QByteArray("??????1\0", 8);
}

void TstSessionPackets::loginFrame()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, payload);

    Authorization auth(0);
    auth.setPassword(password);
    qint32 used = -1;
    const QByteArray frame = auth.create(PacketMngr::kFrameBudget, &used);

    QCOMPARE(frame.size(), kPacketHeaderSize + payload.size());
    QCOMPARE(used, frame.size());
    const PacketHeader h = readPacketHeader(frame.constData());
    QCOMPARE(int(h.type), 0);
    QCOMPARE(quint32(h.value), 0u);
    QCOMPARE(int(h.length), password.size() + 1);
    QVERIFY(frameChecksumOk(frame.constData(), frame.size()));
    QCOMPARE(frame.mid(kPacketHeaderSize), payload);
}

void TstSessionPackets::loginOncePerConnection()
{
    Authorization auth(0);
    auth.setPassword(QStringLiteral("brelko"));
    qint32 used = -1;
    QCOMPARE(auth.create(1000, &used).size(), 15);
    QVERIFY(auth.create(1000, &used).isEmpty());
    QCOMPARE(used, 0);

    // A new password waits for the next connection.
    auth.setPassword(QStringLiteral("other"));
    QVERIFY(auth.create(1000, &used).isEmpty());

    auth.reset();
    const QByteArray again = auth.create(1000, &used);
    QCOMPARE(again.mid(kPacketHeaderSize), QByteArray("other\0", 6));
    QCOMPARE(used, again.size());
}

void TstSessionPackets::loginWaitsForRoom()
{
    Authorization auth(0);
    auth.setPassword(QStringLiteral("brelko"));
    qint32 used = -1;
    QVERIFY(auth.create(14, &used).isEmpty());
    QCOMPARE(used, 0);
    QVERIFY(!auth.isSent());
    QCOMPARE(auth.create(15, &used).size(), 15);
    QVERIFY(auth.isSent());

    // 991 characters just fit the budget.
    Authorization longest(0);
    longest.setPassword(QString(991, QLatin1Char('a')));
    QCOMPARE(longest.create(1000, &used).size(), 1000);

    // Too long for the budget: never sent, never marked as sent, reported once.
    Authorization huge(0);
    huge.setPassword(QString(992, QLatin1Char('a')));
    QTest::ignoreMessage(QtWarningMsg, "Password too long to log in: 992 characters");
    QVERIFY(huge.create(1000, &used).isEmpty());
    QVERIFY(huge.create(1000, &used).isEmpty());
    QVERIFY(!huge.isSent());
    // Too long for the 16-bit length field, whatever room is offered.
    Authorization endless(0);
    endless.setPassword(QString(70000, QLatin1Char('a')));
    QTest::ignoreMessage(QtWarningMsg, "Password too long to log in: 70000 characters");
    QVERIFY(endless.create(1 << 20, &used).isEmpty());
    QCOMPARE(used, 0);
}

void TstSessionPackets::loginComesFirstInBatch()
{
    PacketMngr mngr;
    Filler ptt(1, 8);
    Authorization auth(0);
    ErrorsPacket errors(8);
    FwVersionPacket fw(10);
    auth.setPassword(QStringLiteral("brelko"));
    // Registered out of type order on purpose.
    mngr.registerPacket(&ptt);
    mngr.registerPacket(&fw);
    mngr.registerPacket(&errors);
    mngr.registerPacket(&auth);

    const QByteArray first = mngr.buildPackets();
    QCOMPARE(first.size(), 15 + 8);
    QCOMPARE(int(first.at(0)), 0);
    QCOMPARE(int(first.at(15)), 1);

    const QByteArray second = mngr.buildPackets();
    QCOMPARE(second.size(), 8);
    QCOMPARE(int(second.at(0)), 1);

    mngr.resetItems();
    QCOMPARE(int(mngr.buildPackets().at(0)), 0);
}

void TstSessionPackets::errorCodeFromHeader_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("no error") << 0u << QByteArray();
    QTest::newRow("multiple connection") << 1u << QByteArray();
    QTest::newRow("wrong password") << 2u << QByteArray();
    QTest::newRow("timeout") << 3u << QByteArray();
    QTest::newRow("unknown packet") << 4u << QByteArray();
    QTest::newRow("payload ignored") << 2u << QByteArray("\x01\x02\x03", 3);
    QTest::newRow("unknown code passes") << 77u << QByteArray();
    QTest::newRow("largest code") << 0xFFFFFFFFu << QByteArray();
}

void TstSessionPackets::errorCodeFromHeader()
{
    QFETCH(quint32, code);
    QFETCH(QByteArray, payload);

    PacketMngr mngr;
    ErrorsPacket errors(8);
    mngr.registerPacket(&errors);
    QSignalSpy spy(&errors, &ErrorsPacket::error);

    mngr.addData(makeFrame(8, code, payload));
    mngr.parcePacket();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(quint32(spy.at(0).at(0).value<ErrorsPacket::ConnectionError>()), code);
    QCOMPARE(mngr.buffered(), 0);

    qint32 used = -1;
    QVERIFY(errors.create(1000, &used).isEmpty());
    QCOMPARE(used, 0);
}

void TstSessionPackets::versionPayload_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("emitted");
    QTest::addColumn<quint32>("ver");
    QTest::addColumn<quint32>("subver");
    QTest::addColumn<quint32>("pointver");
    QTest::newRow("1.1.7") << versionBytes(1, 1, 7) << true << 1u << 1u << 7u;
    QTest::newRow("little-endian words") << versionBytes(0x01020304, 0x0A0B0C0D, 0xFFFFFFFF) << true
                                         << 0x01020304u << 0x0A0B0C0Du << 0xFFFFFFFFu;
    QTest::newRow("longer payload, first 12 bytes")
        << versionBytes(2, 0, 0) + QByteArray(4, '\x55') << true << 2u << 0u << 0u;
    QTest::newRow("11 bytes ignored") << versionBytes(1, 1, 6).left(11) << false << 0u << 0u << 0u;
    QTest::newRow("empty ignored") << QByteArray() << false << 0u << 0u << 0u;
}

void TstSessionPackets::versionPayload()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, emitted);

    PacketMngr mngr;
    FwVersionPacket fw(10);
    mngr.registerPacket(&fw);
    QSignalSpy spy(&fw, &FwVersionPacket::updateVersion);

    mngr.addData(makeFrame(10, 0, payload));
    mngr.parcePacket();
    QCOMPARE(mngr.buffered(), 0);
    QCOMPARE(spy.count(), emitted ? 1 : 0);
    if (emitted) {
        QTEST(spy.at(0).at(0).toUInt(), "ver");
        QTEST(spy.at(0).at(1).toUInt(), "subver");
        QTEST(spy.at(0).at(2).toUInt(), "pointver");
    }
}

void TstSessionPackets::badFramesReachNoHandler()
{
    PacketMngr mngr;
    ErrorsPacket errors(8);
    FwVersionPacket fw(10);
    mngr.registerPacket(&errors);
    mngr.registerPacket(&fw);
    QSignalSpy errSpy(&errors, &ErrorsPacket::error);
    QSignalSpy fwSpy(&fw, &FwVersionPacket::updateVersion);

    // Unknown type and a truncated version frame: dropped and skipped.
    mngr.addData(makeFrame(7, 0, QByteArray("zz")) + makeFrame(10, 0, QByteArray(5, '\1')) + makeFrame(8, 2));
    mngr.parcePacket();
    QCOMPARE(errSpy.count(), 1);
    QCOMPARE(fwSpy.count(), 0);

    // A version frame whose header promises more than has arrived waits.
    const QByteArray whole = makeFrame(10, 0, versionBytes(1, 1, 6));
    mngr.addData(whole.left(13));
    mngr.parcePacket();
    QCOMPARE(fwSpy.count(), 0);
    mngr.addData(whole.mid(13));
    mngr.parcePacket();
    QCOMPARE(fwSpy.count(), 1);

    // A corrupted checksum reaches no handler.
    QByteArray bad = makeFrame(8, 1);
    bad[7] = char(bad.at(7) ^ 0x40);
    mngr.addData(bad);
    mngr.parcePacket();
    QCOMPARE(errSpy.count(), 1);
}

QTEST_APPLESS_MAIN(TstSessionPackets)
#include "tst_sessionpackets.moc"
