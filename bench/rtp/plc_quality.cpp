// Plays test signals through the receive buffer with packet loss and reports,
// for the concealed frames, the log-spectral distance to the original next to
// that of silence insertion, and on tones the pitch the concealment picked.
// --json FILE also writes every row as JSON for the performance report.
#include "client/Rtp/packetlossconcealment.h"
#include "client/Rtp/rtpfixedjb.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVector>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

using namespace morvex;

namespace {

constexpr int kRate = 12000;
constexpr int kPairs = 240; // per 20 ms frame
constexpr int kValues = 2 * kPairs;
constexpr int kFrameBytes = 2 * kValues;
constexpr int kDelayFrames = 10; // 200 ms
constexpr double kEps = 3.6e-5; // -80 dB below a full-scale tone in a 240-point Hann DFT

struct Signal
{
    QString name;
    double toneHz = 0; // 0: not a tone
    QVector<qint16> mono;
};

QVector<qint16> makeTone(double hz, int seconds)
{
    QVector<qint16> s(kRate * seconds);
    for (int n = 0; n < s.size(); ++n)
        s[n] = qint16(std::lround(16000.0 * std::sin(2 * M_PI * hz * n / kRate)));
    return s;
}

// Voiced, speech-like: a glottal pulse train with slow pitch glides through
// two formant resonators, shaped into syllables with short pauses.
QVector<qint16> makeSyntheticVoice(int seconds)
{
    QVector<qint16> s(kRate * seconds);
    double phase = 0;
    double y1[2] = { 0, 0 }, y2[2] = { 0, 0 };
    const double formants[2][2] = { { 700, 1220 }, { 400, 2000 } };
    for (int n = 0; n < s.size(); ++n) {
        const double t = double(n) / kRate;
        const double f0 = 130 + 30 * std::sin(2 * M_PI * 0.7 * t) + 10 * std::sin(2 * M_PI * 3.1 * t);
        phase += f0 / kRate;
        double excitation = 0;
        if (phase >= 1) {
            phase -= 1;
            excitation = 1;
        }
        const int vowel = int(t * 2.5) % 2;
        double out = 0;
        for (int k = 0; k < 2; ++k) {
            const double f = formants[vowel][k];
            const double r = 0.97;
            const double a1 = 2 * r * std::cos(2 * M_PI * f / kRate);
            const double a2 = -r * r;
            const double y = excitation + a1 * y1[k] + a2 * y2[k];
            y2[k] = y1[k];
            y1[k] = y;
            out += y;
        }
        const double syllable = std::max(0.0, std::sin(M_PI * std::fmod(t * 2.5, 1.0)));
        s[n] = qint16(std::clamp(out * 900 * syllable, -32000.0, 32000.0));
    }
    return s;
}

// Speech from espeak-ng, resampled by sox to 12000 Hz mono 16-bit.
bool makeSpokenVoice(QVector<qint16> *out)
{
    const QString espeak = QStandardPaths::findExecutable("espeak-ng");
    const QString sox = QStandardPaths::findExecutable("sox");
    if (espeak.isEmpty() || sox.isEmpty())
        return false;
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    const QString wav = dir.filePath("speech.wav");
    const QString raw = dir.filePath("speech.raw");
    const QString text = "Good evening, this is the remote station. Signal report five nine, "
                         "the band is open to the west and conditions are improving. "
                         "Please stand by while we change antennas, then go ahead with your call sign.";
    if (QProcess::execute(espeak, { "-v", "en", "-s", "150", "-w", wav, text }) != 0)
        return false;
    if (QProcess::execute(sox,
            { wav, "-r", QString::number(kRate), "-c", "1", "-b", "16", "-e", "signed-integer", "-t", "raw",
                raw })
        != 0)
        return false;
    QFile f(raw);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    out->resize(bytes.size() / 2);
    for (int i = 0; i < out->size(); ++i)
        (*out)[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
    return out->size() > kRate;
}

QVector<bool> lossPattern(int frames, double rate, bool bursty, quint32 seed)
{
    QRandomGenerator rng(seed);
    QVector<bool> lost(frames, false);
    // Gilbert model with mean burst length 3 and the same average loss.
    const double leaveBad = 1.0 / 3.0;
    const double enterBad = rate * leaveBad / (1.0 - rate);
    bool bad = false;
    for (int k = kDelayFrames; k < frames; ++k) {
        if (bursty) {
            bad = bad ? rng.generateDouble() >= leaveBad : rng.generateDouble() < enterBad;
            lost[k] = bad;
        } else {
            lost[k] = rng.generateDouble() < rate;
        }
    }
    return lost;
}

QVector<double> spectrum(const qint16 *interleaved)
{
    static QVector<double> window;
    if (window.isEmpty()) {
        window.resize(kPairs);
        for (int n = 0; n < kPairs; ++n)
            window[n] = 0.5 - 0.5 * std::cos(2 * M_PI * n / kPairs);
    }
    QVector<double> p(kPairs / 2);
    for (int k = 1; k < kPairs / 2; ++k) {
        double re = 0, im = 0;
        for (int n = 0; n < kPairs; ++n) {
            const double x = interleaved[2 * n] / 32768.0 * window[n];
            re += x * std::cos(2 * M_PI * k * n / kPairs);
            im -= x * std::sin(2 * M_PI * k * n / kPairs);
        }
        p[k] = re * re + im * im;
    }
    return p;
}

double lsd(const QVector<double> &a, const QVector<double> &b)
{
    double sum = 0;
    for (int k = 1; k < a.size(); ++k) {
        const double d = 10 * std::log10(a[k] + kEps) - 10 * std::log10(b[k] + kEps);
        sum += d * d;
    }
    return std::sqrt(sum / (a.size() - 1));
}

// Frequency of the left channel from interpolated rising zero crossings.
double measuredHz(const qint16 *interleaved, int fromPair, int toPair)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (int n = fromPair + 1; n < toPair; ++n) {
        const double a = interleaved[2 * (n - 1)], b = interleaved[2 * n];
        if (a < 0 && b >= 0) {
            const double at = n - 1 + (-a) / (b - a);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return kRate * (crossings - 1) / (last - first);
}

struct Result
{
    int concealed = 0;
    int firstOfBurst = 0;
    double lsdConceal = 0, lsdSilence = 0;
    double lsdFirstConceal = 0, lsdFirstSilence = 0;
    std::map<int, int> pitches;
    double hzError = 0;
    double measuredError = 0;
    int measured = 0;
    bool mirrorMatches = true;
};

Result run(const Signal &sig, double rate, bool bursty, quint32 seed)
{
    const int frames = sig.mono.size() / kPairs;
    const QVector<bool> lost = lossPattern(frames, rate, bursty, seed);
    const QVector<qint16> silence(kValues, 0);

    RtpFixedJb jb;
    jb.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    jb.setFormat(kFrameBytes, 20);
    jb.setBuffered(kDelayFrames * 20);
    QByteArray out(kFrameBytes, 0);
    jb.readData(out.data(), out.size());

    // A second concealment fed the same calls tells which pitch was chosen.
    PacketLossConcealment mirror;
    mirror.setChannels(2);
    // The buffer plays plain silence until it has played real audio.
    bool heard = false;
    Result r;
    QByteArray datagram(16 + kFrameBytes, 0);
    datagram[0] = char(0x80);
    auto *hdr = reinterpret_cast<uchar *>(datagram.data());
    qToBigEndian<quint32>(0x5EEDu, hdr + 8);
    QVector<qint16> original(kValues);
    QVector<qint16> mirrored(kValues);

    for (int step = 0; step < frames + kDelayFrames; ++step) {
        if (step < frames && !lost[step]) {
            qToBigEndian<quint16>(quint16(step), hdr + 2);
            qToBigEndian<quint32>(quint32(1000 + 20 * step), hdr + 4);
            for (int i = 0; i < kPairs; ++i) {
                qToLittleEndian<qint16>(sig.mono[step * kPairs + i], hdr + 16 + 4 * i);
                qToLittleEndian<qint16>(sig.mono[step * kPairs + i], hdr + 16 + 4 * i + 2);
            }
            jb.writeData(datagram.constData(), datagram.size());
        }
        out.fill(0);
        jb.readData(out.data(), out.size());
        const int k = step - kDelayFrames;
        if (k < 0)
            continue;

        for (int i = 0; i < kPairs; ++i)
            original[2 * i] = original[2 * i + 1] = sig.mono[k * kPairs + i];
        const auto *played = reinterpret_cast<const qint16 *>(out.constData());
        const bool firstOfBurst = lost[k] && !lost[k - 1];
        if (lost[k] && !heard) {
            mirrored.fill(0);
        } else if (lost[k]) {
            mirror.fillIn(mirrored.data(), kValues);
        } else {
            mirrored = original;
            mirror.receive(mirrored.data(), kValues);
            heard = true;
        }
        if (!std::equal(mirrored.cbegin(), mirrored.cend(), played))
            r.mirrorMatches = false;
        if (!lost[k])
            continue;

        // Only frames with something to hear are scored.
        double energy = 0;
        for (qint16 v : qAsConst(original))
            energy += double(v) * v;
        if (std::sqrt(energy / kValues) < 328) // -40 dBFS
            continue;

        const QVector<double> ref = spectrum(original.constData());
        const double c = lsd(ref, spectrum(played));
        const double s = lsd(ref, spectrum(silence.constData()));
        ++r.concealed;
        r.lsdConceal += c;
        r.lsdSilence += s;
        if (firstOfBurst) {
            ++r.firstOfBurst;
            r.lsdFirstConceal += c;
            r.lsdFirstSilence += s;
            r.pitches[mirror.pitch()]++;
            if (sig.toneHz > 0) {
                // The interleaved period holds pitch / 2 sample pairs.
                r.hzError += std::abs(2.0 * kRate / mirror.pitch() - sig.toneHz);
                const double hz = measuredHz(played, 10, 200);
                if (hz > 0) {
                    r.measuredError += std::abs(hz - sig.toneHz);
                    ++r.measured;
                }
            }
        }
    }
    return r;
}

QString mean(double sum, int n)
{
    return n ? QString::number(sum / n, 'f', 2) : QStringLiteral("-");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The buffer's late-datagram lines are not part of this report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QString jsonPath;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--json") && i + 1 < args.size()) {
            jsonPath = args[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--json FILE]\n", qPrintable(args[0]));
            return 2;
        }
    }
    QJsonArray rows;

    QVector<Signal> signalList;
    for (double hz : { 250.0, 400.0, 550.0 })
        signalList.append({ QString("tone %1 Hz").arg(hz), hz, makeTone(hz, 20) });
    Signal voice;
    if (makeSpokenVoice(&voice.mono)) {
        voice.name = "speech (espeak-ng)";
    } else {
        voice.name = "voiced synthetic";
        voice.mono = makeSyntheticVoice(20);
    }
    signalList.append(voice);

    std::printf("Concealment quality: 12000 Hz, two equal channels, 20 ms frames, 200 ms buffer.\n");
    std::printf("LSD = log-spectral distance in dB (left channel, 240-point Hann DFT, -80 dB floor),\n");
    std::printf("averaged over concealed frames whose original is above -40 dBFS.\n\n");
    std::printf("%-20s %-7s %5s %6s %6s | %9s %9s | %9s %9s\n", "signal", "loss", "rate", "frames", "first",
        "LSD conc", "LSD sil", "1st conc", "1st sil");

    QVector<QString> pitchLines;
    bool mirrorOk = true;
    quint32 seed = 1;
    for (const Signal &sig : qAsConst(signalList)) {
        for (bool bursty : { false, true }) {
            for (double rate : { 0.05, 0.10, 0.20 }) {
                const Result r = run(sig, rate, bursty, seed++);
                mirrorOk = mirrorOk && r.mirrorMatches;
                std::printf("%-20s %-7s %4.0f%% %6d %6d | %9s %9s | %9s %9s\n", qPrintable(sig.name),
                    bursty ? "bursty" : "random", rate * 100, r.concealed, r.firstOfBurst,
                    qPrintable(mean(r.lsdConceal, r.concealed)), qPrintable(mean(r.lsdSilence, r.concealed)),
                    qPrintable(mean(r.lsdFirstConceal, r.firstOfBurst)),
                    qPrintable(mean(r.lsdFirstSilence, r.firstOfBurst)));
                rows.append(QJsonObject { { "signal", sig.name },
                    { "kind", sig.toneHz > 0 ? "tone" : "speech" }, { "loss", bursty ? "bursty" : "random" },
                    { "rate", rate }, { "frames", r.concealed }, { "lsd_concealed_sum", r.lsdConceal },
                    { "lsd_silence_sum", r.lsdSilence }, { "first_of_burst", r.firstOfBurst },
                    { "lsd_first_concealed_sum", r.lsdFirstConceal },
                    { "lsd_first_silence_sum", r.lsdFirstSilence } });
                if (sig.toneHz > 0) {
                    QString chosen;
                    for (const auto &p : r.pitches)
                        chosen += QString("%1 (%2x) ").arg(p.first).arg(p.second);
                    pitchLines.append(
                        QString::asprintf("%-12s %-7s %4.0f%%  true period %6.2f values | chosen: %s| "
                                          "pitch error %5.2f Hz, measured output error %5.2f Hz",
                            qPrintable(sig.name), bursty ? "bursty" : "random", rate * 100,
                            2.0 * kRate / sig.toneHz, qPrintable(chosen),
                            r.firstOfBurst ? r.hzError / r.firstOfBurst : 0.0,
                            r.measured ? r.measuredError / r.measured : 0.0));
                }
            }
        }
    }

    std::printf("\nPitch on tones (first concealed frame of each burst; periods in interleaved values):\n");
    for (const QString &l : qAsConst(pitchLines))
        std::printf("%s\n", qPrintable(l));
    std::printf("\nMirror check (separate concealment fed the same calls reproduces the played frames): %s\n",
        mirrorOk ? "ok" : "MISMATCH");
    if (!jsonPath.isEmpty()) {
        QFile f(jsonPath);
        const QByteArray json = QJsonDocument(QJsonObject { { "rows", rows }, { "mirror_ok", mirrorOk } })
                                    .toJson(QJsonDocument::Indented);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(json) != json.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(jsonPath));
            return 1;
        }
    }
    return mirrorOk ? 0 : 1;
}
