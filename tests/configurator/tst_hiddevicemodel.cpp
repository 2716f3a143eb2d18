#include "sim/hid/hiddevicemodel.h"

#include <QtEndian>
#include <QtTest>

namespace {
QByteArray payload(quint8 command, quint8 param, const QByteArray &value = QByteArray())
{
    QByteArray p(64, '\0');
    p[0] = char(command);
    p[1] = char(param);
    p.replace(2, value.size(), value);
    return p.left(64);
}

QByteArray get(HidDeviceModel &m, quint8 param, quint8 index = 0)
{
    HidDeviceModel::Effect e;
    return m.process(payload(2, param, QByteArray(1, char(index))), &e);
}

void set(HidDeviceModel &m, quint8 param, const QByteArray &value, HidDeviceModel::Effect *e = nullptr)
{
    HidDeviceModel::Effect dummy;
    QVERIFY(m.process(payload(3, param, value), e ? e : &dummy).isEmpty());
}
} // namespace

class TstHidDeviceModel : public QObject
{
    Q_OBJECT

private slots:
    void defaultsAnswerWithEcho();
    void setsChangeWorkingValuesAndCommitStoresThem();
    void resetRestoresDefaults();
    void slotsRoundTrip();
    void modes();
    void crcCheckValue();
    void firmwareChunksReassemble();
};

void TstHidDeviceModel::defaultsAnswerWithEcho()
{
    HidDeviceModel m;
    QByteArray r = get(m, 13);
    QCOMPARE(r.size(), 64);
    QCOMPARE(r.left(5), QByteArray::fromHex("0dc0a80107"));
    r = get(m, 18);
    QCOMPARE(qFromLittleEndian<quint16>(r.constData() + 1), quint16(11000));
    r = get(m, 6);
    QCOMPARE(qFromLittleEndian<quint32>(r.constData() + 13), quint32(2)); // feature word
    r = get(m, 8);
    QCOMPARE(QByteArray(r.constData() + 1), QByteArray("Brelko"));
    QCOMPARE(m.log(), QStringList({ "get 13", "get 18", "get 6", "get 8" }));
}

void TstHidDeviceModel::setsChangeWorkingValuesAndCommitStoresThem()
{
    HidDeviceModel m;
    set(m, 13, QByteArray::fromHex("c0a8010a"));
    set(m, 8, QByteArray("Home\0garbage", 12));
    QCOMPARE(m.valueText(13), QStringLiteral("192.168.1.10"));
    QCOMPARE(m.valueText(8), QStringLiteral("Home"));

    // Without a commit a power cycle brings the stored values back.
    m.powerCycle();
    QCOMPARE(m.valueText(13), QStringLiteral("192.168.1.7"));

    set(m, 13, QByteArray::fromHex("0a000001"));
    HidDeviceModel::Effect e = HidDeviceModel::Effect::None;
    set(m, 5, QByteArray(62, '\0'), &e);
    QCOMPARE(e, HidDeviceModel::Effect::Commit);
    m.powerCycle();
    QCOMPARE(m.valueText(13), QStringLiteral("10.0.0.1"));
    QCOMPARE(m.log().mid(0, 2), QStringList({ "set 13 192.168.1.10", "set 8 Home" }));
    QVERIFY(m.log().contains("commit"));
}

void TstHidDeviceModel::resetRestoresDefaults()
{
    HidDeviceModel m;
    set(m, 18, QByteArray::fromHex("3930"));
    set(m, 5, QByteArray());
    QCOMPARE(m.valueText(18), QStringLiteral("12345"));
    HidDeviceModel::Effect e;
    QVERIFY(m.process(payload(1, 0), &e).isEmpty());
    QCOMPARE(e, HidDeviceModel::Effect::Reset);
    m.powerCycle();
    QCOMPARE(m.valueText(18), QStringLiteral("11000"));
}

void TstHidDeviceModel::slotsRoundTrip()
{
    HidDeviceModel m;
    QByteArray v(10, '\0');
    v[0] = 3;
    v[1] = 0x0F;
    qToLittleEndian<quint32>(30, v.data() + 2);
    qToLittleEndian<quint32>(5, v.data() + 6);
    set(m, 29, v);
    QByteArray pass(62, '\0');
    pass[0] = 3;
    pass.replace(1, 60, QByteArray(60, 'p'));
    set(m, 30, pass);

    const QByteArray r = get(m, 29, 3);
    QCOMPARE(r.mid(0, 10), QByteArray::fromHex("1d0f1e0000000500000000").left(10));
    QCOMPARE(QByteArray(get(m, 30, 3).constData() + 1), QByteArray(60, 'p'));
    set(m, 29, QByteArray(1, char(9))); // no slot 9: ignored
    QVERIFY(m.log().contains("set 29 bad slot 9"));
}

void TstHidDeviceModel::modes()
{
    HidDeviceModel m;
    m.setSilent(true);
    QVERIFY(get(m, 13).isEmpty());
    m.setSilent(false);
    m.setCorruption(HidDeviceModel::Corruption::WrongEcho);
    QCOMPARE(quint8(get(m, 13)[0]), quint8(13 ^ 0x40));
    m.setCorruption(HidDeviceModel::Corruption::NoNul);
    const QByteArray r = get(m, 8);
    QVERIFY(!r.mid(1).contains('\0'));
    m.setCorruption(HidDeviceModel::Corruption::AllFF);
    QCOMPARE(get(m, 8), QByteArray(64, char(0xFF)));
}

void TstHidDeviceModel::crcCheckValue()
{
    QCOMPARE(HidDeviceModel::crc16("123456789"), quint16(0xE5CC));
}

void TstHidDeviceModel::firmwareChunksReassemble()
{
    // A 500-byte file with a new feature word, sent the way the uploader does.
    QByteArray file(500, '\0');
    for (int i = 0; i < file.size(); ++i)
        file[i] = char(i * 7);
    qToLittleEndian<quint32>(0xFE0A0001, file.data() + 392);
    qToLittleEndian<quint32>(1, file.data() + 408);
    QByteArray image(6, '\0');
    qToLittleEndian<quint32>(quint32(file.size()), image.data());
    qToLittleEndian<quint16>(HidDeviceModel::crc16(file.left(file.size() - 2)), image.data() + 4);
    image += file;

    HidDeviceModel m;
    set(m, 18, QByteArray::fromHex("3930"));
    set(m, 5, QByteArray());
    for (int off = 0; off < image.size(); off += 58) {
        QByteArray v(62, char(0xFF));
        qToLittleEndian<quint32>(quint32(off), v.data());
        const QByteArray data = image.mid(off, 58);
        v.replace(4, data.size(), data);
        set(m, 4, v);
    }
    QVERIFY(m.imageComplete());
    QVERIFY(m.imageCrcOk());
    QCOMPARE(m.image().mid(6, file.size()), file);

    HidDeviceModel::Effect e;
    m.process(payload(0, 0), &e);
    QCOMPARE(e, HidDeviceModel::Effect::Restart);
    QCOMPARE(m.firmware().feature, quint32(1));
    // A new feature word resets the settings.
    QCOMPARE(m.valueText(18), QStringLiteral("11000"));

    // A damaged image is not started.
    HidDeviceModel bad;
    image[100] = char(image[100] ^ 1);
    for (int off = 0; off < image.size(); off += 58) {
        QByteArray v(62, char(0xFF));
        qToLittleEndian<quint32>(quint32(off), v.data());
        v.replace(4, qMin(58, image.size() - off), image.mid(off, 58));
        set(bad, 4, v);
    }
    QVERIFY(bad.imageComplete());
    QVERIFY(!bad.imageCrcOk());
    bad.process(payload(0, 0), &e);
    QCOMPARE(bad.firmware().feature, quint32(2));
}

QTEST_APPLESS_MAIN(TstHidDeviceModel)
#include "tst_hiddevicemodel.moc"
