#include "client/ports/pttcwserial.h"
#include "client/ports/winkey.h"
#include "common/settings.h"

#include <QSignalSpy>
#include <QtTest>

using namespace brelko;
using namespace morvex;

class TestKeyingRecord : public QObject
{
    Q_OBJECT

private slots:
    void packing_data();
    void packing();
    void roundTrip();
    void sampler();
    void forcedPtt();
};

void TestKeyingRecord::packing_data()
{
    QTest::addColumn<QString>("pattern"); // per sample: '.' none, 'p' PTT, 'k' key, 'b' both
    QTest::addColumn<QByteArray>("samples");
    QTest::newRow("released") << QString(64, QLatin1Char('.')) << QByteArray(16, '\0');
    QTest::newRow("RTS held") << QString(64, QLatin1Char('p')) << QByteArray(16, '\x55');
    QTest::newRow("DTR held") << QString(64, QLatin1Char('k')) << QByteArray(16, '\xaa');
    QTest::newRow("both held") << QString(64, QLatin1Char('b')) << QByteArray(16, '\xff');
    QTest::newRow("key at sample 0") << QStringLiteral("k") + QString(63, QLatin1Char('.'))
                                     << QByteArray(1, '\x80') + QByteArray(15, '\0');
    QTest::newRow("key at sample 3") << QStringLiteral("...k") + QString(60, QLatin1Char('.'))
                                     << QByteArray(1, '\x02') + QByteArray(15, '\0');
    QTest::newRow("key at samples 0-3") << QStringLiteral("kkkk") + QString(60, QLatin1Char('.'))
                                        << QByteArray(1, '\xaa') + QByteArray(15, '\0');
    QTest::newRow("PTT at last sample") << QString(63, QLatin1Char('.')) + QStringLiteral("p")
                                        << QByteArray(15, '\0') + QByteArray(1, '\x01');
}

void TestKeyingRecord::packing()
{
    QFETCH(QString, pattern);
    QFETCH(QByteArray, samples);
    KeyingRecord r;
    for (int i = 0; i < 64; ++i) {
        const QChar c = pattern.at(i);
        const bool full = r.addSample(
            c == QLatin1Char('k') || c == QLatin1Char('b'), c == QLatin1Char('p') || c == QLatin1Char('b'));
        QCOMPARE(full, i == 63);
    }
    r.stamp(0x01020304, -2);
    const QByteArray bytes = r.toByteArray();
    QCOMPARE(bytes.size(), 24);
    QCOMPARE(bytes.left(8), QByteArray("\x04\x03\x02\x01\xfe\xff\xff\xff", 8));
    QCOMPARE(bytes.mid(8), samples);
    for (int i = 0; i < 64; ++i) {
        const QChar c = pattern.at(i);
        QCOMPARE(KeyingRecord::keyAt(bytes, i), c == QLatin1Char('k') || c == QLatin1Char('b'));
        QCOMPARE(KeyingRecord::pttAt(bytes, i), c == QLatin1Char('p') || c == QLatin1Char('b'));
    }
}

void TestKeyingRecord::roundTrip()
{
    KeyingRecord r;
    r.stamp(77, 123456);
    QCOMPARE(KeyingRecord::sequenceOf(r.toByteArray()), 77u);
    QCOMPARE(KeyingRecord::timeOf(r.toByteArray()), 123456);
    QCOMPARE(KeyingRecord::sequenceOf(QByteArray(23, '\1')), 0u);
    QVERIFY(!KeyingRecord::keyAt(QByteArray(24, '\xff'), 64));
    r.clear();
    QCOMPARE(r.toByteArray(), QByteArray(24, '\0'));
}

void TestKeyingRecord::sampler()
{
    // The step driven by hand, with the keyer as the only line source.
    WinKey wk;
    wk.hostData(QByteArray("\x02\x14\x03\x32\x17\x32\x04\x00\x00", 9) + "T");
    PttCwSerial s;
    s.startSampling(nullptr, &wk);
    s.stopSampling();
    s.startSampling(nullptr, &wk); // the pointers stay, no timer runs now
    s.stopSampling();
    QSignalSpy filled(&s, &PttCwSerial::packetFilled);
    QSignalSpy rts(&s, &PttCwSerial::changedRTS);
    for (int i = 0; i < 64 * 6; ++i) {
        wk.sendChar();
        s.step();
    }
    QCOMPARE(filled.count(), 12);
    // Newest first, then the one before it (all zero before the first).
    const QByteArray first = filled.at(0).at(0).toByteArray();
    QCOMPARE(KeyingRecord::sequenceOf(first), 0u);
    QCOMPARE(first.mid(8), QByteArray(16, '\xff'));
    QCOMPARE(filled.at(1).at(0).toByteArray(), QByteArray(24, '\0'));
    QCOMPARE(filled.at(3).at(0).toByteArray(), first);
    const QByteArray third = filled.at(4).at(0).toByteArray();
    QCOMPARE(KeyingRecord::sequenceOf(third), 2u);
    // "T" is 180 ms: key down for samples 128 to 179 of the stream.
    QCOMPARE(third.mid(8, 13), QByteArray(13, '\xff'));
    QCOMPARE(quint8(third.at(21)), quint8(0x55));
    QVERIFY(KeyingRecord::timeOf(third) >= KeyingRecord::timeOf(first));
    QCOMPARE(s.sequence(), 6u);
    QVERIFY(s.takeCwActivity());
    QVERIFY(!s.takeCwActivity());
    // PTT went up with the character and down after the gap (tick 360).
    const QByteArray sixth = filled.at(10).at(0).toByteArray();
    QCOMPARE(sixth.mid(8, 10), QByteArray(10, '\x55'));
    QCOMPARE(sixth.mid(18), QByteArray(6, '\0'));
    QCOMPARE(rts.count(), 2);
    QCOMPARE(rts.at(0).at(0).toBool(), true);
    QCOMPARE(rts.at(1).at(0).toBool(), false);
}

void TestKeyingRecord::forcedPtt()
{
    WinKey wk;
    wk.hostData(QByteArray("\x02\x14\x03\x32\x17\x32\x04\x00\x00", 9));
    PttCwSerial s;
    s.startSampling(nullptr, &wk);
    QSignalSpy filled(&s, &PttCwSerial::packetFilled);
    QSignalSpy rts(&s, &PttCwSerial::changedRTS);
    s.setPttState(true);
    wk.hostData("E");
    for (int i = 0; i < 64 * 2; ++i) {
        wk.sendChar();
        s.step();
    }
    QCOMPARE(rts.count(), 0);
    for (int r = 0; r < 4; r += 2) {
        const QByteArray rec = filled.at(r).at(0).toByteArray();
        for (int i = 0; i < 64; ++i)
            QVERIFY(KeyingRecord::pttAt(rec, i));
    }
    // Stopping releases the forced PTT.
    s.stopSampling();
    QVERIFY(!s.pttForced());
}

QTEST_MAIN(TestKeyingRecord)
#include "tst_keyingrecord.moc"
