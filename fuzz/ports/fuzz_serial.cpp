// Drives a serial tunnel handler bound to a real pty port with arbitrary
// received frames (window value and payload), program writes, batch sizes,
// resets and line changes, and checks every frame it sends.
#include "client/link/packetheader.h"
#include "client/link/packetmngr.h"
#include "client/link/serial.h"
#include "client/ports/vserial.h"
#include "fuzz/support/fuzzenv.h"
#include "fuzz/support/fuzzinput.h"
#include "platform/vsportclient.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdint>
#include <cstdlib>

using namespace morvex;

namespace {
struct Rig
{
    QCoreApplication *app = nullptr;
    VSerial *dev = nullptr;
    Serial *serial = nullptr;
    PacketMngr *mngr = nullptr;
    VSPortClient program;
};

Rig &rig()
{
    static Rig *r = [] {
        FuzzEnv::silenceLog();
        if (qEnvironmentVariableIsEmpty("VSPORT_DIR")) {
            char dir[] = "/tmp/fuzz-vsport.XXXXXX";
            if (!mkdtemp(dir))
                abort();
            qputenv("VSPORT_DIR", dir);
        }
        static int argc = 1;
        static char name[] = "fuzz_serial";
        static char *argv[] = { name, nullptr };
        auto *rr = new Rig;
        rr->app = new QCoreApplication(argc, argv);
        rr->dev = new VSerial;
        if (!rr->dev->createPort(QStringLiteral("COM5")) || !rr->dev->open(QIODevice::ReadWrite))
            abort();
        rr->serial = new Serial(PacketType::SerialCat);
        rr->serial->setPort(rr->dev);
        rr->mngr = new PacketMngr;
        rr->mngr->registerPacket(rr->serial);
        if (!rr->program.open(QStringLiteral("COM5")))
            abort();
        return rr;
    }();
    return *r;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig &r = rig();
    Serial &s = *r.serial;
    s.reset();
    s.setOpen(true);
    s.setPermitted(true);

    FuzzInput in(data, size);

    while (const uint8_t *op = in.take(1)) {
        switch (*op % 6) {
        case 0: { // a received frame: window value and payload
            const uint8_t *v = in.take(5);
            if (!v)
                break;
            const quint32 value
                = quint32(v[0]) | quint32(v[1]) << 8 | quint32(v[2]) << 16 | quint32(v[3]) << 24;
            const uint8_t *payload = in.take(v[4]);
            const int len = payload ? v[4] : 0;
            r.mngr->addData(makeFrame(quint8(s.type()), value, reinterpret_cast<const char *>(payload), len));
            r.mngr->parcePacket();
            FuzzEnv::check(s.sendWindow() == value);
            break;
        }
        case 1: { // the program writes
            const uint8_t *n = in.take(1);
            if (n)
                r.program.write(QByteArray(int(*n) + 1, char(*op)), 100);
            break;
        }
        case 2: { // one batch
            const uint8_t *m = in.take(2);
            if (!m)
                break;
            const qint32 maxSize = qint16(quint16(m[0]) | quint16(m[1]) << 8);
            const quint32 window = s.sendWindow();
            qint32 used = -1;
            const QByteArray frame = s.create(maxSize, &used);
            FuzzEnv::check(used == frame.size());
            FuzzEnv::check(frame.size() <= qMax(maxSize, 0));
            if (!frame.isEmpty()) {
                FuzzEnv::check(frame.size() > kPacketHeaderSize);
                FuzzEnv::check(frameChecksumOk(frame.constData(), frame.size()));
                const PacketHeader h = readPacketHeader(frame.constData());
                FuzzEnv::check(h.type == s.type() && h.length == frame.size() - kPacketHeaderSize);
                FuzzEnv::check(h.length <= window && s.sendWindow() == window - h.length);
                FuzzEnv::check(h.value == s.lineWord());
            }
            break;
        }
        case 3:
            s.reset();
            FuzzEnv::check(s.sendWindow() == 1);
            break;
        case 4: {
            const uint8_t *b = in.take(4);
            if (b) {
                s.setBaudRate(
                    int(quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24));
                s.setLineState(b[0] % 5, b[1] % 8, b[2] % 17);
            }
            break;
        }
        case 5:
            s.setPermitted(!s.isPermitted());
            break;
        }
        // Keep the program's side of the pty from filling up.
        while (!r.program.read(4096, 0).isEmpty()) { }
        QCoreApplication::processEvents();
    }
    return 0;
}
