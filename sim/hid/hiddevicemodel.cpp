#include "sim/hid/hiddevicemodel.h"

#include <QHostAddress>
#include <QtEndian>

#include <cstring>

namespace {
constexpr int kStringField = 62; // request bytes 3 to 64
constexpr int kSlotPasswordField = 60;

QByteArray takeString(const QByteArray &payload, int from, int field)
{
    const QByteArray raw = payload.mid(from, field);
    const int nul = raw.indexOf('\0');
    return nul < 0 ? raw : raw.left(nul);
}

QString dotted(const std::array<quint8, 4> &a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

bool parseDotted(const QString &text, std::array<quint8, 4> *out)
{
    QHostAddress addr;
    if (!addr.setAddress(text) || addr.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    const quint32 v = addr.toIPv4Address();
    *out = { { quint8(v >> 24), quint8(v >> 16), quint8(v >> 8), quint8(v) } };
    return true;
}

quint32 u32At(const QByteArray &b, int at)
{
    if (at < 0 || at + 4 > b.size())
        return 0;
    return qFromLittleEndian<quint32>(b.constData() + at);
}
} // namespace

HidDeviceModel::HidDeviceModel()
{
    lastError[0] = 7; // nothing recorded
}

QByteArray HidDeviceModel::process(const QByteArray &rawPayload, Effect *effect)
{
    *effect = Effect::None;
    QByteArray payload = rawPayload.left(kPayloadSize);
    payload.append(QByteArray(kPayloadSize - payload.size(), '\0'));
    const quint8 command = quint8(payload[0]);
    const quint8 param = quint8(payload[1]);

    switch (command) {
    case 0x00:
        m_log.append(QStringLiteral("restart"));
        if (imageComplete() && imageCrcOk() && imageDeclaredLength() >= 412) {
            const quint32 image = u32At(m_image, 6 + 392);
            const quint32 feature = u32At(m_image, 6 + 408);
            // The version block of the image: major, minor, build, feature.
            const quint32 major = u32At(m_image, 6 + 396);
            const quint32 minor = u32At(m_image, 6 + 400);
            const quint32 build = u32At(m_image, 6 + 404);
            m_log.append(QStringLiteral("new firmware %1.%2.%3 feature %4")
                             .arg(major)
                             .arg(minor)
                             .arg(build)
                             .arg(feature));
            if (feature != m_fw.feature)
                m_stored = Config();
            m_fw.image = image;
            m_fw.feature = feature;
            m_fw.major = major;
            m_fw.minor = minor;
            m_fw.build = build;
            m_installed = imageFile();
        }
        m_image.clear();
        m_covered.clear();
        m_work = m_stored;
        *effect = Effect::Restart;
        return {};
    case 0x01:
        m_log.append(QStringLiteral("reset"));
        m_work = Config();
        m_stored = m_work;
        *effect = Effect::Reset;
        return {};
    case 0x02:
        if (param == 29 || param == 30)
            m_log.append(QStringLiteral("get %1 %2").arg(param).arg(quint8(payload[2])));
        else
            m_log.append(QStringLiteral("get %1").arg(param));
        if (m_silent)
            return {};
        return answer(param, payload);
    case 0x03:
        if (param == 5) {
            m_log.append(QStringLiteral("commit"));
            m_stored = m_work;
            *effect = Effect::Commit;
        } else if (param == 4) {
            storeChunk(payload);
        } else {
            applySet(param, payload);
        }
        return {};
    default:
        m_log.append(QStringLiteral("cmd %1").arg(command));
        return {};
    }
}

QByteArray HidDeviceModel::answer(quint8 param, const QByteArray &payload) const
{
    QByteArray r(kPayloadSize, '\0');
    r[0] = char(param);
    char *v = r.data() + 1;
    QByteArray text;
    bool isText = false;
    auto put32 = [&](int at, quint32 x) { qToLittleEndian<quint32>(x, v + at); };
    auto ip = [&](const std::array<quint8, 4> &a) { std::memcpy(v, a.data(), 4); };

    switch (param) {
    case 6:
        put32(0, m_fw.major);
        put32(4, m_fw.minor);
        put32(8, m_fw.build);
        put32(12, m_fw.feature);
        put32(16, m_fw.image);
        break;
    case 7:
        put32(0, hwMajor);
        put32(4, hwMinor);
        break;
    case 8:
        text = m_work.networkName;
        isText = true;
        break;
    case 9:
        text = m_work.networkPassword;
        isText = true;
        break;
    case 10:
        put32(0, quint32(rssi));
        break;
    case 11:
        put32(0, linkState);
        break;
    case 12:
        std::memcpy(v, mac.data(), 6);
        break;
    case 13:
        ip(m_work.ip);
        break;
    case 14:
        ip(m_work.mask);
        break;
    case 15:
        ip(m_work.gateway);
        break;
    case 16:
        ip(m_work.dns);
        break;
    case 17:
        text = m_work.accessPassword;
        isText = true;
        break;
    case 18:
        qToLittleEndian<quint16>(m_work.tcpPort, v);
        break;
    case 19:
        qToLittleEndian<quint16>(m_work.udpPort, v);
        break;
    case 20:
        qToLittleEndian<quint16>(m_work.udpCwPort, v);
        break;
    case 21:
        v[0] = char(m_work.ddnsEnabled);
        break;
    case 22:
        v[0] = char(m_work.ddnsService);
        break;
    case 23:
        text = m_work.ddnsAddress;
        isText = true;
        break;
    case 24:
        text = m_work.ddnsLogin;
        isText = true;
        break;
    case 25:
        text = m_work.ddnsPassword;
        isText = true;
        break;
    case 27:
        text = ddnsResult;
        isText = true;
        break;
    case 28:
        std::memcpy(v, lastError.constData(), size_t(qMin(63, lastError.size())));
        break;
    case 29: {
        const int slot = quint8(payload[2]);
        if (slot < 7) {
            const Slot &s = m_work.permSlots[size_t(slot)];
            v[0] = char(s.flags);
            qToLittleEndian<quint32>(s.workTime, v + 1);
            qToLittleEndian<quint32>(s.pauseTime, v + 5);
        }
        break;
    }
    case 30: {
        const int slot = quint8(payload[2]);
        if (slot < 7) {
            text = m_work.permSlots[size_t(slot)].password;
            isText = true;
        }
        break;
    }
    default:
        break;
    }
    if (isText)
        std::memcpy(v, text.constData(), size_t(qMin(text.size(), kStringField)));

    switch (m_corruption) {
    case Corruption::None:
        break;
    case Corruption::WrongEcho:
        r[0] = char(param ^ 0x40);
        break;
    case Corruption::NoNul:
        if (isText) {
            for (int i = 1 + qMin(text.size(), kStringField); i < kPayloadSize; ++i)
                r[i] = 'Z';
        }
        break;
    case Corruption::AllFF:
        r.fill(char(0xFF));
        break;
    }
    return r;
}

void HidDeviceModel::applySet(quint8 param, const QByteArray &payload)
{
    const char *v = payload.constData() + 2;
    auto ip = [&](std::array<quint8, 4> &a) { std::memcpy(a.data(), v, 4); };
    Config &c = m_work;
    switch (param) {
    case 8:
        c.networkName = takeString(payload, 2, kStringField);
        break;
    case 9:
        c.networkPassword = takeString(payload, 2, kStringField);
        break;
    case 13:
        ip(c.ip);
        break;
    case 14:
        ip(c.mask);
        break;
    case 15:
        ip(c.gateway);
        break;
    case 16:
        ip(c.dns);
        break;
    case 17:
        c.accessPassword = takeString(payload, 2, kStringField);
        break;
    case 18:
        c.tcpPort = qFromLittleEndian<quint16>(v);
        break;
    case 19:
        c.udpPort = qFromLittleEndian<quint16>(v);
        break;
    case 20:
        c.udpCwPort = qFromLittleEndian<quint16>(v);
        break;
    case 21:
        c.ddnsEnabled = quint8(v[0]) ? 1 : 0;
        break;
    case 22:
        c.ddnsService = quint8(v[0]);
        break;
    case 23:
        c.ddnsAddress = takeString(payload, 2, kStringField);
        break;
    case 24:
        c.ddnsLogin = takeString(payload, 2, kStringField);
        break;
    case 25:
        c.ddnsPassword = takeString(payload, 2, kStringField);
        break;
    case 29: {
        const int slot = quint8(v[0]);
        if (slot >= 7) {
            m_log.append(QStringLiteral("set 29 bad slot %1").arg(slot));
            return;
        }
        Slot &s = c.permSlots[size_t(slot)];
        s.flags = quint8(v[1]);
        s.workTime = qFromLittleEndian<quint32>(v + 2);
        s.pauseTime = qFromLittleEndian<quint32>(v + 6);
        m_log.append(
            QStringLiteral("set 29 %1 %2 %3 %4").arg(slot).arg(s.flags).arg(s.workTime).arg(s.pauseTime));
        return;
    }
    case 30: {
        const int slot = quint8(v[0]);
        if (slot >= 7) {
            m_log.append(QStringLiteral("set 30 bad slot %1").arg(slot));
            return;
        }
        c.permSlots[size_t(slot)].password = takeString(payload, 3, kSlotPasswordField);
        m_log.append(QStringLiteral("set 30 %1 %2")
                         .arg(slot)
                         .arg(QString::fromLatin1(c.permSlots[size_t(slot)].password)));
        return;
    }
    default:
        m_log.append(QStringLiteral("set %1 ignored").arg(param));
        return;
    }
    m_log.append(QStringLiteral("set %1 %2").arg(param).arg(valueText(param)));
}

QString HidDeviceModel::uploadTiming() const
{
    const qint64 ms = m_uploadStartMs >= 0 && m_uploadEndMs >= 0 ? m_uploadEndMs - m_uploadStartMs : -1;
    return QStringLiteral("chunks=%1 ms=%2 fastest-%3-gaps-us=%4")
        .arg(m_uploadChunks)
        .arg(ms)
        .arg(kGapRun)
        .arg(m_fastestRunUs);
}

void HidDeviceModel::storeChunk(const QByteArray &payload)
{
    const quint32 offset = qFromLittleEndian<quint32>(payload.constData() + 2);
    if (!m_clock.isValid())
        m_clock.start();
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    if (offset == 0) {
        m_gapCount = 0;
        m_gapSpanUs = 0;
        m_fastestRunUs = -1;
    } else if (m_lastChunkUs >= 0) {
        // The quickest stretch of kGapRun reports: the pace the sender keeps
        // when the host lets it, whatever stalls a busy machine adds elsewhere.
        qint64 &slot = m_gapsUs[size_t(m_gapCount % kGapRun)];
        if (m_gapCount >= kGapRun)
            m_gapSpanUs -= slot;
        slot = nowUs - m_lastChunkUs;
        m_gapSpanUs += slot;
        ++m_gapCount;
        if (m_gapCount >= kGapRun && (m_fastestRunUs < 0 || m_gapSpanUs < m_fastestRunUs))
            m_fastestRunUs = m_gapSpanUs;
    }
    m_lastChunkUs = nowUs;
    if (offset == 0xFFFFFFFFu) {
        m_log.append(QStringLiteral("chunk end"));
        m_uploadEndMs = m_clock.elapsed();
        return;
    }
    m_log.append(QStringLiteral("chunk %1").arg(offset));
    if (offset == 0) {
        m_image.clear();
        m_covered.clear();
        m_uploadStartMs = m_clock.elapsed();
        m_uploadEndMs = -1;
        m_uploadChunks = 0;
    }
    ++m_uploadChunks;
    const int count = kPayloadSize - 6;
    if (offset > quint32(kImageLimit - count)) {
        m_log.append(QStringLiteral("chunk beyond image"));
        return;
    }
    const int end = int(offset) + count;
    if (m_image.size() < end) {
        m_image.append(QByteArray(end - m_image.size(), char(0xFF)));
        m_covered.append(QByteArray(end - m_covered.size(), '\0'));
    }
    std::memcpy(m_image.data() + offset, payload.constData() + 6, size_t(count));
    std::memset(m_covered.data() + offset, 1, size_t(count));
}

QByteArray HidDeviceModel::imageFile() const
{
    if (!imageComplete())
        return QByteArray();
    return m_image.mid(6, int(imageDeclaredLength()));
}

QByteArray HidDeviceModel::lastErrorRecord(int type, const QString &reason, const QList<quint32> &registers)
{
    QByteArray r(63, '\0');
    r[0] = char(quint8(type));
    if (type == 0) {
        const QByteArray text = reason.toUtf8().left(60);
        std::memcpy(r.data() + 1, text.constData(), size_t(text.size()));
    } else if (type >= 1 && type <= 6) {
        for (int i = 0; i < 13 && i < registers.size(); ++i)
            qToLittleEndian<quint32>(registers[i], r.data() + 1 + 4 * i);
    }
    return r;
}

quint32 HidDeviceModel::imageDeclaredLength() const
{
    return u32At(m_image, 0);
}

bool HidDeviceModel::imageComplete() const
{
    const quint32 len = imageDeclaredLength();
    if (m_image.size() < 6 || len == 0 || len > quint32(kImageLimit - 6))
        return false;
    const int end = 6 + int(len);
    if (m_covered.size() < end)
        return false;
    return !m_covered.left(end).contains('\0');
}

bool HidDeviceModel::imageCrcOk() const
{
    if (!imageComplete())
        return false;
    const int len = int(imageDeclaredLength());
    if (len < 2)
        return false;
    const quint16 sent = qFromLittleEndian<quint16>(m_image.constData() + 4);
    return crc16(m_image.mid(6, len - 2)) == sent;
}

// CRC-16/AUG-CCITT: polynomial 0x1021, initial value 0x1D0F, no reflection.
quint16 HidDeviceModel::crc16(const QByteArray &data)
{
    quint16 crc = 0x1D0F;
    for (char ch : data) {
        crc ^= quint16(quint8(ch)) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

void HidDeviceModel::factory()
{
    m_work = Config();
    m_stored = Config();
}

void HidDeviceModel::powerCycle()
{
    m_work = m_stored;
}

QString HidDeviceModel::valueText(int param) const
{
    const Config &c = m_work;
    switch (param) {
    case 6:
        return QStringLiteral("%1.%2.%3").arg(m_fw.major).arg(m_fw.minor).arg(m_fw.build);
    case 7:
        return QStringLiteral("%1.%2").arg(hwMajor).arg(hwMinor);
    case 8:
        return QString::fromLatin1(c.networkName);
    case 9:
        return QString::fromLatin1(c.networkPassword);
    case 10:
        return QString::number(rssi);
    case 11:
        return QString::number(linkState);
    case 12: {
        QStringList parts;
        for (quint8 b : mac)
            parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
        return parts.join(QLatin1Char(':'));
    }
    case 13:
        return dotted(c.ip);
    case 14:
        return dotted(c.mask);
    case 15:
        return dotted(c.gateway);
    case 16:
        return dotted(c.dns);
    case 17:
        return QString::fromLatin1(c.accessPassword);
    case 18:
        return QString::number(c.tcpPort);
    case 19:
        return QString::number(c.udpPort);
    case 20:
        return QString::number(c.udpCwPort);
    case 21:
        return QString::number(c.ddnsEnabled);
    case 22:
        return QString::number(c.ddnsService);
    case 23:
        return QString::fromLatin1(c.ddnsAddress);
    case 24:
        return QString::fromLatin1(c.ddnsLogin);
    case 25:
        return QString::fromLatin1(c.ddnsPassword);
    case 27:
        return QString::fromLatin1(ddnsResult);
    case 28:
        return QString::fromLatin1(lastError.toHex());
    default:
        return QString();
    }
}

bool HidDeviceModel::setValueText(int param, const QString &text)
{
    const Config working = m_work;
    m_work = m_stored;
    if (!setWorkingText(param, text)) {
        m_work = working;
        return false;
    }
    const Config stored = m_work;
    m_work = working;
    setWorkingText(param, text);
    m_stored = stored;
    return true;
}

bool HidDeviceModel::setWorkingText(int param, const QString &text)
{
    Config &c = m_work;
    bool ok = true;
    auto num = [&](qlonglong lo, qlonglong hi) {
        const qlonglong n = text.toLongLong(&ok, 0);
        ok = ok && n >= lo && n <= hi;
        return n;
    };
    switch (param) {
    case 6: {
        const QStringList p = text.split(QLatin1Char('.'));
        if (p.size() != 3)
            return false;
        bool a = false, b = false, d = false;
        const quint32 maj = p[0].toUInt(&a), min = p[1].toUInt(&b), bld = p[2].toUInt(&d);
        if (!a || !b || !d)
            return false;
        m_fw.major = maj;
        m_fw.minor = min;
        m_fw.build = bld;
        return true;
    }
    case 7: {
        const QStringList p = text.split(QLatin1Char('.'));
        if (p.size() != 2)
            return false;
        hwMajor = p[0].toUInt();
        hwMinor = p[1].toUInt();
        return true;
    }
    case 8:
        c.networkName = text.toLatin1().left(kStringField);
        return true;
    case 9:
        c.networkPassword = text.toLatin1().left(kStringField);
        return true;
    case 10: {
        const qlonglong n = num(-200, 100);
        if (ok)
            rssi = qint32(n);
        return ok;
    }
    case 11: {
        const qlonglong n = num(0, 0xFFFFFFFFLL);
        if (ok)
            linkState = quint32(n);
        return ok;
    }
    case 12: {
        const QByteArray b = QByteArray::fromHex(text.toLatin1());
        if (b.size() != 6)
            return false;
        std::memcpy(mac.data(), b.constData(), 6);
        return true;
    }
    case 13:
        return parseDotted(text, &c.ip);
    case 14:
        return parseDotted(text, &c.mask);
    case 15:
        return parseDotted(text, &c.gateway);
    case 16:
        return parseDotted(text, &c.dns);
    case 17:
        c.accessPassword = text.toLatin1().left(kStringField);
        return true;
    case 18: {
        const qlonglong n = num(0, 65535);
        if (ok)
            c.tcpPort = quint16(n);
        return ok;
    }
    case 19: {
        const qlonglong n = num(0, 65535);
        if (ok)
            c.udpPort = quint16(n);
        return ok;
    }
    case 20: {
        const qlonglong n = num(0, 65535);
        if (ok)
            c.udpCwPort = quint16(n);
        return ok;
    }
    case 21: {
        const qlonglong n = num(0, 255);
        if (ok)
            c.ddnsEnabled = quint8(n);
        return ok;
    }
    case 22: {
        const qlonglong n = num(0, 255);
        if (ok)
            c.ddnsService = quint8(n);
        return ok;
    }
    case 23:
        c.ddnsAddress = text.toLatin1().left(kStringField);
        return true;
    case 24:
        c.ddnsLogin = text.toLatin1().left(kStringField);
        return true;
    case 25:
        c.ddnsPassword = text.toLatin1().left(kStringField);
        return true;
    case 27:
        ddnsResult = text.toLatin1().left(kStringField);
        return true;
    case 28: {
        const QByteArray b = QByteArray::fromHex(text.toLatin1()).left(63);
        lastError = b + QByteArray(63 - b.size(), '\0');
        return true;
    }
    default:
        return false;
    }
}
