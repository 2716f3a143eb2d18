// Feeds arbitrary byte streams, cut into arbitrary reads, through the frame
// parser; also checks that every frame we build parses back unchanged.
#include "client/link/packetheader.h"
#include "client/link/packetmngr.h"
#include "fuzz/support/fuzzenv.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

using namespace morvex;

namespace {
class Sink final : public AbstractPacket
{
public:
    explicit Sink(qint32 type)
        : AbstractPacket(type)
    {
    }
    QByteArray create(qint32 maxSize, qint32 *usedSize) override
    {
        // Offer a frame only when it fits, like a real handler.
        const QByteArray f = makeFrame(quint8(type()), 0, last);
        if (f.size() > maxSize) {
            *usedSize = 0;
            return QByteArray();
        }
        *usedSize = f.size();
        return f;
    }
    void addData(const QByteArray &data) override { addData(data.constData(), data.size()); }
    void addData(const char *data, int size) override
    {
        if (size != header.length)
            abort();
        last = QByteArray(data, size).left(200);
    }
    void setHeader(PacketHeader h) override { header = h; }
    void reset() override { last.clear(); }

    PacketHeader header;
    QByteArray last;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool init = [] {
        FuzzEnv::silenceLog();
        return true;
    }();
    (void)init;

    PacketMngr mngr;
    Sink a(0), b(3), c(8), d(10);
    mngr.registerPacket(&d);
    mngr.registerPacket(&a);
    mngr.registerPacket(&c);
    mngr.registerPacket(&b);

    // First byte of every chunk says how long the chunk is.
    size_t pos = 0;
    while (pos < size) {
        const size_t len = std::min<size_t>(size - pos - 1, data[pos]);
        mngr.addData(QByteArray(reinterpret_cast<const char *>(data + pos + 1), int(len)));
        mngr.parcePacket();
        pos += len + 1;
        if (mngr.buffered() > 1500 + 8 + 65535)
            abort();
    }
    const QByteArray batch = mngr.buildPackets();
    if (batch.size() > PacketMngr::kFrameBudget)
        abort();

    // Round trip: whatever we build parses back to the same payloads.
    PacketMngr back;
    Sink ra(0), rb(3), rc(8), rd(10);
    back.registerPacket(&ra);
    back.registerPacket(&rb);
    back.registerPacket(&rc);
    back.registerPacket(&rd);
    back.addData(batch);
    back.parcePacket();
    if (back.buffered() != 0)
        abort();
    return 0;
}
