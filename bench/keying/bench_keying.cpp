// Keying accuracy of the real 1 ms path: the WinKey engine and the sampler on
// the shared timer thread, records decoded as the box would. Reports the
// edge error against ideal Morse timing (p50/p99/max, ms) on an idle machine
// and with both cores busy, and the lateness of the 1 ms ticks.
#include "client/ports/pttcwserial.h"
#include "client/ports/winkey.h"
#include "platform/mmtimer.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include <time.h>

using namespace morvex;

namespace {
struct Busy
{
    std::atomic<bool> stop { false };
    std::vector<std::thread> threads;
    void start(int n)
    {
        for (int i = 0; i < n; ++i)
            threads.emplace_back([this] {
                volatile double x = 1.0;
                while (!stop.load(std::memory_order_relaxed))
                    x = std::sqrt(x + 1.0);
            });
    }
    ~Busy()
    {
        stop = true;
        for (auto &t : threads)
            t.join();
    }
};

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(std::min<double>(v.size() - 1, std::floor(q * (v.size() - 1) + 0.5)))];
}

struct Recorder
{
    std::mutex mutex;
    std::vector<QByteArray> records;
};

// Decodes key edges (sample index) from the records in sequence order.
std::vector<qint64> keyEdges(const std::vector<QByteArray> &records)
{
    std::vector<qint64> edges;
    bool key = false;
    for (const QByteArray &r : records) {
        const qint64 base = qint64(KeyingRecord::sequenceOf(r)) * 64;
        for (int i = 0; i < 64; ++i) {
            const bool k = KeyingRecord::keyAt(r, i);
            if (k != key) {
                edges.push_back(base + i);
                key = k;
            }
        }
    }
    return edges;
}

std::vector<qint64> idealEdges(const QByteArray &text, int dit)
{
    static const char *const letters[26]
        = { ".-", "-...", "-.-.", "-..", ".", "..-.", "--.", "....", "..", ".---", "-.-", ".-..", "--", "-.",
              "---", ".--.", "--.-", ".-.", "...", "-", "..-", "...-", ".--", "-..-", "-.--", "--.." };
    std::vector<qint64> edges;
    qint64 t = 0;
    for (char c : text) {
        if (c == ' ') {
            t += 7 * dit;
            continue;
        }
        const char *p = letters[c - 'A'];
        for (int i = 0; p[i]; ++i) {
            const int len = p[i] == '.' ? dit : 3 * dit;
            edges.push_back(t);
            edges.push_back(t + len);
            t += len + (p[i + 1] ? dit : 3 * dit);
        }
    }
    return edges;
}

void runKeying(benchmark::State &state, int busyThreads)
{
    const int wpm = 40;
    const QByteArray text("CQ CQ DE TEST TEST PARIS PARIS QUICK BROWN FOX");
    std::vector<double> errors;
    for (auto _ : state) {
        Busy busy;
        busy.start(busyThreads);
        WinKey wk;
        wk.hostData(QByteArray("\x02", 1) + char(wpm) + QByteArray("\x03\x32\x17\x32\x04\x00\x00", 7));
        PttCwSerial sampler;
        Recorder rec;
        QObject::connect(
            &sampler, &PttCwSerial::packetFilled, &sampler,
            [&rec](const QByteArray &r) {
                std::lock_guard<std::mutex> lock(rec.mutex);
                rec.records.push_back(r);
            },
            Qt::DirectConnection);
        // The sampler's timer first, then the keyer's: the order the station sets them.
        sampler.startSampling(nullptr, &wk);
        wk.start();
        wk.hostData(text);
        const std::vector<qint64> ideal = idealEdges(text, 1200 / wpm);
        std::vector<qint64> got;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::lock_guard<std::mutex> lock(rec.mutex);
            std::vector<QByteArray> ordered;
            // Every second record is the repeat of the one before.
            for (size_t i = 0; i < rec.records.size(); i += 2)
                ordered.push_back(rec.records[i]);
            got = keyEdges(ordered);
            if (got.size() >= ideal.size() && !wk.isBusy())
                break;
        }
        wk.stop();
        sampler.stopSampling();
        const qint64 t0 = got.front();
        for (size_t i = 0; i < ideal.size() && i < got.size(); ++i)
            errors.push_back(double(std::llabs(got[i] - t0 - ideal[i])));
        if (got.size() != ideal.size())
            state.SkipWithError("edge count differs");
    }
    state.counters["edge_p50_ms"] = quantile(errors, 0.5);
    state.counters["edge_p99_ms"] = quantile(errors, 0.99);
    state.counters["edge_max_ms"] = errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
    state.counters["edges"] = double(errors.size());
}

void BM_WinKeyEdgesIdle(benchmark::State &state)
{
    runKeying(state, 0);
}
void BM_WinKeyEdgesBusy(benchmark::State &state)
{
    runKeying(state, 2);
}

struct Lateness
{
    timespec start {};
    std::atomic<qint64> n { 0 };
    std::vector<double> ms;
};

void latenessTick(quint32, quint32, quintptr user, quintptr, quintptr)
{
    auto *l = reinterpret_cast<Lateness *>(user);
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 k = ++l->n;
    const double since
        = double(now.tv_sec - l->start.tv_sec) * 1e3 + double(now.tv_nsec - l->start.tv_nsec) / 1e6;
    if (l->ms.size() < l->ms.capacity())
        l->ms.push_back(since - double(k));
}

void runLateness(benchmark::State &state, int busyThreads)
{
    std::vector<double> all;
    for (auto _ : state) {
        Busy busy;
        busy.start(busyThreads);
        Lateness l;
        l.ms.reserve(3000);
        clock_gettime(CLOCK_MONOTONIC, &l.start);
        const quint32 id
            = timeSetEvent(1, 1, latenessTick, quintptr(&l), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        timeKillEvent(id);
        // The first tick is due 1 ms after the thread's first reading; the
        // offset of that start is removed by taking the minimum as zero.
        const double base = l.ms.empty() ? 0 : *std::min_element(l.ms.begin(), l.ms.end());
        for (double v : l.ms)
            all.push_back(v - base);
    }
    state.counters["late_p50_ms"] = quantile(all, 0.5);
    state.counters["late_p99_ms"] = quantile(all, 0.99);
    state.counters["late_max_ms"] = all.empty() ? 0 : *std::max_element(all.begin(), all.end());
    state.counters["ticks"] = double(all.size());
}

void BM_TickLatenessIdle(benchmark::State &state)
{
    runLateness(state, 0);
}
void BM_TickLatenessBusy(benchmark::State &state)
{
    runLateness(state, 2);
}
} // namespace

BENCHMARK(BM_WinKeyEdgesIdle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WinKeyEdgesBusy)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TickLatenessIdle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TickLatenessBusy)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    // The keyer keeps its parameters in the settings: never the user's own.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("winkey.debug=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
