// Firmware files and their chunk reports, without a device.

#include "configurator/firmwareimage.h"
#include "configurator/hidreport.h"

#include <QtEndian>
#include <QtTest>

using namespace configurator;

using namespace FirmwareImage;

namespace {
// A file that passes the device's checks: image and feature words in place.
QByteArray makeFile(int size, quint32 image = 0xFE0A0001, quint32 feature = 2)
{
    QByteArray f(size, '\0');
    for (int i = 0; i < size; ++i)
        f[i] = char((i * 7 + 3) & 0xFF);
    if (size >= kImageWordOffset + 4)
        qToLittleEndian<quint32>(image, f.data() + kImageWordOffset);
    if (size >= kFeatureOffset + 4)
        qToLittleEndian<quint32>(feature, f.data() + kFeatureOffset);
    return f;
}
} // namespace

class TstFirmwareImage : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue();
    void transferCrcLeavesOutTheLastTwoBytes();
    void check_data();
    void check();
    void firstChunkLayout();
    void laterChunksArePaddedWithFF();
    void endMarkerRepeatsTheLastChunk();
    void chunksRebuildTheImage_data();
    void chunksRebuildTheImage();
    void older_data();
    void older();
};

void TstFirmwareImage::crcCheckValue()
{
    QCOMPARE(crc16(QByteArray("123456789")), quint16(0xE5CC));
    QCOMPARE(crc16(QByteArray()), quint16(0x1D0F));
}

void TstFirmwareImage::transferCrcLeavesOutTheLastTwoBytes()
{
    QCOMPARE(transferCrc(QByteArray("123456789\xAA\xBB")), quint16(0xE5CC));
    QCOMPARE(transferCrc(QByteArray("1")), crc16(QByteArray()));
    QCOMPARE(transferCrc(QByteArray()), crc16(QByteArray()));
}

void TstFirmwareImage::check_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<quint32>("deviceImage");
    QTest::addColumn<quint32>("deviceFeature");
    QTest::addColumn<int>("result");
    const auto ok = int(Check::Ok);
    QTest::newRow("empty") << QByteArray() << 0xFE0A0001u << 2u << int(Check::BadSize);
    QTest::newRow("exactly 500000") << makeFile(500000) << 0xFE0A0001u << 2u << ok;
    QTest::newRow("500001") << makeFile(500001) << 0xFE0A0001u << 2u << int(Check::BadSize);
    QTest::newRow("smallest with both words") << makeFile(412) << 0xFE0A0001u << 2u << ok;
    QTest::newRow("truncated before the feature word")
        << makeFile(411) << 0xFE0A0001u << 2u << int(Check::NotValid);
    QTest::newRow("truncated before the image word")
        << makeFile(100) << 0xFE0A0001u << 2u << int(Check::NotValid);
    // A missing mask bit is refused before any comparison with the device.
    QTest::newRow("bit 17 clear") << makeFile(4096, 0xFE080001) << 0xFE080001u << 2u << int(Check::NotValid);
    QTest::newRow("bit 25 clear") << makeFile(4096, 0xFC0A0001) << 0x12345678u << 9u << int(Check::NotValid);
    QTest::newRow("other device") << makeFile(4096, 0xFE0A0002) << 0xFE0A0001u << 2u
                                  << int(Check::Incompatible);
    QTest::newRow("feature differs") << makeFile(4096, 0xFE0A0001, 1) << 0xFE0A0001u << 2u
                                     << int(Check::FeatureDiffers);
    QByteArray random(3000, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 2654435761u) >> 24);
    QTest::newRow("random") << random << 0xFE0A0001u << 2u << int(Check::NotValid);
}

void TstFirmwareImage::check()
{
    QFETCH(QByteArray, file);
    QFETCH(quint32, deviceImage);
    QFETCH(quint32, deviceFeature);
    QFETCH(int, result);
    QCOMPARE(int(FirmwareImage::check(file, deviceImage, deviceFeature)), result);
}

void TstFirmwareImage::firstChunkLayout()
{
    const QByteArray file = makeFile(1000);
    const QByteArray r = firstChunk(1000, 0xBEEF, file.left(kFirstChunkData));
    QCOMPARE(r.size(), HidReport::kRequestSize);
    QCOMPARE(quint8(r[0]), quint8(0));
    QCOMPARE(quint8(r[1]), quint8(0x03));
    QCOMPARE(quint8(r[2]), quint8(0x04));
    QCOMPARE(chunkOffset(r), 0u);
    QCOMPARE(HidReport::u32At(r, 7), 1000u);
    QCOMPARE(HidReport::u16At(r, 11), quint16(0xBEEF));
    QCOMPARE(r.mid(13), file.left(52));

    // A file shorter than 52 bytes: the rest is 0xFF.
    const QByteArray tiny = firstChunk(3, 0x1234, "abc");
    QCOMPARE(tiny.mid(13, 3), QByteArray("abc"));
    QCOMPARE(tiny.mid(16), QByteArray(49, char(0xFF)));
}

void TstFirmwareImage::laterChunksArePaddedWithFF()
{
    const QByteArray r = chunk(52, QByteArray(58, 'x'));
    QCOMPARE(r.size(), 65);
    QCOMPARE(chunkOffset(r), 58u);
    QCOMPARE(r.mid(7), QByteArray(58, 'x'));
    const QByteArray last = chunk(110, "tail");
    QCOMPARE(chunkOffset(last), 116u);
    QCOMPARE(last.mid(7, 4), QByteArray("tail"));
    QCOMPARE(last.mid(11), QByteArray(54, char(0xFF)));
    // More than a chunk holds is never copied past the report.
    QCOMPARE(chunk(0, QByteArray(200, 'y')).size(), 65);
}

void TstFirmwareImage::endMarkerRepeatsTheLastChunk()
{
    const QByteArray last = chunk(110, "tail");
    const QByteArray end = endMarker(last);
    QCOMPARE(chunkOffset(end), kEndMarker);
    QCOMPARE(end.left(3), last.left(3));
    QCOMPARE(end.mid(7), last.mid(7));
}

void TstFirmwareImage::chunksRebuildTheImage_data()
{
    QTest::addColumn<int>("size");
    for (int size : { 1, 2, 52, 53, 110, 111, 412, 4097, 500000 })
        QTest::newRow(qPrintable(QString::number(size))) << size;
}

// Plays the device: places each chunk at its offset and checks the result.
void TstFirmwareImage::chunksRebuildTheImage()
{
    QFETCH(int, size);
    const QByteArray file = makeFile(size);
    QList<QByteArray> reports { firstChunk(quint32(size), transferCrc(file), file.left(kFirstChunkData)) };
    for (int pos = kFirstChunkData; pos < size; pos += kChunkData)
        reports << chunk(quint32(pos), file.mid(pos, kChunkData));
    QCOMPARE(reports.size(), 1 + qMax(0, (size - kFirstChunkData + kChunkData - 1) / kChunkData));

    QByteArray image(kHeaderSize + size + 64, char(0xFF));
    for (const QByteArray &r : qAsConst(reports))
        image.replace(int(chunkOffset(r)), 58, r.mid(7));
    QCOMPARE(HidReport::u32At(image, 0), quint32(size));
    QCOMPARE(HidReport::u16At(image, 4), crc16(file.left(size - 2)));
    QCOMPARE(image.mid(kHeaderSize, size), file);
}

void TstFirmwareImage::older_data()
{
    QTest::addColumn<quint32>("major");
    QTest::addColumn<quint32>("minor");
    QTest::addColumn<quint32>("build");
    QTest::addColumn<QByteArray>("minimum");
    QTest::addColumn<bool>("older");
    QTest::newRow("1.1.6") << 1u << 1u << 6u << QByteArray("1.1.7") << true;
    QTest::newRow("1.0.99") << 1u << 0u << 99u << QByteArray("1.1.7") << true;
    QTest::newRow("0.9.9") << 0u << 9u << 9u << QByteArray("1.1.7") << true;
    QTest::newRow("1.1.7") << 1u << 1u << 7u << QByteArray("1.1.7") << false;
    QTest::newRow("1.2.0") << 1u << 2u << 0u << QByteArray("1.1.7") << false;
    QTest::newRow("2.0.0") << 2u << 0u << 0u << QByteArray("1.1.7") << false;
    // Numbers, not text: each of these sorts the other way as a string.
    QTest::newRow("1.1.10 vs 1.1.9") << 1u << 1u << 10u << QByteArray("1.1.9") << false;
    QTest::newRow("1.1.9 vs 1.1.10") << 1u << 1u << 9u << QByteArray("1.1.10") << true;
    QTest::newRow("1.10.0 vs 1.9.0") << 1u << 10u << 0u << QByteArray("1.9.0") << false;
    QTest::newRow("1.9.0 vs 1.10.0") << 1u << 9u << 0u << QByteArray("1.10.0") << true;
    QTest::newRow("10.0.0 vs 2.0.0") << 10u << 0u << 0u << QByteArray("2.0.0") << false;
    QTest::newRow("2.0.0 vs 10.0.0") << 2u << 0u << 0u << QByteArray("10.0.0") << true;
}

void TstFirmwareImage::older()
{
    QFETCH(quint32, major);
    QFETCH(quint32, minor);
    QFETCH(quint32, build);
    QFETCH(QByteArray, minimum);
    QFETCH(bool, older);
    Version v;
    v.major = major;
    v.minor = minor;
    v.build = build;
    QCOMPARE(isOlder(v, minimum.constData()), older);
}

QTEST_APPLESS_MAIN(TstFirmwareImage)
#include "tst_firmwareimage.moc"
