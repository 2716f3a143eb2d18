// Cost of the receive path per 20 ms two-channel frame at 12000 Hz.
#include "client/Rtp/packetlossconcealment.h"
#include "client/Rtp/rtpfixedjb.h"

#include <QCoreApplication>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace morvex;

namespace {

constexpr int kFrame = 960;
constexpr int kValues = kFrame / 2;

QByteArray toneDatagram()
{
    QByteArray d(16 + kFrame, 0);
    d[0] = char(0x80);
    auto *p = reinterpret_cast<uchar *>(d.data());
    qToBigEndian<quint32>(0xABCDu, p + 8);
    for (int i = 0; i < kValues; ++i)
        qToLittleEndian<qint16>(
            qint16(8000 * std::sin(2 * M_PI * 400.0 * (i / 2) / 12000.0)), p + 16 + 2 * i);
    return d;
}

void stamp(QByteArray &d, quint16 seq, quint32 ts)
{
    auto *p = reinterpret_cast<uchar *>(d.data());
    qToBigEndian<quint16>(seq, p + 2);
    qToBigEndian<quint32>(ts, p + 4);
}

struct Receiver
{
    Receiver()
    {
        jb.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        jb.setFormat(kFrame, 20);
        jb.setBuffered(200);
        jb.readData(out.data(), out.size());
    }
    void write(quint32 slot)
    {
        stamp(datagram, quint16(slot), 1000 + 20 * slot);
        jb.writeData(datagram.constData(), datagram.size());
    }
    qint16 read()
    {
        jb.readData(out.data(), out.size());
        return qFromLittleEndian<qint16>(out.constData() + kFrame - 2);
    }

    RtpFixedJb jb;
    QByteArray datagram = toneDatagram();
    QByteArray out = QByteArray(kFrame, 0);
};

// Every datagram arrives: one write and one read that plays it.
void BM_WriteReadDelivered(benchmark::State &state)
{
    Receiver rx;
    quint32 slot = 0;
    for (; slot < 11; ++slot) {
        rx.write(slot);
        rx.read();
    }
    qint64 concealed = 0;
    for (auto _ : state) {
        rx.write(slot++);
        concealed += rx.read() == 0;
    }
    if (concealed)
        state.SkipWithError("a frame was concealed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteReadDelivered);

// Every second datagram is lost. Timed: the write of the datagram that
// arrives and the read of a slot whose datagram was lost (a first fill-in,
// with its pitch search). The read that plays real audio is not timed.
void BM_WriteReadConcealed(benchmark::State &state)
{
    Receiver rx;
    quint32 slot = 1;
    for (int i = 0; i < 6; ++i, slot += 2) {
        rx.write(slot);
        rx.read();
        rx.read();
    }
    qint64 wrong = 0;
    for (auto _ : state) {
        rx.write(slot);
        slot += 2;
        state.PauseTiming();
        wrong += rx.read() == 0;
        state.ResumeTiming();
        wrong += rx.read() != 0;
    }
    if (wrong)
        state.SkipWithError("slots were not delivered and concealed in turn");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteReadConcealed);

// One fill-in right after real audio (the costly one); the receive step
// that feeds it is not timed.
void BM_FillIn(benchmark::State &state)
{
    PacketLossConcealment plc;
    QVector<qint16> real(kValues);
    for (int i = 0; i < kValues; ++i)
        real[i] = qint16(8000 * std::sin(2 * M_PI * 400.0 * (i / 2) / 12000.0));
    QVector<qint16> work(kValues);
    QVector<qint16> out(kValues);
    for (auto _ : state) {
        state.PauseTiming();
        work = real;
        plc.receive(work.data(), kValues);
        state.ResumeTiming();
        plc.fillIn(out.data(), kValues);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FillIn);

// Further fill-ins of a long gap: the fade is over, only silence and history.
void BM_FillInContinued(benchmark::State &state)
{
    PacketLossConcealment plc;
    QVector<qint16> out(kValues, 100);
    plc.receive(out.data(), kValues);
    plc.fillIn(out.data(), kValues);
    for (auto _ : state) {
        plc.fillIn(out.data(), kValues);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FillInContinued);

} // namespace

int main(int argc, char **argv)
{
    // The statistics timer wants a thread with an event dispatcher.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
