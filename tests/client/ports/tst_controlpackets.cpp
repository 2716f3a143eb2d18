#include "client/link/audiopacket.h"
#include "client/link/packetmngr.h"
#include "client/link/ptt.h"

#include <QSignalSpy>
#include <QtTest>

using namespace morvex;

namespace {
// A handler of type 0 that always has a frame, like the log-in packet.
class LoginStub final : public AbstractPacket
{
public:
    LoginStub()
        : AbstractPacket(0)
    {
    }
    QByteArray create(qint32 maxSize, qint32 *usedSize) override
    {
        const QByteArray f = makeFrame(0, 0, QByteArray("brelko", 7));
        if (maxSize < f.size()) {
            *usedSize = 0;
            return {};
        }
        *usedSize = f.size();
        return f;
    }
    void addData(const QByteArray &) override { }
    void addData(const char *, int) override { }
    void setHeader(PacketHeader) override { }
    void reset() override { }
};
} // namespace

class TestControlPackets : public QObject
{
    Q_OBJECT

private slots:
    void pttFrameInEveryBatch();
    void pttRemoteState_data();
    void pttRemoteState();
    void pttTooSmall();
    void levelsCoalesced();
    void levelsRealDelay();
    void levelRangesAndEquals_data();
    void levelRangesAndEquals();
    void parametersAfterReset();
    void receivedLevelsNotSentBack();
};

void TestControlPackets::pttFrameInEveryBatch()
{
    PacketMngr mngr;
    LoginStub login;
    PTT ptt;
    AudioPacket audio;
    mngr.registerPacket(&audio);
    mngr.registerPacket(&ptt);
    mngr.registerPacket(&login);

    // First batch: log-in, PTT, the owed 9-byte parameter frame.
    QByteArray batch = mngr.buildPackets();
    const int loginSize = kPacketHeaderSize + 7;
    QCOMPARE(batch.size(), loginSize + 8 + 9);
    QCOMPARE(batch.mid(loginSize, 8), makeFrame(1, 0));
    const QByteArray audioFrame = batch.mid(loginSize + 8);
    QCOMPARE(quint8(audioFrame[0]), quint8(2));
    QCOMPARE(readPacketHeader(audioFrame.constData()).value, 2u);
    QCOMPARE(quint8(audioFrame[8]), quint8(10));
    QVERIFY(frameChecksumOk(audioFrame.constData(), audioFrame.size()));

    // Periodic batch with nothing changed: still the PTT frame.
    QSignalSpy changed(&ptt, &AbstractPacket::changedData);
    ptt.setPTT(true);
    ptt.setPTT(true);
    QCOMPARE(changed.count(), 1);
    batch = mngr.buildPackets();
    QCOMPARE(batch.size(), loginSize + 8);
    QCOMPARE(batch.mid(loginSize), makeFrame(1, 1));
    batch = mngr.buildPackets();
    QCOMPARE(batch.mid(loginSize), makeFrame(1, 1));
}

void TestControlPackets::pttRemoteState_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<int>("emits");
    QTest::newRow("one") << QByteArray(1, '\1') << true << 1;
    QTest::newRow("two counts as transmit") << QByteArray(1, '\2') << true << 1;
    QTest::newRow("zero, no change") << QByteArray(1, '\0') << false << 0;
    QTest::newRow("empty ignored") << QByteArray() << false << 0;
    QTest::newRow("extra bytes") << QByteArray("\x01\x00\x00", 3) << true << 1;
}

void TestControlPackets::pttRemoteState()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, remote);
    QFETCH(int, emits);
    PTT ptt;
    QSignalSpy spy(&ptt, &AbstractPacket::readyRead);
    PacketHeader h;
    h.value = 1; // the value field never counts
    ptt.setHeader(h);
    ptt.addData(payload);
    QCOMPARE(ptt.remotePtt(), remote);
    QCOMPARE(spy.count(), emits);
    ptt.addData(payload);
    QCOMPARE(spy.count(), emits);

    ptt.reset();
    QVERIFY(!ptt.remotePtt());
    QCOMPARE(spy.count(), emits);
}

void TestControlPackets::pttTooSmall()
{
    PTT ptt;
    qint32 used = -1;
    QVERIFY(ptt.create(7, &used).isEmpty());
    QCOMPARE(used, 0);
    QCOMPARE(ptt.create(8, &used).size(), 8);
    QCOMPARE(used, 8);
}

void TestControlPackets::levelsCoalesced()
{
    AudioPacket audio;
    qint32 used = 0;
    audio.create(1000, &used); // the owed parameters
    QSignalSpy changed(&audio, &AbstractPacket::changedData);
    for (quint32 v = 10; v <= 20; ++v)
        audio.setInLevelL(v);
    QVERIFY(audio.levelChangeWaiting());
    QCOMPARE(changed.count(), 0);
    QVERIFY(audio.create(1000, &used).isEmpty());

    audio.timeout();
    QCOMPARE(changed.count(), 1);
    QVERIFY(audio.create(11, &used).isEmpty());
    QCOMPARE(used, 0);
    const QByteArray f = audio.create(12, &used);
    QCOMPARE(used, 12);
    QCOMPARE(f.size(), 12);
    QVERIFY(frameChecksumOk(f.constData(), f.size()));
    QCOMPARE(quint8(f[5]), quint8(4));
    QCOMPARE(quint8(f[8]), quint8(10));
    QCOMPARE(quint8(f[9]), quint8(20));
    QCOMPARE(quint8(f[10]), quint8(255));
    QCOMPARE(quint8(f[11]), quint8(255));
    QVERIFY(audio.create(1000, &used).isEmpty());
}

void TestControlPackets::levelsRealDelay()
{
    // The delay timer on a real event loop: one frame for a burst of steps.
    AudioPacket audio;
    qint32 used = 0;
    audio.create(1000, &used);
    QSignalSpy changed(&audio, &AbstractPacket::changedData);
    for (quint32 v = 11; v <= 20; ++v)
        audio.setInLevelL(v);
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
    QVERIFY(!audio.levelChangeWaiting());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(quint8(audio.create(1000, &used).at(9)), quint8(20));
}

void TestControlPackets::levelRangesAndEquals_data()
{
    QTest::addColumn<int>("which"); // 0 left, 1 right, 2 transmit
    QTest::addColumn<quint32>("first");
    QTest::addColumn<quint32>("second");
    QTest::addColumn<bool>("secondTakes");
    QTest::newRow("tx 50 then 68") << 2 << 50u << 68u << true;
    QTest::newRow("tx 50 then 50") << 2 << 50u << 50u << false;
    QTest::newRow("tx 118 ok") << 2 << 50u << 118u << true;
    QTest::newRow("tx 119 refused") << 2 << 50u << 119u << false;
    QTest::newRow("left 117 ok") << 0 << 5u << 117u << true;
    QTest::newRow("left 118 refused") << 0 << 5u << 118u << false;
    QTest::newRow("right 118 refused") << 1 << 5u << 118u << false;
}

void TestControlPackets::levelRangesAndEquals()
{
    QFETCH(int, which);
    QFETCH(quint32, first);
    QFETCH(quint32, second);
    QFETCH(bool, secondTakes);
    AudioPacket audio;
    qint32 used = 0;
    audio.create(1000, &used);
    auto set = [&](quint32 v) {
        if (which == 0)
            audio.setInLevelL(v);
        else if (which == 1)
            audio.setInLevelR(v);
        else
            audio.setOutLevel(v);
    };
    set(first);
    audio.timeout();
    const QByteArray f1 = audio.create(1000, &used);
    QCOMPARE(quint8(f1.at(9 + which)), quint8(first));

    set(second);
    QCOMPARE(audio.levelChangeWaiting(), secondTakes);
    if (secondTakes) {
        audio.timeout();
        QCOMPARE(quint8(audio.create(1000, &used).at(9 + which)), quint8(second));
    } else {
        QVERIFY(audio.create(1000, &used).isEmpty());
    }
}

void TestControlPackets::parametersAfterReset()
{
    AudioPacket audio;
    audio.setTxBuffer(25);
    qint32 used = 0;
    QByteArray f = audio.create(1000, &used);
    QCOMPARE(f.size(), 9);
    QCOMPARE(quint8(f[8]), quint8(25));
    QVERIFY(audio.create(1000, &used).isEmpty());

    audio.setOutLevel(30);
    audio.timeout();
    audio.reset(); // the pending levels die with the connection
    f = audio.create(1000, &used);
    QCOMPARE(f.size(), 9);
    QCOMPARE(used, 9);
    QVERIFY(audio.create(1000, &used).isEmpty());
}

void TestControlPackets::receivedLevelsNotSentBack()
{
    AudioPacket audio;
    qint32 used = 0;
    audio.create(1000, &used);
    QSignalSpy l(&audio, &AudioPacket::changeInLevelL);
    QSignalSpy r(&audio, &AudioPacket::changeInLevelR);
    QSignalSpy o(&audio, &AudioPacket::changeOutLevel);
    QSignalSpy changed(&audio, &AbstractPacket::changedData);
    audio.addData(QByteArray("\x05\x06\x07", 3));
    QCOMPARE(l.value(0).value(0).toUInt(), 5u);
    QCOMPARE(r.value(0).value(0).toUInt(), 6u);
    QCOMPARE(o.value(0).value(0).toUInt(), 7u);
    QVERIFY(!audio.levelChangeWaiting());
    QCOMPARE(changed.count(), 0);
    QVERIFY(audio.create(1000, &used).isEmpty());
    // Setting the slider to what the box reported sends nothing either.
    audio.setOutLevel(7);
    QVERIFY(!audio.levelChangeWaiting());

    audio.addData(QByteArray("\x01\x02", 2));
    audio.addData(QByteArray("\x01\x02\x03\x04", 4));
    QCOMPARE(l.count(), 1);
}

QTEST_MAIN(TestControlPackets)
#include "tst_controlpackets.moc"
