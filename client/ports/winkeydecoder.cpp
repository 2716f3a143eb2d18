#include "client/ports/winkeydecoder.h"

#include <QDebug>

#include <algorithm>

namespace morvex {

Q_LOGGING_CATEGORY(lcWinKey, "winkey")

namespace {
using P = WinKeyDecoder;

// Bytes of the commands 0x00 to 0x1F, the command byte included (admin
// commands are sized by their sub-command).
constexpr quint8 kLength[0x20] = {
    2, 2, 2, 2, 3, 4, 2, 1, 1, 2, 1, 2, 2, 2, 2, 16, //
    2, 2, 2, 1, 2, 1, 2, 2, 2, 2, 2, 1, 2, 2, 2, 1, //
};

// Admin sub-commands 0x00 to 0x09; 0 is not an admin command (the 0x00
// prefix is taken alone).
constexpr quint8 kAdminLength[10] = { 2, 2, 2, 2, 3, 2, 3, 2, 0, 2 };
const char *const kAdminText[10] = { "Admin calibrate", "Admin reset", "Admin host open", "Admin host close",
    "Admin echo", "Admin paddle A2D", "Admin speed A2D", "Admin get value", nullptr, "Admin get Cal" };

const char *const kToneHz[] = { "3759", "1879", "1252", "940", "752", "625", "535", "469", "417", "375" };

constexpr int kMinWpm = 5;
constexpr int kMaxWpm = 99;
constexpr int kMaxBufferedWpm = 90;

// Commands that store their one parameter, checked against a range.
struct Store
{
    quint8 cmd;
    quint8 at;
    quint8 lo;
    quint8 hi;
    const char *text;
};

const Store kStores[] = {
    { 0x01, P::Sidetone, 1, 10, "Set sidetone: " },
    { 0x02, P::Speed, kMinWpm, kMaxWpm, "Set WPM speed: " },
    { 0x03, P::Weighting, 10, 90, "Set weighting: " },
    { 0x06, P::PauseState, 0, 255, "SetPauseState: " },
    { 0x09, P::PinConfig, 0, 255, "Pin config" },
    { 0x0C, P::Hscw, 0, 255, "Set HSCW" },
    { 0x0D, P::Farnsworth, 0, 255, "Set farns WPM: " },
    { 0x10, P::FirstExtension, 0, 255, "Set 1-st extension: " },
    { 0x11, P::KeyCompensation, 0, 255, "Set key comp: " },
    { 0x12, P::PaddleSwitchpoint, 0, 255, "Set paddle switchpoint: " },
    { 0x14, P::SoftPaddle, 0, 255, "Soft paddle: " },
    { 0x16, P::PointerCmd, 0, 255, "Pointer CMD: " },
    { 0x17, P::Ratio, 0, 255, "Set Dit/Dah ratio: " },
};

const Store *storeFor(quint8 cmd)
{
    for (const Store &s : kStores) {
        if (s.cmd == cmd)
            return &s;
    }
    return nullptr;
}

void applyStore(const Store &s, quint8 v, WinKeyDecoder::Params &params)
{
    if (v < s.lo || v > s.hi) {
        qCWarning(lcWinKey).nospace() << s.text << "wrong value (" << int(v) << ")";
        return;
    }
    params[s.at] = v;
    if (s.at == P::Speed) {
        P::setDitFromSpeed(params, v);
        qCDebug(lcWinKey) << s.text << int(v) << "wpm";
    } else if (s.at == P::Sidetone) {
        qCDebug(lcWinKey) << s.text << kToneHz[v - 1] << "Hz";
    } else {
        qCDebug(lcWinKey) << s.text << int(v);
    }
}

// Load defaults: the block's fields in the order the host sends them;
// mode (1) and paddle switchpoint (12) are not kept.
void loadDefaults(const QByteArray &work, WinKeyDecoder::Params &params)
{
    auto p = [&work](int i) { return quint8(work.at(i)); };
    const quint8 speed = p(2);
    if (speed >= kMinWpm) {
        params[P::Speed] = speed;
        P::setDitFromSpeed(params, speed);
    } else {
        // A zero (or too slow to store) speed would divide by zero or
        // overflow the dit time: keep the speed we had.
        qCWarning(lcWinKey).nospace() << "Load defaults: wrong speed (" << int(speed) << ")";
    }
    static const struct
    {
        int from;
        int at;
    } kFields[] = {
        { 3, P::Sidetone },
        { 4, P::Weighting },
        { 7, P::PotMin },
        { 8, P::PotWpmRange },
        { 9, P::FirstExtension },
        { 10, P::KeyCompensation },
        { 11, P::Farnsworth },
        { 13, P::Ratio },
        { 14, P::PinConfig },
        { 15, P::PotRange },
    };
    for (const auto &f : kFields)
        params[size_t(f.at)] = p(f.from);
    P::setParam32(params, P::PttLead, quint32(p(5)) * 10);
    P::setParam32(params, P::PttTail, quint32(p(6)) * 10);
    qCDebug(lcWinKey) << "Load defaults";
}
} // namespace

quint16 WinKeyDecoder::param16(const Params &p, int at)
{
    return quint16(p[size_t(at)] | (p[size_t(at) + 1] << 8));
}

void WinKeyDecoder::setParam16(Params &p, int at, quint16 v)
{
    p[size_t(at)] = quint8(v);
    p[size_t(at) + 1] = quint8(v >> 8);
}

quint32 WinKeyDecoder::param32(const Params &p, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[size_t(at + i)];
    return v;
}

void WinKeyDecoder::setParam32(Params &p, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[size_t(at + i)] = quint8(v >> (8 * i));
}

void WinKeyDecoder::setDitFromSpeed(Params &p, int wpm)
{
    // Callers make sure wpm is not 0.
    p[DitTime] = quint8(std::min(1200 / wpm, 255));
}

quint8 WinKeyDecoder::statusByte(bool busy, int buffered)
{
    quint8 status = busy ? 0xC3 : 0xC0;
    if (buffered >= 20)
        status |= 0x01;
    return status;
}

int WinKeyDecoder::adminLength(const QByteArray &work)
{
    // Kept until the sub-command is there: a split write must not turn the
    // sub-command byte into a command of its own.
    if (work.size() < 2)
        return 0;
    const quint8 sub = quint8(work.at(1));
    if (sub >= sizeof(kAdminLength) || kAdminLength[sub] == 0)
        return 1;
    if (sub == 0x06) // speed A2D: its value is optional
        return work.size() >= 3 ? 3 : 2;
    return work.size() >= kAdminLength[sub] ? kAdminLength[sub] : 0;
}

int WinKeyDecoder::commandLength(const QByteArray &work)
{
    if (work.isEmpty())
        return 0;
    const quint8 c = quint8(work.at(0));
    if (c >= 0x20)
        return 1;
    if (c == 0x00)
        return adminLength(work);
    return work.size() >= kLength[c] ? kLength[c] : 0;
}

WinKeyDecoder::Result WinKeyDecoder::decode(const QByteArray &work, State &state, bool busy)
{
    Result r;
    if (work.isEmpty())
        return r;
    const quint8 c = quint8(work.at(0));
    r.save = c < 0x20 || c >= 0x80;
    r.used = commandLength(work);
    if (r.used == 0)
        return r;
    if (c >= 0x20 && c < 0x80) {
        state.buffer.append(char(c));
    } else if (c >= 0x80) {
        if (c == 0xFF)
            state.calibrationPending = false;
    } else if (c == 0x00) {
        if (r.used > 1)
            r.reply = decodeAdmin(work, state).reply;
    } else {
        decodeCommand(work, state, busy, r);
    }
    return r;
}

WinKeyDecoder::Result WinKeyDecoder::decodeAdmin(const QByteArray &work, State &state)
{
    Result r;
    const quint8 sub = quint8(work.at(1));
    qCDebug(lcWinKey) << kAdminText[sub];
    switch (sub) {
    case 0x00:
        if (work.size() == 2)
            state.calibrationPending = true;
        break;
    case 0x02:
        r.reply = 10;
        break;
    case 0x04:
        r.reply = quint8(work.at(2));
        break;
    case 0x05:
        r.reply = 0x80;
        break;
    default:
        break;
    }
    return r;
}

void WinKeyDecoder::decodeCommand(const QByteArray &work, State &state, bool busy, Result &r)
{
    const quint8 c = quint8(work.at(0));
    auto p = [&work](int i) { return quint8(work.at(i)); };
    if (const Store *s = storeFor(c)) {
        applyStore(*s, p(1), state.params);
        return;
    }
    Params &params = state.params;
    switch (c) {
    case 0x04:
        setParam32(params, PttLead, quint32(p(1)) * 10);
        setParam32(params, PttTail, quint32(p(2)) * 10);
        qCDebug(lcWinKey) << "Ptt lead: " << p(1) * 10 << "Ptt tail: " << p(2) * 10;
        break;
    case 0x05:
        params[PotMin] = p(1);
        params[PotWpmRange] = p(2);
        params[PotRange] = p(3);
        qCDebug(lcWinKey) << "Min WPM: " << int(p(1)) << "WPM range: " << int(p(2))
                          << "Pot range: " << int(p(3));
        break;
    case 0x07:
        qCDebug(lcWinKey) << "Get speed pot";
        r.reply = 0x8A;
        break;
    case 0x08:
        qCDebug(lcWinKey) << "Backspace";
        if (state.buffer.size() > 1)
            state.buffer.chop(1);
        break;
    case 0x0A:
        state.buffer.clear();
        setParam16(params, KeyBuffered, 0);
        qCDebug(lcWinKey) << "Clear buffer";
        break;
    case 0x0B:
        qCDebug(lcWinKey) << "Key immediate" << int(p(1));
        break;
    case 0x0E:
        state.echoback = (p(1) & 0x04) != 0;
        qCDebug(lcWinKey) << "Set WinKey mode: " << int(p(1)) << "Echoback: " << state.echoback;
        break;
    case 0x0F:
        loadDefaults(work, params);
        break;
    case 0x13:
        qCDebug(lcWinKey) << "Nop";
        break;
    case 0x15:
        qCDebug(lcWinKey) << "Get status";
        r.reply = statusByte(busy, state.buffer.size());
        break;
    case 0x1F:
        qCDebug(lcWinKey) << "Buffered nop";
        break;
    default:
        // 0x18 to 0x1E: run by the engine when they reach the head.
        state.buffer.append(work.constData(), r.used);
        break;
    }
}

WinKeyDecoder::Buffered WinKeyDecoder::runBuffered(const QByteArray &buffer, Params &params)
{
    Buffered b;
    const quint8 c = quint8(buffer.at(0));
    if (c == 0x1B) {
        // The two letters to merge must both be there.
        if (buffer.size() < 3)
            return b;
        qCDebug(lcWinKey) << "Merge letters: ";
        b.merge = true;
        b.used = 1;
        return b;
    }
    b.used = 1;
    if (c == 0x1F) {
        qCDebug(lcWinKey) << "Buffered nop";
        return b;
    }
    if (buffer.size() < 2)
        return b; // its parameter was taken by a backspace: nothing left to run
    const quint8 v = quint8(buffer.at(1));
    b.used = 2;
    switch (c) {
    case 0x18:
        if (v <= 1) {
            qCDebug(lcWinKey) << (v ? "PTT On/Off: ON" : "PTT On/Off: OFF");
            b.ptt = v;
        }
        break;
    case 0x19:
    case 0x1A: {
        const char *text = c == 0x19 ? "Key buffered: " : "Wait seconds: ";
        if (v < 100) {
            setParam16(params, c == 0x19 ? KeyBuffered : BufferedWait, quint16(v * 1000));
            qCDebug(lcWinKey) << text << int(v);
        } else {
            qCWarning(lcWinKey).nospace() << text << "wrong value(" << int(v) << ")";
        }
        break;
    }
    case 0x1C:
        if (v >= kMinWpm && v <= kMaxBufferedWpm) {
            params[BufferedSpeed] = v;
            setDitFromSpeed(params, v);
            qCDebug(lcWinKey) << "Change speed buffer: " << int(v);
        } else {
            qCWarning(lcWinKey).nospace() << "Change speed buffer: wrong value(" << int(v) << ")";
        }
        break;
    case 0x1D:
        qCDebug(lcWinKey) << "HSCW speed change";
        break;
    case 0x1E:
        qCDebug(lcWinKey) << "Cancel buffer speed change";
        // No speed set yet: keep the dit time rather than divide by zero.
        if (params[Speed] != 0)
            setDitFromSpeed(params, params[Speed]);
        break;
    default:
        break;
    }
    return b;
}

} // namespace morvex
