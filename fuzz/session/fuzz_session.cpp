// Arbitrary bytes from the box, cut into arbitrary reads, through the frame
// parser with the real log-in, error and firmware version handlers; the
// log-in frame built from an arbitrary password must always be well formed.
#include "client/link/authorization.h"
#include "client/link/errorspacket.h"
#include "client/link/fwversionpacket.h"
#include "client/link/packetmngr.h"
#include "fuzz/support/fuzzenv.h"

#include <QObject>

#include <cstdint>
#include <cstdlib>

using namespace morvex;

namespace {
void checkLogin(Authorization &auth, qint32 maxSize)
{
    qint32 used = -1;
    const QByteArray frame = auth.create(maxSize, &used);
    if (used != frame.size() || frame.size() > maxSize)
        abort();
    if (frame.isEmpty())
        return;
    const PacketHeader h = readPacketHeader(frame.constData());
    if (h.type != 0 || h.value != 0 || int(h.length) != frame.size() - kPacketHeaderSize)
        abort();
    if (int(h.length) != auth.password().size() + 1 || frame.at(frame.size() - 1) != '\0')
        abort();
    if (!frameChecksumOk(frame.constData(), frame.size()))
        abort();
    // Once per connection.
    if (!auth.create(maxSize, &used).isEmpty() || used != 0)
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool init = [] {
        FuzzEnv::silenceLog();
        return true;
    }();
    (void)init;
    if (size < 2)
        return 0;

    PacketMngr mngr;
    Authorization auth(0);
    ErrorsPacket errors(8);
    FwVersionPacket fw(10);
    mngr.registerPacket(&fw);
    mngr.registerPacket(&auth);
    mngr.registerPacket(&errors);

    // First byte: password length; then the password as UTF-8 (any bytes).
    const size_t pwLen = std::min<size_t>(size - 1, data[0]);
    auth.setPassword(QString::fromUtf8(reinterpret_cast<const char *>(data + 1), int(pwLen)));
    checkLogin(auth, qint32(data[1]) * 8);
    auth.reset();
    checkLogin(auth, PacketMngr::kFrameBudget);

    int versions = 0;
    QObject::connect(
        &fw, &FwVersionPacket::updateVersion, [&versions](quint32, quint32, quint32) { ++versions; });
    int errorCount = 0;
    QObject::connect(
        &errors, &ErrorsPacket::error, [&errorCount](ErrorsPacket::ConnectionError) { ++errorCount; });

    // The rest: chunks, each led by its length byte.
    size_t pos = 1 + pwLen;
    size_t fed = 0;
    while (pos < size) {
        const size_t len = std::min<size_t>(size - pos - 1, data[pos]);
        mngr.addData(QByteArray(reinterpret_cast<const char *>(data + pos + 1), int(len)));
        mngr.parcePacket();
        fed += len;
        pos += len + 1;
    }
    // Every dispatched frame took at least a header's worth of bytes.
    if (size_t(versions + errorCount) * kPacketHeaderSize > fed)
        abort();

    auth.reset();
    const QByteArray batch = mngr.buildPackets();
    if (batch.size() > PacketMngr::kFrameBudget)
        abort();
    return 0;
}
