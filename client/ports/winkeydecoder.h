#pragma once

#include <QByteArray>
#include <QLoggingCategory>

#include <array>

namespace morvex {

Q_DECLARE_LOGGING_CATEGORY(lcWinKey)

// The WinKey host protocol as pure functions over bytes: how long each
// command is, what it does to the keyer's state and what it answers. No
// port, thread or clock here; the keyer front feeds it and carries out the
// replies.
class WinKeyDecoder final
{
public:
    static constexpr int kParamSize = 40;
    using Params = std::array<quint8, kParamSize>;

    // Parameter block offsets (little-endian fields).
    enum Param {
        PttLead = 4,
        PttTail = 8,
        WordDelay = 12,
        KeyBuffered = 16,
        BufferedWait = 18,
        Sidetone = 20,
        Speed = 21,
        BufferedSpeed = 22,
        Weighting = 23,
        PotMin = 24,
        PotWpmRange = 25,
        PotRange = 26,
        PauseState = 27,
        PinConfig = 28,
        Hscw = 29,
        Farnsworth = 30,
        FirstExtension = 31,
        KeyCompensation = 32,
        PaddleSwitchpoint = 33,
        SoftPaddle = 34,
        PointerCmd = 35,
        DitTime = 36,
        Ratio = 37,
    };

    // What the host commands change; the keying engine consumes the buffer.
    struct State
    {
        Params params {};
        QByteArray buffer; // characters and buffered commands not yet keyed
        bool echoback = false;
        bool calibrationPending = false;
    };

    struct Result
    {
        int used = 0; // bytes consumed from the head; 0 waits for more
        bool save = false; // the parameter block is to be stored
        int reply = -1; // byte to answer the host with, -1 for none
    };

    // A buffered command at the head of the character buffer, run by the
    // engine when it gets there.
    struct Buffered
    {
        int used = 0; // 0: its bytes are not all there yet
        int ptt = -1; // PTT output to set: 0, 1, or -1 to leave it
        bool merge = false; // key the next two letters as one
    };

    // Bytes the command at the head of work takes; 0 while it is incomplete.
    static int commandLength(const QByteArray &work);
    static Result decode(const QByteArray &work, State &state, bool busy);
    static quint8 statusByte(bool busy, int buffered);

    static bool isBufferedCommand(quint8 c) { return c >= 0x18 && c <= 0x1F; }
    static Buffered runBuffered(const QByteArray &buffer, Params &params);

    static quint16 param16(const Params &p, int at);
    static void setParam16(Params &p, int at, quint16 v);
    static quint32 param32(const Params &p, int at);
    static void setParam32(Params &p, int at, quint32 v);
    static void setDitFromSpeed(Params &p, int wpm);

private:
    static int adminLength(const QByteArray &work);
    static Result decodeAdmin(const QByteArray &work, State &state);
    static void decodeCommand(const QByteArray &work, State &state, bool busy, Result &r);
};

} // namespace morvex
