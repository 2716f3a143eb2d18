#include "client/ports/winkey.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace morvex;

namespace {
// The host's end of the Winkey port: what the host writes is read by the
// keyer, what the keyer writes is collected as replies.
class HostPipe final : public QIODevice
{
public:
    HostPipe() { open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
    void hostWrites(const QByteArray &b)
    {
        m_in.append(b);
        emit readyRead();
    }
    QByteArray replies;
    qint64 bytesAvailable() const override { return m_in.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const int n = int(qMin<qint64>(maxSize, m_in.size()));
        memcpy(data, m_in.constData(), size_t(n));
        m_in.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        replies.append(data, int(size));
        return size;
    }

private:
    QByteArray m_in;
};

struct Trace
{
    QVector<bool> key;
    QVector<bool> ptt;
};

Trace run(WinKey &wk, int ticks)
{
    Trace t;
    for (int i = 0; i < ticks; ++i) {
        wk.sendChar();
        t.key << wk.keyOutput();
        t.ptt << wk.pttOutput();
    }
    return t;
}

// Key-down runs as (start tick, length).
using Runs = QVector<QPair<int, int>>;
Runs runsOf(const QVector<bool> &v)
{
    Runs r;
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] && (i == 0 || !v[i - 1]))
            r.append({ i, 0 });
        if (v[i])
            ++r.last().second;
    }
    return r;
}

QByteArray neutral(int wpm = 20)
{
    // speed, weighting 50, ratio 50, no lead or tail
    return QByteArray("\x02", 1) + char(wpm) + QByteArray("\x03\x32\x17\x32\x04\x00\x00", 7);
}
} // namespace

Q_DECLARE_METATYPE(Runs)

class TestWinKey : public QObject
{
    Q_OBJECT

private slots:
    void timing_data();
    void timing();
    void pttLeadAndTail();
    void replies_data();
    void replies();
    void noPortNoReply();
    void statusWithBacklog();
    void engineFollowsSchedule_data();
    void engineFollowsSchedule();
    void parametersChanged();
    void parametersRestored_data();
    void parametersRestored();
    void echoback();
    void zeroSpeedAndExtremes();
    void pauseState();
    void bufferedPtt();
    void stopReleasesOutputs();
};

void TestWinKey::timing_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<Runs>("runs");

    const QByteArray n20 = neutral(20);
    QTest::newRow("E then E") << n20 << QByteArray("EE") << 600 << Runs { { 0, 60 }, { 240, 60 } };
    QTest::newRow("T") << n20 << QByteArray("T") << 400 << Runs { { 0, 180 } };
    QTest::newRow("A dit dah") << n20 << QByteArray("A") << 600 << Runs { { 0, 60 }, { 120, 180 } };
    QTest::newRow("lower case dropped") << n20 << QByteArray("aA") << 600 << Runs { { 1, 60 }, { 121, 180 } };
    QTest::newRow("weighting 60") << n20 + QByteArray("\x03\x3c", 2) << QByteArray("II") << 800
                                  << Runs { { 0, 72 }, { 120, 72 }, { 360, 72 }, { 480, 72 } };
    QTest::newRow("word space") << n20 << QByteArray("E E") << 900 << Runs { { 0, 60 }, { 660, 60 } };
    QTest::newRow("40 wpm") << neutral(40) << QByteArray("AE") << 400
                            << Runs { { 0, 30 }, { 60, 90 }, { 240, 30 } };
    QTest::newRow("key compensation 10") << n20 + QByteArray("\x11\x0a", 2) << QByteArray("AE") << 800
                                         << Runs { { 0, 70 }, { 120, 190 }, { 480, 70 } };
    QTest::newRow("first extension 20")
        << n20 + QByteArray("\x10\x14", 2) << QByteArray("EE") << 600 << Runs { { 0, 80 }, { 260, 60 } };
    QTest::newRow("ratio 60") << n20 + QByteArray("\x17\x3c", 2) << QByteArray("TE") << 700
                              << Runs { { 0, 216 }, { 396, 60 } };
    // Farnsworth 25 at 20 WPM: elements at 48 ms, gap 3 * (48 + 60).
    QTest::newRow("farnsworth") << n20 + QByteArray("\x0d\x19", 2) << QByteArray("EE") << 700
                                << Runs { { 0, 48 }, { 372, 48 } };
    // At the Farnsworth speed it still applies (gap 3 * (60 + 60)); above it not.
    QTest::newRow("farnsworth at the speed")
        << n20 + QByteArray("\x0d\x14", 2) << QByteArray("EE") << 700 << Runs { { 0, 60 }, { 420, 60 } };
    QTest::newRow("farnsworth below the speed")
        << n20 + QByteArray("\x0d\x13", 2) << QByteArray("EE") << 700 << Runs { { 0, 60 }, { 240, 60 } };
    QTest::newRow("merge AR") << n20
                              << QByteArray("\x1b"
                                            "AR",
                                     3)
                              << 1000
                              << Runs { { 0, 60 }, { 120, 180 }, { 360, 60 }, { 480, 180 }, { 720, 60 } };
    QTest::newRow("buffered wait 1 s") << n20
                                       << QByteArray("\x1a\x01"
                                                     "E",
                                              3)
                                       << 1200 << Runs { { 1000, 60 } };
    QTest::newRow("buffered speed 40") << n20
                                       << QByteArray("E\x1c\x28"
                                                     "E\x1e\x00"
                                                     "E",
                                              7)
                                       << 1000 << Runs { { 0, 60 }, { 240, 30 }, { 360, 60 } };
}

void TestWinKey::timing()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, text);
    QFETCH(int, ticks);
    QFETCH(Runs, runs);
    WinKey wk;
    wk.hostData(setup);
    wk.hostData(text);
    const Trace t = run(wk, ticks);
    QCOMPARE(runsOf(t.key), runs);
}

void TestWinKey::pttLeadAndTail()
{
    WinKey wk;
    wk.hostData(neutral(20) + QByteArray("\x04\x32\x14", 3)); // lead 500 ms, tail 200 ms
    QCOMPARE(wk.parameters()[WinKeyDecoder::PttLead], quint8(500 & 0xFF));
    wk.hostData("E");
    const Trace t = run(wk, 1200);
    QCOMPARE(runsOf(t.key), (Runs { { 500, 60 } }));
    // PTT from the fetch to 200 ms after the character gap (560 + 180).
    QCOMPARE(runsOf(t.ptt), (Runs { { 0, 940 } }));
    QVERIFY(!wk.isBusy());

    // More text before the tail runs out keeps PTT up without a new lead.
    WinKey wk2;
    wk2.hostData(neutral(20) + QByteArray("\x04\x32\x14", 3));
    wk2.hostData("E");
    Trace a = run(wk2, 800);
    wk2.hostData("E");
    const Trace b = run(wk2, 600);
    a.key += b.key;
    a.ptt += b.ptt;
    QCOMPARE(runsOf(a.key), (Runs { { 500, 60 }, { 800, 60 } }));
    QCOMPARE(runsOf(a.ptt), (Runs { { 0, 1240 } }));
}

void TestWinKey::replies_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("host open") << QList<QByteArray> { QByteArray("\x00\x02", 2) } << QByteArray("\x0a");
    QTest::newRow("status idle") << QList<QByteArray> { QByteArray("\x15") } << QByteArray("\xc0");
    QTest::newRow("paddle A2D") << QList<QByteArray> { QByteArray("\x00\x05", 2) } << QByteArray("\x80");
    QTest::newRow("speed pot") << QList<QByteArray> { QByteArray("\x07") } << QByteArray("\x8a");
    QTest::newRow("admin echo") << QList<QByteArray> { QByteArray("\x00\x04\x55", 3) } << QByteArray("\x55");
    QTest::newRow("echo split in three") << QList<QByteArray> { QByteArray(1, '\0'), QByteArray("\x04"),
        QByteArray("\x55") } << QByteArray("\x55");
    QTest::newRow("host open split") << QList<QByteArray> { QByteArray(1, '\0'), QByteArray("\x02") }
                                     << QByteArray("\x0a");
    QTest::newRow("speed waits for its value")
        << QList<QByteArray> { QByteArray("\x02"), QByteArray("\x14\x07") } << QByteArray("\x8a");
    QTest::newRow("unknown admin is one byte")
        << QList<QByteArray> { QByteArray("\x00\x08\x07", 3) } << QByteArray("\x8a");
    QTest::newRow("no replies") << QList<QByteArray> { QByteArray("\x00\x01\x00\x03\x13\x1f\x80\xff", 8) }
                                << QByteArray();
    QTest::newRow("load defaults then status") << QList<QByteArray> {
        QByteArray("\x0f\x00\x14\x05\x32\x00\x00\x05\x1e\x00\x00\x00\x00\x32\x00\xff\x15", 17)
    } << QByteArray("\xc0");
}

void TestWinKey::replies()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QByteArray, expected);
    HostPipe host;
    WinKey wk;
    wk.setPort(&host);
    for (const QByteArray &w : writes)
        host.hostWrites(w);
    QCOMPARE(host.replies, expected);
    QVERIFY(wk.takeActivity());
    QVERIFY(!wk.takeActivity());
}

void TestWinKey::noPortNoReply()
{
    WinKey wk;
    wk.hostData(QByteArray("\x00\x02\x15\x07", 4));
    wk.dataArrived();
    QCOMPARE(wk.bufferedCount(), 0);
}

void TestWinKey::statusWithBacklog()
{
    HostPipe host;
    WinKey wk;
    wk.setPort(&host);
    host.hostWrites(neutral(20));
    host.hostWrites(QByteArray(19, 'E') + "\x15");
    host.hostWrites(QByteArray(6, 'E') + "\x15");
    QCOMPARE(host.replies, QByteArray("\xc0\xc1"));
    run(wk, 1);
    host.replies.clear();
    host.hostWrites("\x15");
    QCOMPARE(host.replies, QByteArray("\xc3"));
    host.hostWrites("\x0a");
    run(wk, 300);
    host.replies.clear();
    host.hostWrites("\x15");
    QCOMPARE(host.replies, QByteArray("\xc0"));
}

void TestWinKey::engineFollowsSchedule_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("text");
    const QByteArray n20 = neutral(20);
    QTest::newRow("plain") << n20 << QByteArray("PARIS PARIS");
    QTest::newRow("lead and tail") << n20 + QByteArray("\x04\x0a\x05", 3) << QByteArray("CQ TEST");
    QTest::newRow("dropped first") << n20 + QByteArray("\x04\x00\x05", 3) << QByteArray("a5NN");
    // Farnsworth 18 at 15 WPM, weighting 40, compensation 3, extension 7.
    QTest::newRow("shaped") << neutral(15) + QByteArray("\x0d\x12\x03\x28\x11\x03\x10\x07\x04\x03\x02", 11)
                            << QByteArray("73 DE K1ABC");
}

void TestWinKey::engineFollowsSchedule()
{
    // The engine keys exactly what the pure schedule says, PTT included.
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, text);
    WinKey wk;
    wk.hostData(setup);
    const WinKey::Params p = wk.parameters();
    MorseSchedule::Timing timing;
    timing.dit = p[WinKeyDecoder::DitTime];
    timing.speed = p[WinKeyDecoder::Speed];
    timing.weighting = p[WinKeyDecoder::Weighting];
    timing.keyCompensation = p[WinKeyDecoder::KeyCompensation];
    timing.ratio = p[WinKeyDecoder::Ratio];
    timing.farnsworth = p[WinKeyDecoder::Farnsworth];
    timing.firstExtension = p[WinKeyDecoder::FirstExtension];
    const QVector<MorseSchedule::Span> spans
        = MorseSchedule::forText(text, timing, int(WinKeyDecoder::param32(p, WinKeyDecoder::PttLead)),
            int(WinKeyDecoder::param32(p, WinKeyDecoder::PttTail)));
    Runs expected;
    int at = 0;
    for (const MorseSchedule::Span &s : spans) {
        if (s.down)
            expected.append({ at, s.ms });
        at += s.ms;
    }
    wk.hostData(text);
    const Trace t = run(wk, at + 500);
    QCOMPARE(runsOf(t.key), expected);
    QCOMPARE(runsOf(t.ptt), (Runs { { 0, at } }));
    QVERIFY(!wk.isBusy());
}

void TestWinKey::parametersChanged()
{
    WinKey wk;
    QSignalSpy spy(&wk, &WinKey::parametersChanged);
    wk.hostData(neutral(20));
    // One per command: speed, weighting, ratio, lead/tail.
    QCOMPARE(spy.count(), 4);
    const QByteArray block = spy.last().at(0).toByteArray();
    QCOMPARE(block, WinKey::toBlock(wk.parameters()));
    const QString text = WinKey::blockToText(block);
    QCOMPARE(text.size(), 120);
    QVERIFY(text.startsWith(QLatin1String("00 00 00 00 00 00 00 00 00 00 00 00 ")));
    QCOMPARE(text.mid(21 * 3, 3), QStringLiteral("14 "));
    QCOMPARE(text.mid(36 * 3, 3), QStringLiteral("3c "));

    // Characters do not announce a change; an incomplete command and an
    // ignored byte do.
    spy.clear();
    wk.hostData("ABC");
    QCOMPARE(spy.count(), 0);
    wk.hostData("\x02");
    QCOMPARE(spy.count(), 1);
    wk.hostData("\x19\xff");
    QCOMPARE(spy.count(), 3);
    QCOMPARE(wk.parameters()[WinKeyDecoder::Speed], quint8(25));

    // The stored text loads back into a new keyer as the same block.
    WinKey again;
    again.setParameters(WinKey::blockFromText(WinKey::blockToText(spy.last().at(0).toByteArray())));
    QCOMPARE(again.parameters(), wk.parameters());
}

void TestWinKey::parametersRestored_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("junk");
    QTest::addColumn<bool>("taken");
    QTest::newRow("39 bytes") << 39 << QString() << false;
    QTest::newRow("41 bytes") << 41 << QString() << false;
    QTest::newRow("40 bytes") << 40 << QString() << true;
    QTest::newRow("40 bytes and junk") << 40 << QStringLiteral("zz 100 -") << true;
    QTest::newRow("39 bytes and junk") << 39 << QStringLiteral("g1 ") << false;
}

void TestWinKey::parametersRestored()
{
    QFETCH(int, count);
    QFETCH(QString, junk);
    QFETCH(bool, taken);
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1 ").arg(i + 1, 2, 16, QLatin1Char('0'));
    text.insert(count / 2 * 3, junk + QLatin1Char(' '));
    if (!taken)
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^Wrong settings size %1 40$").arg(count)));
    WinKey wk;
    wk.hostData(QByteArray("\x02\x05", 2)); // what was there before stays when refused
    wk.setParameters(WinKey::blockFromText(text));
    const WinKey::Params p = wk.parameters();
    for (int i = 0; i < WinKey::kParamSize; ++i) {
        const int before = i == WinKeyDecoder::Speed ? 5 : i == WinKeyDecoder::DitTime ? 240 : 0;
        QCOMPARE(int(p[size_t(i)]), taken ? i + 1 : before);
    }
}

void TestWinKey::echoback()
{
    HostPipe host;
    WinKey wk;
    wk.setPort(&host);
    host.hostWrites(neutral(20) + QByteArray("\x0e\x04", 2));
    host.hostWrites("AB");
    run(wk, 1);
    QCoreApplication::processEvents();
    QCOMPARE(host.replies, QByteArray("A"));
    run(wk, 400);
    QCoreApplication::processEvents();
    QCOMPARE(host.replies, QByteArray("A"));
    run(wk, 100);
    QCoreApplication::processEvents();
    QCOMPARE(host.replies, QByteArray("AB"));

    // Dropped characters are echoed too; echoback off stops it.
    host.hostWrites("a");
    run(wk, 1000);
    QCoreApplication::processEvents();
    QCOMPARE(host.replies, QByteArray("ABa"));
    host.hostWrites(QByteArray("\x0e\x00", 2));
    host.hostWrites("E");
    run(wk, 400);
    QCoreApplication::processEvents();
    QCOMPARE(host.replies, QByteArray("ABa"));
}

void TestWinKey::zeroSpeedAndExtremes()
{
    WinKey wk;
    // Never configured: everything zero. Keying must not crash or hang.
    wk.hostData(QByteArray("E\x1e\x00"
                           "T",
        4));
    run(wk, 50);
    QCOMPARE(wk.bufferedCount(), 0);

    // Load defaults with speed 0 keeps the speed it had.
    wk.hostData(neutral(20));
    QTest::ignoreMessage(QtWarningMsg, "Load defaults: wrong speed (0)");
    wk.hostData(QByteArray("\x0f\x00\x00\x05\x32\x00\x00\x05\x1e\x00\x00\x00\x00\x32\x00\xff", 16));
    QCOMPARE(wk.parameters()[WinKeyDecoder::Speed], quint8(20));
    QCOMPARE(wk.parameters()[WinKeyDecoder::DitTime], quint8(60));

    // Extreme weighting and compensation: spaces clamp at zero instead of
    // wrapping to a minute-long countdown; ratio 0 likewise.
    wk.hostData(QByteArray("\x0f\x00\x14\x05\xff\x00\x00\x05\x1e\x00\xff\x00\x00\x00\x00\xff", 16));
    wk.hostData("ET");
    const Trace t = run(wk, 3000);
    const Runs r = runsOf(t.key);
    QVERIFY(!r.isEmpty());
    QVERIFY(!t.key.last());
    QVERIFY(!wk.isBusy());
}

void TestWinKey::pauseState()
{
    WinKey wk;
    wk.hostData(neutral(20) + QByteArray("\x06\x01", 2) + "E");
    Trace t = run(wk, 300);
    QVERIFY(runsOf(t.key).isEmpty());
    QVERIFY(!wk.pttOutput());
    wk.hostData(QByteArray("\x06\x00", 2));
    t = run(wk, 300);
    QCOMPARE(runsOf(t.key), (Runs { { 0, 60 } }));
}

void TestWinKey::bufferedPtt()
{
    WinKey wk;
    wk.hostData(neutral(20) + QByteArray("\x18\x01", 2));
    Trace t = run(wk, 100);
    QVERIFY(t.ptt.first());
    QVERIFY(t.ptt.last());
    wk.hostData(QByteArray("\x18\x00", 2));
    t = run(wk, 10);
    QVERIFY(!t.ptt.first());
}

void TestWinKey::stopReleasesOutputs()
{
    WinKey wk;
    wk.hostData(neutral(20) + "T");
    run(wk, 10);
    QVERIFY(wk.keyOutput());
    QVERIFY(wk.pttOutput());
    wk.stop();
    QVERIFY(!wk.keyOutput());
    QVERIFY(!wk.pttOutput());
}

QTEST_MAIN(TestWinKey)
#include "tst_winkey.moc"
