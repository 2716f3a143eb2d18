#include "client/link/packetheader.h"
#include "sim/simframe.h"

#include <QRandomGenerator>
#include <QTest>

using namespace morvex;

// The simulator's framing is written apart from the client's; both must
// agree byte for byte, and both must match the published CRC check values.
class TstSimFrame : public QObject
{
    Q_OBJECT

private slots:
    void checkValues_data();
    void checkValues();
    void sameFramesAsClient();
    void readerCutsStream();
    void readerDropsBadChecksum();
};

void TstSimFrame::checkValues_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::newRow("digits") << QByteArray("123456789") << 0xF7;
    QTest::newRow("abc") << QByteArray("abc") << 0xE2;
    QTest::newRow("empty") << QByteArray() << 0xFF;
}

void TstSimFrame::checkValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(SimFrame::crc8(bytes)), crc);
    QCOMPARE(int(::crc8(bytes.constData(), bytes.size())), crc);
}

void TstSimFrame::sameFramesAsClient()
{
    QRandomGenerator rng(20240611);
    for (int i = 0; i < 500; ++i) {
        const quint8 type = quint8(rng.bounded(256));
        const quint32 value = rng.generate();
        QByteArray payload(rng.bounded(i % 50 == 0 ? 3000 : 40), '\0');
        for (char &c : payload)
            c = char(rng.bounded(256));
        const QByteArray ours = SimFrame::build(type, value, payload);
        QCOMPARE(ours, makeFrame(type, value, payload));

        FrameReader reader;
        reader.append(ours);
        SimFrame::Frame f;
        QCOMPARE(reader.next(&f), FrameReader::Good);
        QCOMPARE(f.type, type);
        QCOMPARE(f.value, value);
        QCOMPARE(f.payload, payload);
    }
}

void TstSimFrame::readerCutsStream()
{
    const QByteArray a = SimFrame::build(0, 0, QByteArray("brelko\0", 7));
    const QByteArray b = SimFrame::build(1, 1);
    const QByteArray stream = a + b;
    FrameReader reader;
    SimFrame::Frame f;
    // Byte by byte: nothing before the last byte of each frame.
    int got = 0;
    for (int i = 0; i < stream.size(); ++i) {
        reader.append(stream.mid(i, 1));
        const FrameReader::Result r = reader.next(&f);
        if (i == a.size() - 1 || i == stream.size() - 1) {
            QCOMPARE(r, FrameReader::Good);
            QCOMPARE(int(f.type), got);
            ++got;
        } else {
            QCOMPARE(r, FrameReader::NeedMore);
        }
    }
    QCOMPARE(got, 2);
    QCOMPARE(reader.buffered(), 0);
}

void TstSimFrame::readerDropsBadChecksum()
{
    QByteArray bad = SimFrame::build(2, 0, QByteArray(1, '\x0a'));
    bad[8] = '\x0b';
    FrameReader reader;
    reader.append(bad + SimFrame::build(1, 0));
    SimFrame::Frame f;
    QCOMPARE(reader.next(&f), FrameReader::BadChecksum);
    QCOMPARE(int(f.type), 2);
    QCOMPARE(reader.buffered(), 0);
    QCOMPARE(reader.next(&f), FrameReader::NeedMore);
}

QTEST_APPLESS_MAIN(TstSimFrame)
#include "tst_simframe.moc"
