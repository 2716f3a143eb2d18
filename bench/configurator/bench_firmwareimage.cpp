// The largest firmware file's CRC and chunking, which run on the GUI thread
// before and during an upload.
#include "configurator/firmwareimage.h"

#include <benchmark/benchmark.h>

using namespace configurator;

namespace {
QByteArray largestFile()
{
    QByteArray f(int(FirmwareImage::kMaxFileSize), '\0');
    for (int i = 0; i < f.size(); ++i)
        f[i] = char((i * 31 + 7) & 0xFF);
    return f;
}

void BM_TransferCrc(benchmark::State &state)
{
    const QByteArray file = largestFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(FirmwareImage::transferCrc(file));
    state.SetBytesProcessed(state.iterations() * file.size());
}
BENCHMARK(BM_TransferCrc);

void BM_AllChunks(benchmark::State &state)
{
    const QByteArray file = largestFile();
    for (auto _ : state) {
        QByteArray last
            = FirmwareImage::firstChunk(quint32(file.size()), 0, file.left(FirmwareImage::kFirstChunkData));
        for (int pos = FirmwareImage::kFirstChunkData; pos < file.size(); pos += FirmwareImage::kChunkData)
            last = FirmwareImage::chunk(quint32(pos), file.mid(pos, FirmwareImage::kChunkData));
        benchmark::DoNotOptimize(last);
    }
}
BENCHMARK(BM_AllChunks);
} // namespace

BENCHMARK_MAIN();
