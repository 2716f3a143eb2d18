#include "common/settings.h"
#include "client/ports/winkey.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

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
    void init();
    void timing_data();
    void timing();
    void pttLeadAndTail();
    void replies_data();
    void replies();
    void noPortNoReply();
    void rangeChecks_data();
    void rangeChecks();
    void backspace();
    void statusWithBacklog();
    void parametersSaved();
    void parametersRestored_data();
    void parametersRestored();
    void echoback();
    void zeroSpeedAndExtremes();
    void pauseState();
    void bufferedPtt();
    void stopReleasesOutputs();
};

void TestWinKey::init()
{
    Settings::instance()->setValue(Settings::WinKeyParameters, Settings::WinKey, QString());
}

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
    QTest::newRow("farnsworth at the speed") << n20 + QByteArray("\x0d\x14", 2) << QByteArray("EE") << 700
                                             << Runs { { 0, 60 }, { 420, 60 } };
    QTest::newRow("farnsworth below the speed") << n20 + QByteArray("\x0d\x13", 2) << QByteArray("EE") << 700
                                                << Runs { { 0, 60 }, { 240, 60 } };
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
    QCOMPARE(wk.parameters()[WinKey::PttLead], quint8(500 & 0xFF));
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

void TestWinKey::rangeChecks_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("param");
    QTest::newRow("speed 4") << QByteArray("\x02\x04") << "Set WPM speed: wrong value (4)"
                             << int(WinKey::Speed);
    QTest::newRow("speed 100") << QByteArray("\x02\x64") << "Set WPM speed: wrong value (100)"
                               << int(WinKey::Speed);
    QTest::newRow("weighting 9") << QByteArray("\x03\x09") << "Set weighting: wrong value (9)"
                                 << int(WinKey::Weighting);
    QTest::newRow("sidetone 11") << QByteArray("\x01\x0b") << "Set sidetone: wrong value (11)"
                                 << int(WinKey::Sidetone);
}

void TestWinKey::rangeChecks()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, warning);
    QFETCH(int, param);
    WinKey wk;
    wk.hostData(neutral(20) + QByteArray("\x01\x05", 2));
    const WinKey::Params before = wk.parameters();
    QTest::ignoreMessage(QtWarningMsg, warning.toLatin1().constData());
    wk.hostData(command + "E");
    QCOMPARE(wk.parameters()[size_t(param)], before[size_t(param)]);
    QCOMPARE(wk.parameters()[WinKey::DitTime], quint8(60));
    QCOMPARE(wk.bufferedCount(), 1); // the bad value was consumed, "E" queued
}

void TestWinKey::backspace()
{
    WinKey wk;
    wk.hostData("A\x08");
    QCOMPARE(wk.bufferedCount(), 1);
    wk.hostData("BC\x08");
    QCOMPARE(wk.bufferedCount(), 2);
    wk.hostData("\x0a");
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

void TestWinKey::parametersSaved()
{
    WinKey wk;
    wk.hostData(neutral(20));
    const QString text = Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString();
    QCOMPARE(text.size(), 120);
    QCOMPARE(text, WinKey::paramsToText(wk.parameters()));
    QVERIFY(text.startsWith(QLatin1String("00 00 00 00 00 00 00 00 00 00 00 00 ")));
    QCOMPARE(text.mid(21 * 3, 3), QStringLiteral("14 "));
    QCOMPARE(text.mid(36 * 3, 3), QStringLiteral("3c "));

    // Characters do not save; an incomplete command does.
    Settings::instance()->setValue(Settings::WinKeyParameters, Settings::WinKey, QStringLiteral("x"));
    wk.hostData("ABC");
    QCOMPARE(Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString(),
        QStringLiteral("x"));
    wk.hostData("\x02");
    QCOMPARE(Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString(), text);

    // A new keyer picks the block up.
    WinKey again;
    QCOMPARE(again.parameters(), wk.parameters());
}

void TestWinKey::parametersRestored_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("taken");
    QTest::newRow("39 bytes") << 39 << false;
    QTest::newRow("41 bytes") << 41 << false;
    QTest::newRow("40 bytes") << 40 << true;
}

void TestWinKey::parametersRestored()
{
    QFETCH(int, count);
    QFETCH(bool, taken);
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1 ").arg(i + 1, 2, 16, QLatin1Char('0'));
    Settings::instance()->setValue(Settings::WinKeyParameters, Settings::WinKey, text);
    if (!taken)
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^Wrong settings size %1 40$").arg(count)));
    WinKey wk;
    const WinKey::Params p = wk.parameters();
    for (int i = 0; i < WinKey::kParamSize; ++i)
        QCOMPARE(int(p[size_t(i)]), taken ? i + 1 : 0);
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
    QCOMPARE(wk.parameters()[WinKey::Speed], quint8(20));
    QCOMPARE(wk.parameters()[WinKey::DitTime], quint8(60));

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
