// The command link as the station controller wires it: every real handler
// registered with one manager, fed arbitrary reads and well-formed frames of
// every type with arbitrary payloads, interleaved with the operator's own
// changes (PTT, levels, buffering) and batches; permission frames drive the
// work/pause panel as the controller does.
#include "client/link/audiopacket.h"
#include "client/link/authorization.h"
#include "client/link/errorspacket.h"
#include "client/link/fwversionpacket.h"
#include "client/link/packetheader.h"
#include "client/link/packetmngr.h"
#include "client/link/permission.h"
#include "client/link/permissionform.h"
#include "client/link/permitem.h"
#include "client/link/ptt.h"
#include "client/link/serial.h"
#include "fuzz/support/fuzzinput.h"
#include "fuzz/support/fuzzwidgetapp.h"

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

using namespace morvex;

namespace {
struct Link
{
    PacketMngr mngr;
    Authorization auth { PacketType::Authorization };
    ErrorsPacket errors { PacketType::Errors };
    PTT ptt { PacketType::Ptt };
    Serial cat { PacketType::SerialCat };
    Serial fsk { PacketType::SerialFsk };
    Serial rs485 { PacketType::SerialRs485 };
    AudioPacket audio { PacketType::Audio };
    Permission permission { PacketType::Permission };
    FwVersionPacket fw { PacketType::FwVersion };
    PermissionForm form;

    Link()
    {
        // Same order as the station controller.
        for (AbstractPacket *p : std::initializer_list<AbstractPacket *> {
                 &auth, &errors, &ptt, &cat, &fsk, &rs485, &audio, &permission, &fw })
            mngr.registerPacket(p);
        auth.setPassword(QStringLiteral("brelko"));
        QObject::connect(&permission, &Permission::changedState, &form, [this] { permissionChanged(); });
    }

    void permissionChanged()
    {
        const quint8 flags = permission.flags();
        form.stop();
        form.setAddrPass(QStringLiteral("127.0.0.1"), auth.password());
        form.setTimers(permission.workTime(), permission.pauseTime());
        if (!(flags & Permission::Access))
            return;
        fsk.setPermitted(flags & Permission::PttFsk);
        cat.setPermitted(flags & Permission::CatRs485);
        rs485.setPermitted(flags & Permission::CatRs485);
        if ((flags & Permission::Unrestricted) == Permission::Unrestricted)
            form.clear();
        else
            form.start();
    }
};

// Every batch is whole frames with good checksums, of registered types, and
// within the budget.
void checkBatch(const QByteArray &batch)
{
    FuzzEnv::check(batch.size() <= PacketMngr::kFrameBudget);
    int at = 0;
    while (at < batch.size()) {
        FuzzEnv::check(batch.size() - at >= kPacketHeaderSize);
        const PacketHeader h = readPacketHeader(batch.constData() + at);
        const int len = kPacketHeaderSize + h.length;
        FuzzEnv::check(batch.size() - at >= len);
        FuzzEnv::check(frameChecksumOk(batch.constData() + at, len));
        FuzzEnv::check(h.type <= PacketType::FwVersion && h.type != PacketType::SerialPttCw && h.type != 7);
        at += len;
    }
}

const quint8 kTypes[] = { PacketType::Authorization, PacketType::Ptt, PacketType::Audio,
    PacketType::SerialCat, PacketType::SerialFsk, PacketType::SerialRs485, PacketType::SerialPttCw, 7,
    PacketType::Errors, PacketType::Permission, PacketType::FwVersion, 0xFF };
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzWidgetApp::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Link link;
    FuzzInput in(data, size);

    while (const uint8_t *op = in.take(1)) {
        switch (*op % 8) {
        case 0: { // raw bytes from the box, in one read
            const uint8_t *n = in.take(1);
            if (!n)
                break;
            const size_t len = std::min<size_t>(*n, in.left());
            link.mngr.addData(QByteArray(reinterpret_cast<const char *>(in.take(len)), int(len)));
            link.mngr.parcePacket();
            break;
        }
        case 1: { // a well-formed frame of any type
            const uint8_t *h = in.take(6);
            if (!h)
                break;
            const quint8 type = kTypes[h[0] % sizeof(kTypes)];
            const quint32 value = qFromLittleEndian<quint32>(h + 1);
            const size_t len = std::min<size_t>(h[5] % 32, in.left());
            const QByteArray payload(reinterpret_cast<const char *>(in.take(len)), int(len));
            const bool remoteBefore = link.ptt.remotePtt();
            // Only a frame at a frame boundary is sure to reach its handler.
            const bool clean = link.mngr.buffered() == 0;
            link.mngr.addData(makeFrame(type, value, payload));
            link.mngr.parcePacket();
            if (!clean || link.mngr.buffered() != 0)
                break;
            if (type == PacketType::Ptt)
                FuzzEnv::check(link.ptt.remotePtt() == (len > 0 ? payload.at(0) != 0 : remoteBefore));
            if (type == PacketType::Permission && len >= size_t(Permission::kPayloadSize)) {
                FuzzEnv::check(link.permission.flags() == quint8(payload.at(0)));
                FuzzEnv::check(
                    link.permission.workTime() == qFromLittleEndian<quint32>(payload.constData() + 1));
            }
            if (type == PacketType::Audio && len == 3)
                FuzzEnv::check(link.audio.inLevelL() == quint8(payload.at(0)));
            break;
        }
        case 2: { // the operator's controls
            const uint8_t *v = in.take(2);
            if (!v)
                break;
            switch (v[0] % 6) {
            case 0:
                link.ptt.setPTT(v[1] & 1);
                break;
            case 1:
                link.audio.setInLevelL(v[1]);
                break;
            case 2:
                link.audio.setInLevelR(v[1]);
                break;
            case 3:
                link.audio.setOutLevel(v[1]);
                break;
            case 4:
                link.audio.setTxBuffer(v[1]);
                break;
            case 5:
                link.audio.timeout();
                break;
            }
            break;
        }
        case 3: { // one batch to the box
            const QByteArray batch = link.mngr.buildPackets();
            checkBatch(batch);
            // Our PTT state goes out with every batch.
            bool seenPtt = false;
            for (int at = 0; at + kPacketHeaderSize <= batch.size();) {
                const PacketHeader h = readPacketHeader(batch.constData() + at);
                if (h.type == PacketType::Ptt) {
                    FuzzEnv::check(h.value == (link.ptt.localPtt() ? 1u : 0u));
                    seenPtt = true;
                }
                at += kPacketHeaderSize + h.length;
            }
            if (!batch.isEmpty())
                FuzzEnv::check(seenPtt);
            break;
        }
        case 4: // a new connection
            link.mngr.resetItems();
            link.mngr.clearBuffer();
            break;
        case 5: { // minutes pass on the work/pause panel
            const uint8_t *n = in.take(1);
            PermItem *item = link.form.currentItem();
            if (!n || !item)
                break;
            for (int i = 0; i < *n; ++i)
                item->timeout();
            (void)link.form.counter();
            (void)link.form.timerName();
            break;
        }
        case 6: // the panel stops and restarts, as on a reconnection
            link.form.stop();
            link.form.start();
            break;
        case 7:
            link.auth.setPassword(QString::fromLatin1(
                reinterpret_cast<const char *>(in.peek()), int(std::min<size_t>(in.left(), 12))));
            break;
        }
        FuzzEnv::check(link.mngr.buffered() <= PacketMngr::kDiscardAbove + kPacketHeaderSize + 65535);
    }
    checkBatch(link.mngr.buildPackets());
    return 0;
}
