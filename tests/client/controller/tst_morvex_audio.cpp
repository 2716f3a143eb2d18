#include "tests/client/controller/morvexrun.h"
#include "tests/support/simprocess.h"
#include "tests/support/sinkrecorder.h"

#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <complex>

// Receive audio of the real program as the operator hears it, recorded from
// the sinks of the test environment's sound server.
class TestMorvexAudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playsWithoutVirtualCard();
    void impairedStreamPlaysWhole();

private:
    static QString xdotool(const QStringList &args);
    QTemporaryDir m_alsa;
    QByteArray m_alsaConfig;
};

namespace {
constexpr int kWait = 30000;
constexpr int kRate = 12000;
constexpr int kWindow = kRate / 50;

// Interleaved 12000 Hz stereo from one sink's monitor.
class Recorder : public SinkRecorder
{
public:
    int firstSound() const
    {
        for (int f = 0; f < frames(); ++f) {
            if (qAbs(int(sample(f, 0))) > 500)
                return f;
        }
        return -1;
    }
    // The left channel projected on a complex tone of hz, over count frames
    // from first, with the phase counted from frame 0: a steady tone gives
    // the same value in every window.
    std::complex<double> project(double hz, int first, int count) const
    {
        std::complex<double> sum;
        const double w = 2 * M_PI * hz / kRate;
        for (int f = first; f < first + count; ++f)
            sum += double(sample(f, 0)) * std::polar(1.0, -w * f);
        return sum * (2.0 / count);
    }
};
} // namespace

QString TestMorvexAudio::xdotool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestMorvexAudio::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "no virtual sound devices: run under scripts/with-test-env.sh");
    for (const char *tool : { "parec", "xdotool" })
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));
    m_alsaConfig = qgetenv("ALSA_CONFIG_PATH");
    QVERIFY(m_alsa.isValid());
}

void TestMorvexAudio::cleanupTestCase()
{
    qputenv("ALSA_CONFIG_PATH", m_alsaConfig);
}

// No virtual sound card at all: after its box the program logs in, and with
// nothing to capture it still sends datagrams, so the box learns where to
// send and the speakers play.
void TestMorvexAudio::playsWithoutVirtualCard()
{
    QFile env(QString::fromLocal8Bit(m_alsaConfig));
    QVERIFY(env.open(QIODevice::ReadOnly));
    QFile conf(m_alsa.filePath(QStringLiteral("asound.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    for (const QByteArray &line : env.readAll().split('\n')) {
        if (!line.contains("e2eSoft"))
            conf.write(line + '\n');
    }
    conf.close();
    qputenv("ALSA_CONFIG_PATH", conf.fileName().toLocal8Bit());

    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Recorder rec;
    QVERIFY(rec.start(QStringLiteral("spk")));
    MorvexRun m;
    const bool started = m.start(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()));
    qputenv("ALSA_CONFIG_PATH", m_alsaConfig);
    QVERIFY(started);

    // The program's own box (another program's may linger on the shared
    // display) blocks the start-up until answered. A key sent before the box
    // takes input is lost, so answer it again while it is still there.
    int boxes = 0;
    const bool loggedIn = QTest::qWaitFor(
        [&] {
            const QString id = xdotool({ "search", "--all", "--onlyvisible", "--pid",
                QString::number(m.pid()), "--name", "^Error$" });
            if (!id.isEmpty()) {
                ++boxes;
                xdotool({ "key", "--window", id.section('\n', 0, 0), "Return" });
                QTest::qWait(300);
            }
            return sim.statusValue("loggedin") == 1;
        },
        2 * kWait);
    QVERIFY2(boxes > 0, qPrintable(m.log()));
    QVERIFY2(loggedIn, qPrintable(m.log()));

    // Silent datagrams at the packet rate.
    QVERIFY2(QTest::qWaitFor([&] { return sim.statusValue("audio") > 0; }, kWait), qPrintable(m.log()));
    const int before = sim.statusValue("audio");
    QElapsedTimer t;
    t.start();
    QTest::qWait(3000);
    const int sent = sim.statusValue("audio") - before;
    const double expected = double(t.elapsed()) / 20;
    QVERIFY2(sent > 0.8 * expected && sent < 1.1 * expected + 5,
        qPrintable(QStringLiteral("%1 datagrams in %2 ms").arg(sent).arg(t.elapsed())));
    const QStringList rx = sim.command(QStringLiteral("audio rx 20"));
    QVERIFY(!rx.isEmpty());
    for (const QString &line : rx)
        QVERIFY2(line.endsWith(QLatin1String(" peak=0")), qPrintable(line));

    // And the box's tone on the speakers.
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     rec.poll();
                     const int first = rec.firstSound();
                     return first >= 0 && rec.frames() - first >= kRate;
                 },
                 kWait),
        qPrintable(m.log()));
    const int first = rec.firstSound() + kRate / 2;
    const double level = std::abs(rec.project(400, first, kRate / 2));
    QVERIFY2(level > 4000,
        qPrintable(QStringLiteral("level %1 from %2 of %3 frames; the program's log:\n%4")
                       .arg(level)
                       .arg(first)
                       .arg(rec.frames())
                       .arg(m.log().right(3000))));
    QVERIFY(m.terminate());
}

// Duplicated, overtaken and delayed datagrams, none lost, at 200 ms of
// buffering: what the virtual card carries is the box's tone without a
// gap, repeat or step of the program's making. 430 Hz is not a whole number of periods in
// 20 ms, so a frame dropped, repeated or concealed moves the phase.
void TestMorvexAudio::impairedStreamPlaysWhole()
{
    constexpr double kHz = 430;
    constexpr int kSeconds = 30;
    SimProcess sim;
    QVERIFY2(sim.start({ "--audio-dup", "5", "--audio-reorder", "5", "--audio-jitter", "40" }),
        qPrintable(sim.lastError()));
    QVERIFY(sim.run(QStringLiteral("audio tone %1 700").arg(kHz)));
    Recorder rec;
    QVERIFY(rec.start(QStringLiteral("vcard")));
    MorvexRun m;
    m.watch(QStringLiteral("LATE"));
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    // The jitter buffer is under test here, not the device: long device
    // buffers ride out a machine busy with other tests.
    ini["Audio/LongSoundBuffers"] = "true";
    QVERIFY(m.start(ini));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);

    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     rec.poll();
                     const int first = rec.firstSound();
                     return first >= 0 && rec.frames() - first >= (kSeconds + 1) * kRate;
                 },
                 (kSeconds + 30) * 1000),
        qPrintable(m.log().right(3000)));
    const int first = rec.firstSound() + kRate;
    const int windows = kSeconds * 50;
    std::complex<double> previous = rec.project(kHz, first, kWindow);
    const double level = std::abs(previous);
    QVERIFY2(level > 4000, qPrintable(QString::number(level)));
    QStringList faults;
    for (int w = 1; w < windows; ++w) {
        const std::complex<double> v = rec.project(kHz, first + w * kWindow, kWindow);
        const double step = std::abs(std::arg(v / previous)) * 180 / M_PI;
        if (std::abs(v) < 0.9 * level || std::abs(v) > 1.1 * level || step > 15)
            faults << QStringLiteral("%1 ms: level %2, phase step %3 deg")
                          .arg(w * 20)
                          .arg(std::abs(v), 0, 'f', 0)
                          .arg(step, 0, 'f', 1);
        previous = v;
    }
    const QString box = sim.command(QStringLiteral("audio")).value(0);
    qInfo().noquote() << windows << "windows of 20 ms," << faults.size() << "faulty; the box:" << box;
    // Each of the box's impairments comes about 75 times in the 30 s, so a
    // mishandled duplicate, overtaken or delayed datagram faults dozens of
    // windows, and one late datagram is a "LATE" line. A rare stall of the
    // sound server on a busy machine costs one to three windows with
    // neither: up to five are let pass.
    QVERIFY2(faults.size() <= 5, qPrintable(faults.mid(0, 20).join(QStringLiteral("; "))));
    if (!faults.isEmpty())
        qWarning().noquote() << "faulty windows:" << faults.join(QStringLiteral("; "));
    QVERIFY2(box.contains(QLatin1String("dup=5")), qPrintable(box));
    QVERIFY2(m.count(QStringLiteral("LATE")) == 0, qPrintable(m.log().right(3000)));
    QVERIFY2(!m.log().contains(QLatin1String("Receive buffer restarts")), qPrintable(m.log().right(3000)));
    QVERIFY(m.terminate());
}

QTEST_GUILESS_MAIN(TestMorvexAudio)
#include "tst_morvex_audio.moc"
