// Drives one receive buffer with an arbitrary mix of datagrams, reads,
// resets and format and buffering changes, checking what every call returns.
#include "client/Rtp/rtpfixedjb.h"
#include "fuzz/support/fuzzenv.h"

#include <QCoreApplication>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace morvex;

namespace {
struct Input
{
    const uint8_t *data;
    size_t size;
    size_t pos = 0;

    bool atEnd() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t word() { return uint16_t(byte() | (byte() << 8)); }
    uint32_t dword() { return uint32_t(word()) | (uint32_t(word()) << 16); }
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The statistics timer needs an event dispatcher in this thread.
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in { data, size };
    RtpFixedJb jb;
    jb.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    jb.setFormat(960, 20);
    jb.setBuffered(200);

    quint32 ts = 1000;
    quint16 seq = 0;
    std::vector<char> datagram;
    std::vector<char> out;
    for (int ops = 0; !in.atEnd() && ops < 2000; ++ops) {
        switch (in.byte() % 7) {
        case 0: { // raw bytes as a datagram
            const size_t len = in.word() % 1200;
            datagram.assign(len, 0);
            for (size_t i = 0; i < len; ++i)
                datagram[i] = char(in.byte());
            const qint64 w = jb.writeData(datagram.data(), qint64(len));
            FuzzEnv::check(w == 0 || w == qint64(len));
            FuzzEnv::check(len > 16 || w == 0);
            break;
        }
        case 1: { // a well-formed datagram whose timestamp and sequence move by fuzzed steps
            ts += quint32(qint32(qint16(in.word())));
            if (in.byte() & 1)
                ts = in.dword();
            seq = quint16(seq + (in.byte() % 8));
            const size_t payload = size_t(in.byte()) * 8;
            datagram.assign(16 + payload, char(in.byte()));
            auto *p = reinterpret_cast<uchar *>(datagram.data());
            p[0] = 0x80;
            qToBigEndian<quint16>(seq, p + 2);
            qToBigEndian<quint32>(ts, p + 4);
            const qint64 w = jb.writeData(datagram.data(), qint64(datagram.size()));
            FuzzEnv::check(w == 0 || w == qint64(datagram.size()));
            break;
        }
        case 2:
        case 3: { // a read; bytes after the last whole frame must stay untouched
            const size_t want = in.word() % 4000;
            out.assign(want + 16, char(0xA5));
            const qint32 frame = jb.frameSize();
            const qint64 r = jb.readData(out.data(), qint64(want));
            FuzzEnv::check(r == 0 || r == qint64(want));
            const size_t used = r ? want / size_t(frame) * size_t(frame) : 0;
            for (size_t i = used; i < out.size(); ++i)
                FuzzEnv::check(out[i] == char(0xA5));
            break;
        }
        case 4:
            FuzzEnv::check(jb.reset());
            break;
        case 5: {
            const qint32 ms = in.byte() & 1 ? qint32(in.dword()) : qint32(qint16(in.word()));
            jb.setBuffered(ms);
            FuzzEnv::check(jb.bufferedTime() == ms);
            break;
        }
        case 6: {
            const qint32 bytes = qint32(qint16(in.word()));
            const qint32 ms = qint32(qint8(in.byte()));
            jb.setFormat(bytes, ms);
            FuzzEnv::check(jb.frameSize() >= 2 && jb.frameSize() % 2 == 0 && jb.packetDuration() >= 2);
            break;
        }
        }
    }
    return 0;
}
