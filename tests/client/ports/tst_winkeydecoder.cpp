#include "client/ports/winkeydecoder.h"

#include <QtTest>

using namespace morvex;

using D = WinKeyDecoder;
using Fields = QVector<QPair<int, int>>; // parameter offset, byte value

namespace {
QByteArray bytes(std::initializer_list<int> v)
{
    QByteArray b;
    for (int x : v)
        b.append(char(x));
    return b;
}

// Decodes everything in input as the keyer front does; returns the replies.
QByteArray decodeAll(QByteArray input, D::State &state, bool busy = false)
{
    QByteArray replies;
    while (!input.isEmpty()) {
        const D::Result r = D::decode(input, state, busy);
        if (r.reply >= 0)
            replies.append(char(r.reply));
        if (r.used == 0)
            break;
        input.remove(0, r.used);
    }
    return replies;
}

D::State neutral20()
{
    D::State s;
    decodeAll(bytes({ 0x02, 20, 0x03, 50, 0x17, 50 }), s);
    return s;
}
} // namespace

class TestWinKeyDecoder : public QObject
{
    Q_OBJECT

private slots:
    void commandLength_data();
    void commandLength();
    void incompleteWaits();
    void replies_data();
    void replies();
    void statusByte_data();
    void statusByte();
    void parameters_data();
    void parameters();
    void rangeChecks_data();
    void rangeChecks();
    void characterBuffer_data();
    void characterBuffer();
    void calibration();
    void buffered_data();
    void buffered();
};

void TestWinKeyDecoder::commandLength_data()
{
    QTest::addColumn<QByteArray>("work");
    QTest::addColumn<int>("length");

    // Every command with exactly its parameters, and one byte short.
    const int lengths[0x20]
        = { 0, 2, 2, 2, 3, 4, 2, 1, 1, 2, 1, 2, 2, 2, 2, 16, 2, 2, 2, 1, 2, 1, 2, 2, 2, 2, 2, 1, 2, 2, 2, 1 };
    for (int c = 1; c < 0x20; ++c) {
        const QByteArray full = char(c) + QByteArray(lengths[c] - 1, '\x01');
        QTest::addRow("0x%02x", c) << full << lengths[c];
        QTest::addRow("0x%02x and more", c) << full + "AB" << lengths[c];
        if (lengths[c] > 1)
            QTest::addRow("0x%02x short", c) << full.left(lengths[c] - 1) << 0;
    }
    QTest::newRow("character") << QByteArray("A\x02") << 1;
    QTest::newRow("0x80") << bytes({ 0x80, 0x02 }) << 1;
    QTest::newRow("0xff") << bytes({ 0xff }) << 1;
    QTest::newRow("empty") << QByteArray() << 0;

    QTest::newRow("admin alone") << bytes({ 0 }) << 0;
    QTest::newRow("calibrate") << bytes({ 0, 0, 0x41 }) << 2;
    QTest::newRow("reset") << bytes({ 0, 1 }) << 2;
    QTest::newRow("host open") << bytes({ 0, 2, 0x15 }) << 2;
    QTest::newRow("host close") << bytes({ 0, 3 }) << 2;
    QTest::newRow("echo waits") << bytes({ 0, 4 }) << 0;
    QTest::newRow("echo") << bytes({ 0, 4, 0x55, 0x41 }) << 3;
    QTest::newRow("paddle A2D") << bytes({ 0, 5 }) << 2;
    QTest::newRow("speed A2D alone") << bytes({ 0, 6 }) << 2;
    QTest::newRow("speed A2D value") << bytes({ 0, 6, 9 }) << 3;
    QTest::newRow("get value") << bytes({ 0, 7 }) << 2;
    QTest::newRow("unknown 8") << bytes({ 0, 8, 7 }) << 1;
    QTest::newRow("get cal") << bytes({ 0, 9 }) << 2;
    QTest::newRow("unknown 0x0a") << bytes({ 0, 0x0a }) << 1;
    QTest::newRow("unknown 0xff") << bytes({ 0, 0xff }) << 1;
}

void TestWinKeyDecoder::commandLength()
{
    QFETCH(QByteArray, work);
    QFETCH(int, length);
    QCOMPARE(D::commandLength(work), length);
    D::State state;
    QCOMPARE(D::decode(work, state, false).used, length);
}

void TestWinKeyDecoder::incompleteWaits()
{
    // A command still waiting for its parameters changes nothing and takes
    // nothing, but the block is saved all the same.
    D::State state = neutral20();
    state.buffer = "AB";
    const D::Params before = state.params;
    const QByteArray partial[] = { bytes({ 0x02 }), bytes({ 0x04, 5 }),
        bytes({ 0x0f, 0, 30, 5, 50, 0, 0, 5 }), bytes({ 0x1c }), bytes({ 0 }), bytes({ 0, 4 }) };
    for (const QByteArray &p : partial) {
        const D::Result r = D::decode(p, state, false);
        QCOMPARE(r.used, 0);
        QVERIFY(r.save);
        QCOMPARE(r.reply, -1);
        QCOMPARE(state.params, before);
        QCOMPARE(state.buffer, QByteArray("AB"));
    }
    // Characters are not saved; ignored bytes are.
    QVERIFY(!D::decode("A", state, false).save);
    QVERIFY(D::decode(bytes({ 0x90 }), state, false).save);
    QVERIFY(!D::decode(QByteArray(), state, false).save);
}

void TestWinKeyDecoder::replies_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("host open") << bytes({ 0, 2 }) << false << bytes({ 10 });
    QTest::newRow("status idle") << bytes({ 0x15 }) << false << bytes({ 0xc0 });
    QTest::newRow("status busy") << bytes({ 0x15 }) << true << bytes({ 0xc3 });
    QTest::newRow("paddle A2D") << bytes({ 0, 5 }) << false << bytes({ 0x80 });
    QTest::newRow("speed pot") << bytes({ 0x07 }) << false << bytes({ 0x8a });
    QTest::newRow("admin echo") << bytes({ 0, 4, 0x55 }) << false << bytes({ 0x55 });
    QTest::newRow("echo of a command byte") << bytes({ 0, 4, 0x15 }) << false << bytes({ 0x15 });
    QTest::newRow("unknown admin is one byte") << bytes({ 0, 8, 7 }) << false << bytes({ 0x8a });
    QTest::newRow("silent") << bytes({ 0, 1, 0, 3, 0, 7, 0, 9, 0x13, 0x1f, 0x80, 0xff, 0, 6 }) << false
                            << QByteArray();
    QTest::newRow("status after a backlog")
        << QByteArray(25, 'E') + bytes({ 0x15, 0x0a, 0x15 }) << false << bytes({ 0xc1, 0xc0 });
}

void TestWinKeyDecoder::replies()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, busy);
    QFETCH(QByteArray, expected);
    D::State state;
    QCOMPARE(decodeAll(input, state, busy), expected);
}

void TestWinKeyDecoder::statusByte_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("buffered");
    QTest::addColumn<int>("status");
    QTest::newRow("idle") << false << 0 << 0xc0;
    QTest::newRow("idle 19") << false << 19 << 0xc0;
    QTest::newRow("idle 20") << false << 20 << 0xc1;
    QTest::newRow("busy") << true << 0 << 0xc3;
    QTest::newRow("busy 25") << true << 25 << 0xc3;
}

void TestWinKeyDecoder::statusByte()
{
    QFETCH(bool, busy);
    QFETCH(int, buffered);
    QFETCH(int, status);
    QCOMPARE(int(D::statusByte(busy, buffered)), status);
    // The status command answers the same byte.
    D::State state;
    state.buffer = QByteArray(buffered, 'E');
    QCOMPARE(D::decode(bytes({ 0x15 }), state, busy).reply, status);
}

void TestWinKeyDecoder::parameters_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<Fields>("fields");
    QTest::newRow("sidetone") << bytes({ 0x01, 5 }) << Fields { { D::Sidetone, 5 } };
    QTest::newRow("speed 20") << bytes({ 0x02, 20 }) << Fields { { D::Speed, 20 }, { D::DitTime, 60 } };
    QTest::newRow("speed 5") << bytes({ 0x02, 5 }) << Fields { { D::Speed, 5 }, { D::DitTime, 240 } };
    QTest::newRow("speed 99") << bytes({ 0x02, 99 }) << Fields { { D::Speed, 99 }, { D::DitTime, 12 } };
    QTest::newRow("weighting") << bytes({ 0x03, 60 }) << Fields { { D::Weighting, 60 } };
    // 500 and 2550 ms, little-endian.
    QTest::newRow("lead and tail") << bytes({ 0x04, 50, 255 })
                                   << Fields { { D::PttLead, 0xf4 }, { D::PttLead + 1, 0x01 },
                                          { D::PttTail, 0xf6 }, { D::PttTail + 1, 0x09 } };
    QTest::newRow("pot setup") << bytes({ 0x05, 10, 25, 1 })
                               << Fields { { D::PotMin, 10 }, { D::PotWpmRange, 25 }, { D::PotRange, 1 } };
    QTest::newRow("pause") << bytes({ 0x06, 1 }) << Fields { { D::PauseState, 1 } };
    QTest::newRow("pin config") << bytes({ 0x09, 0x0e }) << Fields { { D::PinConfig, 0x0e } };
    QTest::newRow("hscw") << bytes({ 0x0c, 7 }) << Fields { { D::Hscw, 7 } };
    QTest::newRow("farnsworth") << bytes({ 0x0d, 25 }) << Fields { { D::Farnsworth, 25 } };
    QTest::newRow("first extension") << bytes({ 0x10, 20 }) << Fields { { D::FirstExtension, 20 } };
    QTest::newRow("key compensation") << bytes({ 0x11, 10 }) << Fields { { D::KeyCompensation, 10 } };
    QTest::newRow("paddle switchpoint") << bytes({ 0x12, 40 }) << Fields { { D::PaddleSwitchpoint, 40 } };
    QTest::newRow("soft paddle") << bytes({ 0x14, 3 }) << Fields { { D::SoftPaddle, 3 } };
    QTest::newRow("pointer") << bytes({ 0x16, 2 }) << Fields { { D::PointerCmd, 2 } };
    QTest::newRow("ratio") << bytes({ 0x17, 60 }) << Fields { { D::Ratio, 60 } };
    QTest::newRow("load defaults") << bytes(
        { 0x0f, 0x44, 30, 6, 55, 3, 4, 12, 20, 7, 8, 25, 33, 45, 0x0a, 0xfe })
                                   << Fields { { D::Speed, 30 }, { D::DitTime, 40 }, { D::Sidetone, 6 },
                                          { D::Weighting, 55 }, { D::PttLead, 30 }, { D::PttTail, 40 },
                                          { D::PotMin, 12 }, { D::PotWpmRange, 20 }, { D::FirstExtension, 7 },
                                          { D::KeyCompensation, 8 }, { D::Farnsworth, 25 },
                                          { D::PaddleSwitchpoint, 0 }, { D::Ratio, 45 },
                                          { D::PinConfig, 0x0a }, { D::PotRange, 0xfe } };
}

void TestWinKeyDecoder::parameters()
{
    QFETCH(QByteArray, input);
    QFETCH(Fields, fields);
    D::State state;
    const D::Result r = D::decode(input, state, false);
    QCOMPARE(r.used, input.size());
    QVERIFY(r.save);
    QCOMPARE(r.reply, -1);
    D::Params expected {};
    for (const auto &f : fields)
        expected[size_t(f.first)] = quint8(f.second);
    QCOMPARE(state.params, expected);
    QVERIFY(state.buffer.isEmpty());
}

void TestWinKeyDecoder::rangeChecks_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("warning");
    QTest::newRow("speed 4") << bytes({ 0x02, 4 }) << "Set WPM speed: wrong value (4)";
    QTest::newRow("speed 100") << bytes({ 0x02, 100 }) << "Set WPM speed: wrong value (100)";
    QTest::newRow("weighting 9") << bytes({ 0x03, 9 }) << "Set weighting: wrong value (9)";
    QTest::newRow("weighting 91") << bytes({ 0x03, 91 }) << "Set weighting: wrong value (91)";
    QTest::newRow("sidetone 0") << bytes({ 0x01, 0 }) << "Set sidetone: wrong value (0)";
    QTest::newRow("sidetone 11") << bytes({ 0x01, 11 }) << "Set sidetone: wrong value (11)";
    // Load defaults with speed 0 would divide by zero: the speed stays,
    // the other fields are taken.
    QTest::newRow("load defaults speed 0")
        << bytes({ 0x0f, 0, 0, 5, 50, 0, 0, 5, 30, 0, 0, 0, 0, 50, 0, 0xff })
        << "Load defaults: wrong speed (0)";
}

void TestWinKeyDecoder::rangeChecks()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, warning);
    D::State state = neutral20();
    state.params[D::Sidetone] = 5;
    QTest::ignoreMessage(QtWarningMsg, warning.toLatin1().constData());
    const D::Result r = D::decode(input + "E", state, false);
    QCOMPARE(r.used, input.size()); // the bad value is consumed all the same
    QCOMPARE(state.params[D::Speed], quint8(20));
    QCOMPARE(state.params[D::DitTime], quint8(60));
    QCOMPARE(state.params[D::Weighting], quint8(50));
    QCOMPARE(state.params[D::Sidetone], quint8(5));
}

void TestWinKeyDecoder::characterBuffer_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("characters") << QByteArray() << QByteArray("CQ a~") << QByteArray("CQ a~");
    QTest::newRow("backspace") << QByteArray("AB") << bytes({ 0x08 }) << QByteArray("A");
    QTest::newRow("backspace keeps one") << QByteArray("A") << bytes({ 0x08 }) << QByteArray("A");
    QTest::newRow("backspace on empty") << QByteArray() << bytes({ 0x08 }) << QByteArray();
    QTest::newRow("clear") << QByteArray("ABC") << bytes({ 0x0a }) << QByteArray();
    QTest::newRow("buffered commands")
        << QByteArray() << bytes({ 0x18, 1, 0x19, 2, 0x1a, 3, 0x1b, 0x1c, 40, 0x1d, 9, 0x1e, 0, 0x1f })
        << bytes({ 0x18, 1, 0x19, 2, 0x1a, 3, 0x1b, 0x1c, 40, 0x1d, 9, 0x1e, 0 });
    QTest::newRow("merge letters") << QByteArray() << bytes({ 0x1b, 'A', 'R' }) << bytes({ 0x1b, 'A', 'R' });
    QTest::newRow("high bytes ignored") << QByteArray("A") << bytes({ 0x80, 0xc5, 0xff }) << QByteArray("A");
    QTest::newRow("commands not buffered")
        << QByteArray("A") << bytes({ 0x13, 0x0b, 0x41, 0x02, 20 }) << QByteArray("A");
}

void TestWinKeyDecoder::characterBuffer()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, after);
    D::State state;
    state.buffer = before;
    state.params[D::KeyBuffered] = 0x10;
    decodeAll(input, state);
    QCOMPARE(state.buffer, after);
    // Clearing the buffer also drops the key-buffered time.
    QCOMPARE(state.params[D::KeyBuffered], quint8(input == bytes({ 0x0a }) ? 0 : 0x10));
}

void TestWinKeyDecoder::calibration()
{
    D::State state;
    D::decode(bytes({ 0, 0, 'A' }), state, false);
    QVERIFY(!state.calibrationPending); // only when nothing follows
    D::decode(bytes({ 0, 0 }), state, false);
    QVERIFY(state.calibrationPending);
    D::decode(bytes({ 0xfe }), state, false);
    QVERIFY(state.calibrationPending);
    D::decode(bytes({ 0xff }), state, false);
    QVERIFY(!state.calibrationPending);

    // Echoback is bit 2 of the mode byte alone.
    D::decode(bytes({ 0x0e, 0x04 }), state, false);
    QVERIFY(state.echoback);
    D::decode(bytes({ 0x0e, 0xfb }), state, false);
    QVERIFY(!state.echoback);
}

void TestWinKeyDecoder::buffered_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("used");
    QTest::addColumn<int>("ptt");
    QTest::addColumn<bool>("merge");
    QTest::addColumn<Fields>("fields"); // changed from the 20 WPM block
    QTest::addColumn<QString>("warning");

    QTest::newRow("ptt on") << bytes({ 0x18, 1, 'E' }) << 2 << 1 << false << Fields {} << QString();
    QTest::newRow("ptt off") << bytes({ 0x18, 0 }) << 2 << 0 << false << Fields {} << QString();
    QTest::newRow("ptt 2") << bytes({ 0x18, 2 }) << 2 << -1 << false << Fields {} << QString();
    QTest::newRow("key buffered") << bytes({ 0x19, 2 }) << 2 << -1 << false
                                  << Fields { { D::KeyBuffered, 0xd0 }, { D::KeyBuffered + 1, 0x07 } }
                                  << QString();
    QTest::newRow("key buffered 100")
        << bytes({ 0x19, 100 }) << 2 << -1 << false << Fields {} << "Key buffered: wrong value(100)";
    QTest::newRow("wait 5 s") << bytes({ 0x1a, 5 }) << 2 << -1 << false
                              << Fields { { D::BufferedWait, 0x88 }, { D::BufferedWait + 1, 0x13 } }
                              << QString();
    QTest::newRow("wait 100 s") << bytes({ 0x1a, 100 }) << 2 << -1 << false << Fields {}
                                << "Wait seconds: wrong value(100)";
    QTest::newRow("merge") << bytes({ 0x1b, 'A', 'R' }) << 1 << -1 << true << Fields {} << QString();
    QTest::newRow("merge waits for two letters")
        << bytes({ 0x1b, 'A' }) << 0 << -1 << false << Fields {} << QString();
    QTest::newRow("speed 40") << bytes({ 0x1c, 40 }) << 2 << -1 << false
                              << Fields { { D::BufferedSpeed, 40 }, { D::DitTime, 30 } } << QString();
    QTest::newRow("speed 91") << bytes({ 0x1c, 91 }) << 2 << -1 << false << Fields {}
                              << "Change speed buffer: wrong value(91)";
    QTest::newRow("speed 4") << bytes({ 0x1c, 4 }) << 2 << -1 << false << Fields {}
                             << "Change speed buffer: wrong value(4)";
    QTest::newRow("hscw") << bytes({ 0x1d, 40 }) << 2 << -1 << false << Fields {} << QString();
    QTest::newRow("nop") << bytes({ 0x1f, 'E' }) << 1 << -1 << false << Fields {} << QString();
    QTest::newRow("parameter gone") << bytes({ 0x1a }) << 1 << -1 << false << Fields {} << QString();
}

void TestWinKeyDecoder::buffered()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, used);
    QFETCH(int, ptt);
    QFETCH(bool, merge);
    QFETCH(Fields, fields);
    QFETCH(QString, warning);
    D::State state = neutral20();
    D::Params expected = state.params;
    for (const auto &f : fields)
        expected[size_t(f.first)] = quint8(f.second);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, warning.toLatin1().constData());
    const D::Buffered b = D::runBuffered(buffer, state.params);
    QCOMPARE(b.used, used);
    QCOMPARE(b.ptt, ptt);
    QCOMPARE(b.merge, merge);
    QCOMPARE(state.params, expected);
}

QTEST_APPLESS_MAIN(TestWinKeyDecoder)
#include "tst_winkeydecoder.moc"
