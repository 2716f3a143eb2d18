#include "tests/client/controller/morvexrun.h"
#include "tests/support/proccpu.h"
#include "tests/support/simprocess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <unistd.h>

// The real program with every sound device on ALSA's null PCM, which has no
// clock: its callbacks would run as fast as the CPU allows. Connected to the
// simulated box, it must keep its memory flat, leave the CPU alone and end
// promptly on SIGTERM.
class TestMorvexNullAudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void flatMemoryAndPromptExit();

private:
    QTemporaryDir m_alsa;
    QByteArray m_oldAlsaConfig;
};

namespace {
constexpr int kWait = 30000;
constexpr qint64 kWindowMs = 30000;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers hold freed memory back (AddressSanitizer's quarantine takes
// up to 256 MiB), so resident memory grows with every allocation there; this
// still catches growth with the audio, which runs to gigabytes.
constexpr qint64 kMaxGrowthKb = 64 * 1024;
// They also slow the shutdown of every library.
constexpr qint64 kExitMs = 4000;
#else
constexpr qint64 kMaxGrowthKb = 2048;
// SIGTERM to exit.
constexpr qint64 kExitMs = 2000;
#endif

} // namespace

void TestMorvexNullAudio::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));

    // The program's own ALSA configuration: the virtual card is found by
    // its name, so its names, and the microphone's and speakers', are null
    // devices here.
    QVERIFY(m_alsa.isValid());
    QFile conf(m_alsa.filePath(QStringLiteral("asound.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("</usr/share/alsa/alsa.conf>\n"
               "pcm.\"Null In\" { type asym; capture.pcm \"null\" }\n"
               "pcm.\"Null Out\" { type asym; playback.pcm \"null\" }\n"
               "pcm.\"e2eSoft VAudio\" { type asym; playback.pcm \"null\" }\n"
               "pcm.\"e2eSoft VAudio Line in\" { type asym; capture.pcm \"null\" }\n");
    conf.close();
    m_oldAlsaConfig = qgetenv("ALSA_CONFIG_PATH");
    // MorvexRun hands this process's environment on.
    qputenv("ALSA_CONFIG_PATH", conf.fileName().toLocal8Bit());
}

void TestMorvexNullAudio::cleanupTestCase()
{
    if (m_oldAlsaConfig.isEmpty())
        qunsetenv("ALSA_CONFIG_PATH");
    else
        qputenv("ALSA_CONFIG_PATH", m_oldAlsaConfig);
}

void TestMorvexNullAudio::flatMemoryAndPromptExit()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    MorvexRun m;
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    ini["Audio/AudioInput"] = "Null In";
    ini["Audio/AudioOutput"] = "Null Out";
    QVERIFY(m.start(ini));
    QVERIFY2(QTest::qWaitFor([&] { return sim.statusValue("loggedin") == 1; }, kWait), qPrintable(m.log()));
    QVERIFY2(m.waitLog("Tray message: Connected to 127.0.0.1", 1, kWait), qPrintable(m.log()));
    // Every stream opened: a device the program could not start says so.
    QVERIFY2(!m.log().contains("PAudioAbstract::launch()"), qPrintable(m.log()));

    // Warm-up: the capture stream (the virtual card's input while the
    // radio's PTT is local) feeds the box for a few seconds.
    QVERIFY2(QTest::qWaitFor([&] { return sim.statusValue("audio") >= 150; }, kWait), qPrintable(m.log()));

    const qint64 rssStart = m.rssKb();
    const qint64 cpuStart = processCpuMs(m.pid());
    const int datagramsStart = sim.statusValue("audio");
    QVERIFY(rssStart > 0 && cpuStart >= 0 && datagramsStart > 0);
    QElapsedTimer window;
    window.start();
    qint64 rssMost = rssStart;
    // A window of time is what is measured here: the wait ends with it,
    // or early should the program end.
    QVERIFY(QTest::qWaitFor(
        [&] {
            rssMost = qMax(rssMost, m.rssKb());
            return !m.isRunning() || window.elapsed() >= kWindowMs;
        },
        kWindowMs + kWait));
    QVERIFY2(m.isRunning(), qPrintable(m.log()));
    const qint64 cpu = processCpuMs(m.pid()) - cpuStart;
    const qint64 elapsed = window.elapsed();
    const int datagrams = sim.statusValue("audio") - datagramsStart;
    const QString why = QStringLiteral("RSS %1 kB -> most %2 kB; CPU %3 ms in %4 ms; %5 datagrams to the box")
                            .arg(rssStart)
                            .arg(rssMost)
                            .arg(cpu)
                            .arg(elapsed)
                            .arg(datagrams);
    qInfo().noquote() << why;
    QVERIFY2(rssMost - rssStart < kMaxGrowthKb, qPrintable(why));
    QVERIFY2(cpu < elapsed / 2, qPrintable(why));
    // One 20 ms datagram per 20 ms of captured audio: about real time, not
    // as fast as the device could go.
    const double realTime = double(elapsed) / 20.0;
    QVERIFY2(datagrams > 0.5 * realTime && datagrams < 1.02 * realTime + 100, qPrintable(why));

    QElapsedTimer exitTime;
    exitTime.start();
    QVERIFY2(m.terminate(kWait), qPrintable(m.log().right(2000)));
    const qint64 exitMs = exitTime.elapsed();
    qInfo() << "SIGTERM to exit:" << exitMs << "ms";
    QCOMPARE(m.exitStatus(), QProcess::NormalExit);
    // A sanitizer's report ends the program with another code.
    QVERIFY2(m.exitCode() == 0, qPrintable(m.log().right(4000)));
    QVERIFY2(exitMs <= kExitMs, qPrintable(QString::number(exitMs)));
}

QTEST_MAIN(TestMorvexNullAudio)
#include "tst_morvex_nullaudio.moc"
