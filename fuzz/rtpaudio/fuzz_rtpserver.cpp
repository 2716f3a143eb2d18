// Drives the receiver's datagram checks with arbitrary datagrams from the box
// and from strangers, receive state changes and reads of both buffers, and
// checks each verdict against the sender and header rules.
#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpserver.h"
#include "client/Rtp/rtpstatistics.h"
#include "fuzz/support/fuzzenv.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace morvex;

namespace {
RtpServer *g_server = nullptr;
constexpr quint16 kBoxPort = 11000;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // The receiver opens the shared socket once; the checks are driven
    // without it.
    g_server = new RtpServer;
    g_server->setFormat(12000, 20);
    g_server->setBufferedTime(200);
    g_server->setDestination(QHostAddress(QHostAddress::LocalHost), kBoxPort);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RtpServer &server = *g_server;
    server.setReceivingState(true);
    std::vector<char> frame(4800);
    size_t pos = 0;
    while (pos < size) {
        const uint8_t op = data[pos++];
        if (op < 0x10) {
            server.setReceivingState(op & 1);
            continue;
        }
        if (op < 0x20) {
            const qint64 got = server.outputBuffer()->readData(frame.data(), qint64(frame.size()));
            FuzzEnv::check(got == 0 || got == qint64(frame.size()));
            server.outputVirtualBuffer()->readData(frame.data(), qint64(frame.size()));
            continue;
        }
        // A datagram: two length bytes, then that many bytes (or what is left).
        // The top ops come from a stranger: the next port up.
        const bool foreign = op >= 0xF0;
        size_t len = 0;
        if (pos < size)
            len = data[pos++];
        if (pos < size)
            len |= size_t(data[pos++]) << 8;
        if (len > size - pos)
            len = size - pos;
        const char *d = reinterpret_cast<const char *>(data + pos);
        pos += len;

        const quint32 before = server.ssrc();
        const bool receiving = server.isReceiving();
        const QVector<quint32> statsBefore = server.outputBuffer()->statisticsCounter()->values();
        const quint32 received = statsBefore.at(RtpStatistics::TotalReceived);
        static const QHostAddress box(QStringLiteral("::ffff:127.0.0.1"));
        const RtpServer::Verdict v
            = server.processDatagram(d, qint64(len), box, foreign ? quint16(kBoxPort + 1) : kBoxPort);
        const QVector<quint32> statsAfter = server.outputBuffer()->statisticsCounter()->values();
        const quint32 after = statsAfter.at(RtpStatistics::TotalReceived);
        const quint32 foreignDelta
            = statsAfter.at(RtpStatistics::TotalForeign) - statsBefore.at(RtpStatistics::TotalForeign);

        if (foreign) {
            FuzzEnv::check(
                v == RtpServer::Foreign && server.ssrc() == before && after == received && foreignDelta == 1);
            continue;
        }
        FuzzEnv::check(foreignDelta == 0);

        if (!receiving) {
            FuzzEnv::check(v == RtpServer::NotReceiving && server.ssrc() == before && after == received);
            continue;
        }
        const bool headerOk = len > 16 && (uint8_t(d[0]) & 0xC0) == 0x80;
        if (!headerOk) {
            FuzzEnv::check(v == RtpServer::Rejected && server.ssrc() == before && after == received);
            continue;
        }
        const quint32 ssrc = qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(d) + 8);
        if (ssrc == 0)
            FuzzEnv::check(v == RtpServer::NoSource && server.ssrc() == before);
        else if (ssrc != before)
            FuzzEnv::check(v == RtpServer::NewSource && server.ssrc() == ssrc && after == received);
        else
            FuzzEnv::check(v == RtpServer::Queued && after == received + 1);
    }
    return 0;
}
