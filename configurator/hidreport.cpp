#include "configurator/hidreport.h"

#include <QtEndian>

#include <cstring>

namespace configurator {

namespace HidReport {

QByteArray request(Command command, quint8 parameter)
{
    QByteArray r(kRequestSize, '\0');
    r[1] = char(command);
    r[2] = char(parameter);
    return r;
}

QByteArray getRequest(quint8 parameter, quint8 index)
{
    QByteArray r = request(GetParameter, parameter);
    r[3] = char(index);
    return r;
}

QByteArray setRequest(quint8 parameter)
{
    return request(SetParameter, parameter);
}

bool putString(QByteArray &report, const QString &text, int field, int at)
{
    const int room = qMin(field - 1, report.size() - 1 - at);
    if (room <= 0 || at < 0)
        return text.isEmpty();
    const QByteArray bytes = text.toLatin1();
    const int n = qMin(bytes.size(), room);
    std::memcpy(report.data() + at, bytes.constData(), size_t(n));
    std::memset(report.data() + at + n, 0, size_t(room + 1 - n));
    return n == bytes.size();
}

void putU16(QByteArray &report, quint16 value, int at)
{
    if (at >= 0 && at + 2 <= report.size())
        qToLittleEndian<quint16>(value, report.data() + at);
}

void putU32(QByteArray &report, quint32 value, int at)
{
    if (at >= 0 && at + 4 <= report.size())
        qToLittleEndian<quint32>(value, report.data() + at);
}

quint8 u8At(const QByteArray &response, int at)
{
    return at >= 0 && at < response.size() ? quint8(response[at]) : 0;
}

quint16 u16At(const QByteArray &response, int at)
{
    return quint16(u8At(response, at) | (u8At(response, at + 1) << 8));
}

quint32 u32At(const QByteArray &response, int at)
{
    return quint32(u16At(response, at)) | (quint32(u16At(response, at + 2)) << 16);
}

QString stringAt(const QByteArray &response, int at, bool utf8)
{
    if (at < 0 || at >= response.size())
        return QString();
    const int end = qMin(response.size(), kResponseSize);
    const char *begin = response.constData() + at;
    const void *nul = std::memchr(begin, 0, size_t(end - at));
    const int len = nul ? int(static_cast<const char *>(nul) - begin) : end - at;
    return utf8 ? QString::fromUtf8(begin, len) : QString::fromLatin1(begin, len);
}

} // namespace HidReport

} // namespace configurator
