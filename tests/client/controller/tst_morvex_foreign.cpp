#include "tests/client/controller/morvexrun.h"
#include "tests/support/simprocess.h"
#include "tests/support/sinkrecorder.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cmath>

// The real program plays the simulated box's tone (400 Hz left, 700 Hz
// right) while another local program sends audio datagrams, each with a new
// source, to the program's audio port. What the speakers play is recorded
// from their sink's monitor.
class TestMorvexForeign : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void strangerCannotMuteTheBox();
};

namespace {
constexpr int kWait = 30000;
constexpr int kRate = 12000;
// 20 ms of stereo frames.
constexpr int kWindowFrames = kRate / 50;

// What is played into the speakers' sink, as 12000 Hz interleaved stereo.
class SpeakerRecorder : public SinkRecorder
{
public:
    // The first frame with audible sound, or -1.
    int firstSound() const
    {
        for (int f = 0; f < frames(); ++f) {
            if (qAbs(int(sample(f, 0))) > 500 || qAbs(int(sample(f, 1))) > 500)
                return f;
        }
        return -1;
    }
    double rms(int first, int count) const
    {
        double sum = 0;
        for (int f = first; f < first + count; ++f)
            sum += double(sample(f, 0)) * sample(f, 0) + double(sample(f, 1)) * sample(f, 1);
        return std::sqrt(sum / (2.0 * count));
    }
    // Amplitude of one frequency in one channel (Goertzel).
    double tone(int channel, double hz, int first, int count) const
    {
        const double c = 2 * std::cos(2 * M_PI * hz / kRate);
        double s1 = 0;
        double s2 = 0;
        for (int f = first; f < first + count; ++f) {
            const double s0 = sample(f, channel) + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return 2 * std::sqrt(qMax(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / count;
    }
};

// A well-formed audio datagram of silence from a source of its own.
QByteArray strangerDatagram(quint32 ssrc, quint16 seq)
{
    QByteArray d(16 + 960, '\0');
    auto *p = reinterpret_cast<uchar *>(d.data());
    p[0] = 0x80;
    qToBigEndian<quint16>(seq, p + 2);
    qToBigEndian<quint32>(1000 + 20u * seq, p + 4);
    qToBigEndian<quint32>(ssrc, p + 8);
    return d;
}

// The largest foreign count in the program's logged statistics lines.
int loggedForeign(const QString &log)
{
    static const QRegularExpression re(QStringLiteral("Receive statistics: .* foreign=(\\d+)"));
    int most = -1;
    for (auto it = re.globalMatch(log); it.hasNext();)
        most = qMax(most, it.next().captured(1).toInt());
    return most;
}

// What the program said about its receive audio: lateness, restarts,
// statistics, device trouble.
QString audioLines(const QString &log)
{
    static const QRegularExpression re(
        QStringLiteral("LATE|Receive buffer|Receive statistics|underflow|[Aa]udio"));
    QStringList lines;
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        if (re.match(line).hasMatch() && !line.contains(QLatin1String("dropping audio from")))
            lines << line;
    }
    return lines.mid(qMax(0, lines.size() - 40)).join(QLatin1Char('\n'));
}
} // namespace

void TestMorvexForeign::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "no virtual sound devices: run under scripts/with-test-env.sh");
    QVERIFY2(!QStandardPaths::findExecutable("parec").isEmpty(), "parec is needed");
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));
}

void TestMorvexForeign::strangerCannotMuteTheBox()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    MorvexRun m;
    QVERIFY(m.start(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort())));
    QVERIFY2(QTest::qWaitFor([&] { return sim.statusValue("loggedin") == 1; }, kWait), qPrintable(m.log()));
    QVERIFY2(m.waitLog("Tray message: Connected to 127.0.0.1", 1, kWait), qPrintable(m.log()));

    // The program's audio port: the box sends back to where its audio comes
    // from.
    static const QRegularExpression target(QStringLiteral("target=(\\S+):(\\d+) "));
    quint16 morvexPort = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            morvexPort
                = quint16(target.match(sim.command(QStringLiteral("audio")).value(0)).captured(2).toUInt());
            return morvexPort != 0;
        },
        kWait));

    SpeakerRecorder rec;
    QVERIFY(rec.start());
    // Start-up: the tone plays for a second before the stranger begins.
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     rec.poll();
                     const int first = rec.firstSound();
                     return first >= 0 && rec.frames() - first >= kRate;
                 },
                 kWait),
        "the box's tone is not played");
    // The level of the tone before the stranger starts is the reference.
    const int analysed = rec.firstSound() + kRate / 4;
    const int attackStart = rec.frames();
    const double reference = rec.rms(analysed, attackStart - analysed);
    QVERIFY2(reference > 1000, qPrintable(QString::number(reference)));

    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QHostAddress::LocalHost), quint16(0)));
    int sent = 0;
    QTimer attack;
    QObject::connect(&attack, &QTimer::timeout, [&] {
        stranger.writeDatagram(strangerDatagram(0x51000000u + quint32(sent), quint16(sent)),
            QHostAddress::LocalHost, morvexPort);
        ++sent;
    });
    attack.start(100);
    // Ten seconds of what was played while the stranger sends.
    QVERIFY(QTest::qWaitFor(
        [&] {
            rec.poll();
            return rec.frames() >= attackStart + 10 * kRate;
        },
        60000));
    attack.stop();
    QVERIFY2(sent >= 50, qPrintable(QString::number(sent)));

    // Every 20 ms window carries the tone. Taking in a single foreign
    // datagram costs at least one window (a reset costs the whole buffering
    // time), so with 100 of them an allowance for one stall of the sound
    // server on a loaded machine (the stall, then the buffering again while
    // the receive buffer refills: up to about 20 windows) keeps the check
    // sharp.
    const int windows = (rec.frames() - analysed) / kWindowFrames;
    QStringList gaps;
    for (int w = 0; w < windows; ++w) {
        if (rec.rms(analysed + w * kWindowFrames, kWindowFrames) < reference / 10)
            gaps << QStringLiteral("%1 ms").arg(qint64(w) * 20);
    }
    QVERIFY2(gaps.size() <= windows / 20,
        qPrintable(
            QStringLiteral("%1 of %2 windows silent, at %3; the box: %4; the program's audio lines:\n%5")
                .arg(gaps.size())
                .arg(windows)
                .arg(gaps.mid(0, 20).join(QStringLiteral(", ")))
                .arg(sim.command(QStringLiteral("audio")).value(0))
                .arg(audioLines(m.log()))));
    if (!gaps.isEmpty())
        qWarning() << "silent 20 ms windows:" << gaps << audioLines(m.log());

    // And it is the box's tone (its left channel is the main receiver,
    // which the speakers play by default on both sides). Measured in 200 ms
    // blocks: an underrun of the sound server shifts the phase of what
    // follows, which a single measurement over the whole recording would
    // take for a weaker tone.
    constexpr int kBlock = kRate / 5;
    QVector<double> hz400;
    for (int first = analysed; first + kBlock <= rec.frames(); first += kBlock)
        hz400 << qMax(rec.tone(0, 400, first, kBlock), rec.tone(1, 400, first, kBlock));
    QVERIFY(hz400.size() >= 40);
    std::sort(hz400.begin(), hz400.end());
    const double median = hz400.at(hz400.size() / 2);
    // A pure tone's amplitude is 1.41 times its rms.
    QVERIFY2(median > reference,
        qPrintable(QStringLiteral("400 Hz %1 in the median block, rms %2").arg(median).arg(reference)));

    // Each datagram was dropped and counted; the count reaches the log.
    QVERIFY2(m.waitLog(QStringLiteral("dropping audio from 127.0.0.1:%1, not the box at 127.0.0.1:%2")
                           .arg(stranger.localPort())
                           .arg(sim.audioPort())),
        qPrintable(m.log()));
    QVERIFY2(QTest::qWaitFor([&] { return loggedForeign(m.log()) == sent; }, kWait),
        qPrintable(QStringLiteral("sent %1; log:\n%2").arg(sent).arg(m.log())));
    QVERIFY(m.terminate());
}

QTEST_GUILESS_MAIN(TestMorvexForeign)
#include "tst_morvex_foreign.moc"
