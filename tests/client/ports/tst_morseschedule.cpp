#include "client/ports/morseschedule.h"

#include <QtTest>

using namespace morvex;

using Spans = QVector<MorseSchedule::Span>;
Q_DECLARE_METATYPE(MorseSchedule::Timing)
Q_DECLARE_METATYPE(MorseSchedule::Span)

namespace {
MorseSchedule::Timing timing(
    int wpm, int weighting = 50, int comp = 0, int ratio = 50, int farns = 0, int ext = 0)
{
    MorseSchedule::Timing t;
    t.dit = 1200 / wpm;
    t.speed = wpm;
    t.weighting = weighting;
    t.keyCompensation = comp;
    t.ratio = ratio;
    t.farnsworth = farns;
    t.firstExtension = ext;
    return t;
}

Spans spans(std::initializer_list<int> ms)
{
    // Alternating from key down; a negative first value starts key up.
    Spans s;
    bool down = true;
    for (int v : ms) {
        if (v < 0) {
            down = false;
            v = -v;
        }
        s.append({ down, v });
        down = !down;
    }
    return s;
}

int total(const Spans &s)
{
    int sum = 0;
    for (const MorseSchedule::Span &x : s)
        sum += x.ms;
    return sum;
}
} // namespace

namespace QTest {
template<>
char *toString(const MorseSchedule::Span &s)
{
    return qstrdup(QByteArray(s.down ? "down " : "up ").append(QByteArray::number(s.ms)).constData());
}
} // namespace QTest

class TestMorseSchedule : public QObject
{
    Q_OBJECT

private slots:
    void elementTimes_data();
    void elementTimes();
    void table();
    void character();
    void forText_data();
    void forText();
    void paris_data();
    void paris();
};

void TestMorseSchedule::elementTimes_data()
{
    QTest::addColumn<MorseSchedule::Timing>("t");
    QTest::addColumn<QVector<int>>("expected"); // dit mark, element space, dah mark, character gap

    QTest::newRow("5 wpm") << timing(5) << QVector<int> { 240, 240, 720, 720 };
    QTest::newRow("20 wpm") << timing(20) << QVector<int> { 60, 60, 180, 180 };
    QTest::newRow("40 wpm") << timing(40) << QVector<int> { 30, 30, 90, 90 };
    QTest::newRow("99 wpm") << timing(99) << QVector<int> { 12, 12, 36, 36 };
    QTest::newRow("weighting 60") << timing(20, 60) << QVector<int> { 72, 48, 192, 168 };
    QTest::newRow("weighting 40") << timing(20, 40) << QVector<int> { 48, 72, 168, 192 };
    QTest::newRow("compensation 10") << timing(20, 50, 10) << QVector<int> { 70, 50, 190, 170 };
    QTest::newRow("ratio 60") << timing(20, 50, 0, 60) << QVector<int> { 60, 60, 216, 180 };
    // Farnsworth applies while the keying speed is at or below it: the
    // elements go at its speed, the gaps stretch to 3 * (f + d).
    QTest::newRow("farnsworth above the speed")
        << timing(20, 50, 0, 50, 25) << QVector<int> { 48, 48, 144, 324 };
    QTest::newRow("farnsworth at the speed")
        << timing(20, 50, 0, 50, 20) << QVector<int> { 60, 60, 180, 360 };
    QTest::newRow("farnsworth below the speed")
        << timing(20, 50, 0, 50, 19) << QVector<int> { 60, 60, 180, 180 };
    QTest::newRow("farnsworth with weighting")
        << timing(15, 60, 0, 50, 30) << QVector<int> { 48, 32, 128, 3 * (40 + 80) };
}

void TestMorseSchedule::elementTimes()
{
    QFETCH(MorseSchedule::Timing, t);
    QFETCH(QVector<int>, expected);
    const MorseSchedule::Times r = MorseSchedule::elementTimes(t);
    QCOMPARE((QVector<int> { r.ditMark, r.space, r.dahMark, r.gap }), expected);
}

void TestMorseSchedule::table()
{
    int known = 0;
    for (int c = 0; c < 256; ++c)
        known += MorseSchedule::pattern(char(c)) != nullptr;
    QCOMPARE(known, 55);
    QCOMPARE(MorseSchedule::pattern('A'), "ia");
    QCOMPARE(MorseSchedule::pattern('?'), "iiaaii");
    QCOMPARE(MorseSchedule::pattern('('), "aiaia");
    QCOMPARE(MorseSchedule::pattern(' '), " ");
    QCOMPARE(MorseSchedule::pattern('@'), "");
    QVERIFY(!MorseSchedule::pattern('a'));
    QVERIFY(!MorseSchedule::pattern('#'));
}

void TestMorseSchedule::character()
{
    const MorseSchedule::Timing t = timing(20, 50, 0, 50, 0, 15);
    bool first = true;
    MorseSchedule::Character c = MorseSchedule::character('A', t, &first, false);
    QCOMPARE(c.kind, MorseSchedule::Character::Keyed);
    QCOMPARE(c.count, 2);
    QCOMPARE(c.marks[0], quint16(75)); // the first mark of a transmission only
    QCOMPARE(c.marks[1], quint16(180));
    QCOMPARE(c.spaces[0], quint16(60));
    QCOMPARE(c.spaces[1], quint16(180));
    QVERIFY(!first);
    c = MorseSchedule::character('E', t, &first, true);
    QCOMPARE(c.marks[0], quint16(60));
    QCOMPARE(c.spaces[0], quint16(60)); // merged: an element space, no gap

    // Nothing to key leaves the first element for the next character.
    first = true;
    QCOMPARE(MorseSchedule::character('!', t, &first, false).kind, MorseSchedule::Character::Dropped);
    QCOMPARE(MorseSchedule::character('e', t, &first, false).kind, MorseSchedule::Character::Dropped);
    c = MorseSchedule::character(' ', t, &first, false);
    QCOMPARE(c.kind, MorseSchedule::Character::WordSpace);
    QCOMPARE(c.wordDelay, 420u);
    QCOMPARE(c.count, 0);
    QVERIFY(first);

    // Heavy weighting and compensation: negative spaces clamp at zero
    // instead of wrapping to a minute-long countdown.
    c = MorseSchedule::character('S', timing(20, 255, 255, 0), &first, false);
    QCOMPARE(c.marks[0], quint16(306 + 255));
    QCOMPARE(c.marks[1], quint16(306 + 255));
    QCOMPARE(c.spaces[0], quint16(0));
    QCOMPARE(c.spaces[2], quint16(0));
}

void TestMorseSchedule::forText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<MorseSchedule::Timing>("t");
    QTest::addColumn<int>("lead");
    QTest::addColumn<int>("tail");
    QTest::addColumn<Spans>("expected");

    const MorseSchedule::Timing n20 = timing(20);
    QTest::newRow("E") << QByteArray("E") << n20 << 0 << 0 << spans({ 60, 180 });
    QTest::newRow("T") << QByteArray("T") << n20 << 0 << 0 << spans({ 180, 180 });
    QTest::newRow("A") << QByteArray("A") << n20 << 0 << 0 << spans({ 60, 60, 180, 180 });
    QTest::newRow("word space") << QByteArray("E E") << n20 << 0 << 0 << spans({ 60, 180 + 420, 60, 180 });
    QTest::newRow("lead and tail") << QByteArray("E") << n20 << 500 << 200 << spans({ -500, 60, 180 + 200 });
    QTest::newRow("first extension") << QByteArray("EE") << timing(20, 50, 0, 50, 0, 20) << 0 << 0
                                     << spans({ 80, 180, 60, 180 });
    QTest::newRow("dropped costs a step") << QByteArray("aE") << n20 << 0 << 0 << spans({ -1, 60, 180 });
    QTest::newRow("dropped in the lead") << QByteArray("aE") << n20 << 100 << 0 << spans({ -100, 60, 180 });
    QTest::newRow("dropped last is the tail")
        << QByteArray("Ea") << n20 << 0 << 50 << spans({ 60, 180 + 50 });
    QTest::newRow("dropped only") << QByteArray("a") << n20 << 0 << 0 << Spans {};
    QTest::newRow("40 wpm") << QByteArray("AE") << timing(40) << 0 << 0 << spans({ 30, 30, 90, 90, 30, 90 });
}

void TestMorseSchedule::forText()
{
    QFETCH(QByteArray, text);
    QFETCH(MorseSchedule::Timing, t);
    QFETCH(int, lead);
    QFETCH(int, tail);
    QFETCH(Spans, expected);
    QCOMPARE(MorseSchedule::forText(text, t, lead, tail), expected);
}

void TestMorseSchedule::paris_data()
{
    QTest::addColumn<int>("wpm");
    QTest::newRow("5 wpm") << 5;
    QTest::newRow("12 wpm") << 12;
    QTest::newRow("20 wpm") << 20;
    QTest::newRow("40 wpm") << 40;
}

void TestMorseSchedule::paris()
{
    // "PARIS" is 43 dit times up to its last mark; the gap after S and the
    // word space's 7 on top of it make 53.
    QFETCH(int, wpm);
    const Spans s = MorseSchedule::forText("PARIS ", timing(wpm), 0, 0);
    QCOMPARE(total(s), 53 * (1200 / wpm));
    QCOMPARE(s.size(), 2 * 14);
    QCOMPARE(s.last(), (MorseSchedule::Span { false, 10 * (1200 / wpm) }));
}

QTEST_APPLESS_MAIN(TestMorseSchedule)
#include "tst_morseschedule.moc"
