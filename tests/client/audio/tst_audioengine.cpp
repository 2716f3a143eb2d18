#include "client/Rtp/rtpsendbuffer.h"
#include "client/Rtp/rtpthread.h"
#include "client/audio/audiothread.h"
#include "client/audio/paudioabstract.h"
#include "client/audio/paudiodevices.h"
#include "client/audio/selfcontrol.h"
#include "tests/client/audio/audiodevicetestutil.h"
#include "tests/client/audio/rtpaudiotestutil.h"
#include "tests/support/simprocess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace morvex;

using namespace rtpaudiotest;

// ALSA's plugins, opened by PortAudio's start-up, keep what their
// constructors allocate until the process ends. Those allocations are only
// recognisable with full stacks: the plugins are unloaded by then.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:snd_dlopen\n";
}
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {
using audiodevicetest::descriptor;
using audiodevicetest::findDevice;
using audiodevicetest::kFrames;
using audiodevicetest::kRate;

// Plays a tone into a sink of the private sound server for as long as it lives.
class TonePlayer
{
public:
    TonePlayer(const QString &sink, double hz, int amplitude = 12000)
    {
        m_process.setProgram(QStringLiteral("pacat"));
        m_process.setArguments({ QStringLiteral("-d"), sink, QStringLiteral("--rate=12000"),
            QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"), QStringLiteral("--raw"),
            QStringLiteral("--latency-msec=40") });
        m_process.start();
        QByteArray pcm(kRate * 2 * 60, '\0');
        for (int i = 0; i < kRate * 60; ++i)
            qToLittleEndian<qint16>(
                qint16(amplitude * std::sin(2 * M_PI * hz * i / kRate)), pcm.data() + 2 * i);
        m_process.write(pcm);
    }
    ~TonePlayer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(5000); }

private:
    QProcess m_process;
};

// Records what is played into a sink, as 12000 Hz stereo.
class Recorder
{
public:
    explicit Recorder(const QString &source)
    {
        m_process.setProgram(QStringLiteral("parec"));
        m_process.setArguments({ QStringLiteral("-d"), source, QStringLiteral("--rate=12000"),
            QStringLiteral("--channels=2"), QStringLiteral("--format=s16le"), QStringLiteral("--raw"),
            QStringLiteral("--latency-msec=20") });
        m_process.start();
    }
    ~Recorder()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(5000); }
    // Reads what has arrived; true once there are frames of sound after
    // the first audible sample.
    bool hasSound(int frames)
    {
        m_data += m_process.readAllStandardOutput();
        const QVector<qint16> s = samples(m_data);
        for (int i = 0; i < s.size(); ++i) {
            if (qAbs(int(s[i])) > 500) {
                m_start = i - i % 2;
                return (s.size() - m_start) / 2 >= frames;
            }
        }
        return false;
    }
    // frames of stereo sound starting skip frames after the first audible one.
    QVector<qint16> sound(int skip, int frames) const
    {
        return samples(m_data).mid(m_start + 2 * skip, 2 * frames);
    }

private:
    QProcess m_process;
    QByteArray m_data;
    int m_start = 0;
};

QMap<QString, QString> audioStatus(SimProcess &sim)
{
    QMap<QString, QString> out;
    bool ok = false;
    const QStringList lines = sim.command(QStringLiteral("audio"), &ok);
    if (!ok || lines.isEmpty())
        return out;
    const QStringList pairs = lines.first().split(QLatin1Char(' '));
    for (const QString &p : pairs) {
        const int eq = p.indexOf(QLatin1Char('='));
        if (eq > 0)
            out.insert(p.left(eq), p.mid(eq + 1));
    }
    return out;
}

int audioValue(SimProcess &sim, const char *key)
{
    return audioStatus(sim).value(QString::fromLatin1(key), QStringLiteral("-1")).toInt();
}

// The payload of a 16-bit mono WAV file.
QVector<qint16> wavSamples(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return all.size() > 44 ? samples(all, 44) : QVector<qint16>();
}

struct RxLine
{
    quint32 ssrc = 0;
    quint16 seq = 0;
    int peak = 0;
};

QList<RxLine> rxLines(SimProcess &sim)
{
    static const QRegularExpression re(QStringLiteral("seq=(\\d+) ts=\\d+ ssrc=(\\d+) len=\\d+ peak=(\\d+)"));
    QList<RxLine> out;
    const QStringList lines = sim.command(QStringLiteral("audio rx"));
    for (const QString &l : lines) {
        const QRegularExpressionMatch m = re.match(l);
        if (m.hasMatch())
            out.append({ m.captured(2).toUInt(), quint16(m.captured(1).toUInt()), m.captured(3).toInt() });
    }
    return out;
}
} // namespace

// The sound engine on the virtual sound devices, fed by and feeding the
// simulated box over the audio transport.
class TestAudioEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void receiveOutputModes_data();
    void receiveOutputModes();
    void microphoneToBox();
    void toneReplacesCapture();
    void activeInputOnly();
    void failingDevicesLeaveOthersRunning();

private:
    bool startSim(SimProcess &sim, RtpThread &rtp, const QString &wav = {});

    int m_mic = -1;
    int m_speakers = -1;
    int m_vcardOut = -1;
    int m_vcardIn = -1;
};

void TestAudioEngine::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "no virtual sound devices: run under scripts/with-test-env.sh");
    m_mic = findDevice(QStringLiteral("Microphone"), true);
    m_speakers = findDevice(QStringLiteral("Speakers"), false);
    m_vcardOut = findDevice(QStringLiteral("e2eSoft VAudio"), false);
    m_vcardIn = findDevice(QStringLiteral("e2eSoft VAudio Line in"), true);
    QVERIFY2(m_mic >= 0 && m_speakers >= 0 && m_vcardOut >= 0 && m_vcardIn >= 0,
        "the virtual devices are not all listed");
}

bool TestAudioEngine::startSim(SimProcess &sim, RtpThread &rtp, const QString &wav)
{
    if (!sim.start(wav.isEmpty() ? QStringList() : QStringList { QStringLiteral("--audio-wav"), wav })) {
        qWarning() << sim.lastError();
        return false;
    }
    rtp.startStream(QStringLiteral("127.0.0.1"), sim.audioPort(), kRate);
    return rtp.isRunning();
}

void TestAudioEngine::receiveOutputModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("leftMain");
    QTest::addColumn<bool>("rightMain");
    QTest::newRow("Main RX") << 0 << true << true;
    QTest::newRow("Sub RX") << 1 << false << false;
    QTest::newRow("Main+Sub RX") << 2 << true << false;
}

void TestAudioEngine::receiveOutputModes()
{
    QFETCH(int, mode);
    QFETCH(bool, leftMain);
    QFETCH(bool, rightMain);

    SimProcess sim;
    RtpThread rtp;
    QVERIFY(startSim(sim, rtp));
    // No capture stream here: tell the box where to send.
    QVERIFY(sim.run(QStringLiteral("audio target %1").arg(rtp.localPort())));

    Recorder speakers(QStringLiteral("spk.monitor"));
    Recorder vcard(QStringLiteral("vcard.monitor"));
    QVERIFY(speakers.started() && vcard.started());

    SelfControl monitor;
    AudioThread engine;
    QVERIFY(engine.addStream(descriptor(paudio::audioOut, m_speakers, rtp.outputBuffer()), &monitor));
    QVERIFY(engine.addStream(descriptor(paudio::audioOutVirtual, m_vcardOut, rtp.outputVirtualBuffer())));
    QVERIFY(!engine.addStream(descriptor(paudio::audioOut, m_speakers, rtp.outputBuffer())));
    engine.setOutputMode(paudio::OutputMode(mode));
    engine.launch();
    QVERIFY(engine.stream(paudio::audioOut)->isRunning());
    QVERIFY(engine.stream(paudio::audioOutVirtual)->isRunning());

    const int frames = kRate / 2;
    QTRY_VERIFY_WITH_TIMEOUT(
        speakers.hasSound(frames + kRate / 5) && vcard.hasSound(frames + kRate / 5), 20000);
    const QVector<int> levels = engine.levels();
    QCOMPARE(levels.size(), 3);
    QCOMPARE(levels.at(0), 0);
    QVERIFY2(levels.at(1) > 4000 && levels.at(2) > 4000,
        qPrintable(QStringLiteral("%1 %2").arg(levels.at(1)).arg(levels.at(2))));
    engine.stop();

    for (Recorder *r : { &speakers, &vcard }) {
        const QVector<qint16> s = r->sound(kRate / 5, frames);
        const QVector<double> left = channel(s, 0, 2);
        const QVector<double> right = channel(s, 1, 2);
        const double l400 = toneMagnitude(left, 400, kRate);
        const double l700 = toneMagnitude(left, 700, kRate);
        const double r400 = toneMagnitude(right, 400, kRate);
        const double r700 = toneMagnitude(right, 700, kRate);
        const QString why
            = QStringLiteral("L 400:%1 700:%2  R 400:%3 700:%4").arg(l400).arg(l700).arg(r400).arg(r700);
        qInfo().noquote() << why;
        // The box sends amplitude 8000, which measures about 4000.
        QVERIFY2((leftMain ? l400 : l700) > 2000 && (leftMain ? l700 : l400) < 400, qPrintable(why));
        QVERIFY2((rightMain ? r400 : r700) > 2000 && (rightMain ? r700 : r400) < 400, qPrintable(why));
    }
}

void TestAudioEngine::microphoneToBox()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("tx.wav"));
    SimProcess sim;
    RtpThread rtp;
    QVERIFY(startSim(sim, rtp, wav));
    TonePlayer voice(QStringLiteral("mic"), 1500);
    QVERIFY(voice.started());

    AudioThread engine;
    QVERIFY(engine.addStream(descriptor(paudio::audioIn, m_mic, rtp.inputBuffer())));
    engine.setInput(paudio::audioIn);
    engine.launch();
    QVERIFY(engine.stream(paudio::audioIn)->isRunning());

    // Receiving: datagrams flow with silence, in sequence.
    QTRY_VERIFY_WITH_TIMEOUT(audioValue(sim, "received") >= 20, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(engine.levels().at(0) > 5000, 20000);
    QCOMPARE(audioValue(sim, "voiced"), 0);

    rtp.setTransmitMode(true);
    QTRY_VERIFY_WITH_TIMEOUT(audioValue(sim, "voiced") >= 50, 20000);
    rtp.setTransmitMode(false);
    const int silentBefore = audioValue(sim, "silent");
    QTRY_VERIFY_WITH_TIMEOUT(audioValue(sim, "silent") >= silentBefore + 10, 20000);
    engine.stop();

    const QMap<QString, QString> st = audioStatus(sim);
    QCOMPARE(st.value(QStringLiteral("malformed")), QStringLiteral("0"));
    QCOMPARE(st.value(QStringLiteral("seqgaps")), QStringLiteral("0"));
    QCOMPARE(st.value(QStringLiteral("tsgaps")), QStringLiteral("0"));
    QCOMPARE(st.value(QStringLiteral("ssrcchanges")), QStringLiteral("1"));

    // The first datagram after the last voiced one has a new source and is silent.
    const QList<RxLine> rx = rxLines(sim);
    int lastVoiced = -1;
    for (int i = 0; i < rx.size(); ++i) {
        if (rx[i].peak > 0)
            lastVoiced = i;
    }
    QVERIFY(lastVoiced > 0 && lastVoiced + 1 < rx.size());
    QVERIFY(rx[lastVoiced + 1].ssrc != rx[lastVoiced].ssrc);
    QCOMPARE(rx[lastVoiced + 1].peak, 0);
    QCOMPARE(rx[0].ssrc, rx[lastVoiced].ssrc);

    // The box recorded the microphone's tone.
    const QVector<qint16> tx = wavSamples(wav);
    QVector<double> voiced;
    for (qint16 v : tx)
        voiced.append(v);
    int first = 0;
    while (first < tx.size() && qAbs(int(tx[first])) < 500)
        ++first;
    const QVector<double> part = voiced.mid(first + kRate / 20, kRate / 2);
    QVERIFY(part.size() == kRate / 2);
    const double m1500 = toneMagnitude(part, 1500, kRate);
    const double m400 = toneMagnitude(part, 400, kRate);
    qInfo() << "1500 Hz:" << m1500 << "400 Hz:" << m400;
    QVERIFY2(m1500 > 2000 && m400 < 300, qPrintable(QStringLiteral("1500:%1 400:%2").arg(m1500).arg(m400)));
}

void TestAudioEngine::toneReplacesCapture()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("tone.wav"));
    SimProcess sim;
    RtpThread rtp;
    QVERIFY(startSim(sim, rtp, wav));
    TonePlayer voice(QStringLiteral("mic"), 1500);
    QVERIFY(voice.started());

    AudioThread engine;
    QVERIFY(engine.addStream(descriptor(paudio::audioIn, m_mic, rtp.inputBuffer())));
    engine.setInput(paudio::audioIn);
    engine.enableTone(true);
    QVERIFY(engine.stream(paudio::audioIn)->isToneEnabled());
    // Sending from the first datagram on, so the file starts with the tone.
    rtp.setTransmitMode(true);
    engine.launch();
    QTRY_VERIFY_WITH_TIMEOUT(audioValue(sim, "voiced") >= 20, 20000);
    engine.stop();

    QVector<qint16> tx = wavSamples(wav);
    // Silent datagrams keep the box sending until the capture starts; the
    // tone starts with the first captured datagram.
    int start = 0;
    while (start + 240 <= tx.size()
        && std::all_of(tx.cbegin() + start, tx.cbegin() + start + 240, [](qint16 v) { return v == 0; }))
        start += 240;
    tx = tx.mid(start);
    QVERIFY(tx.size() >= 20 * 240);
    QCOMPARE(int(tx[0]), 0);
    QCOMPARE(int(tx[1]), 16383);
    for (int i = 0; i < 20 * 240; ++i) {
        const int expected = int(std::trunc(std::sin(30 * (i % 12) * M_PI / 180) * 32767));
        QCOMPARE(int(tx[i]), expected);
    }
    QCOMPARE(engine.levels().at(0), 0);
}

void TestAudioEngine::activeInputOnly()
{
    TonePlayer mic(QStringLiteral("mic"), 1000);
    TonePlayer line(QStringLiteral("vcard_line"), 1200);
    QVERIFY(mic.started() && line.started());
    RtpSendBuffer micData;
    RtpSendBuffer lineData;
    micData.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    lineData.open(QIODevice::ReadWrite | QIODevice::Unbuffered);

    AudioThread engine;
    QVERIFY(engine.addStream(descriptor(paudio::audioIn, m_mic, &micData)));
    QVERIFY(engine.addStream(descriptor(paudio::audioInVirtual, m_vcardIn, &lineData)));
    engine.setInput(paudio::audioIn);
    engine.launch();
    QVERIFY(engine.stream(paudio::audioIn)->isRunning());
    QVERIFY(engine.stream(paudio::audioInVirtual)->isRunning());

    QTRY_VERIFY_WITH_TIMEOUT(
        micData.bytesAvailable() >= 4 * kFrames * 2 && engine.levels().at(0) > 5000, 20000);
    QCOMPARE(lineData.bytesAvailable(), qint64(0));
    QCOMPARE(engine.stream(paudio::audioInVirtual)->levels(), QVector<int> { 0 });

    engine.setInput(paudio::audioInVirtual);
    QTRY_VERIFY_WITH_TIMEOUT(lineData.bytesAvailable() >= 4 * kFrames * 2, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(engine.stream(paudio::audioIn)->levels(), QVector<int> { 0 }, 20000);
    const qint64 micBytes = micData.bytesAvailable();
    QTRY_VERIFY_WITH_TIMEOUT(engine.levels().at(0) > 5000, 20000);
    QCOMPARE(micData.bytesAvailable(), micBytes);

    // Nothing is captured while no input is active.
    engine.setInput(paudio::AudioType(0));
    QTRY_COMPARE_WITH_TIMEOUT(engine.stream(paudio::audioInVirtual)->levels(), QVector<int> { 0 }, 20000);
    QCOMPARE(engine.levels().at(0), 0);
    engine.removeStream(paudio::audioAll);
    QVERIFY(!engine.stream(paudio::audioIn) && !engine.stream(paudio::audioInVirtual));
}

void TestAudioEngine::failingDevicesLeaveOthersRunning()
{
    SimProcess sim;
    RtpThread rtp;
    QVERIFY(startSim(sim, rtp));
    QVERIFY(sim.run(QStringLiteral("audio target %1").arg(rtp.localPort())));

    AudioThread engine;
    // No such device; an output-only device asked to capture; a good one.
    QVERIFY(engine.addStream(descriptor(paudio::audioIn, 9999, rtp.inputBuffer())));
    QVERIFY(engine.addStream(descriptor(paudio::audioInVirtual, m_speakers, rtp.inputBuffer())));
    QVERIFY(engine.addStream(descriptor(paudio::audioOut, m_speakers, rtp.outputBuffer())));
    paudio::StreamDescriptor bad = descriptor(paudio::audioOutVirtual, m_vcardOut, rtp.outputVirtualBuffer());
    bad.params.setChannels(64);
    QVERIFY(engine.addStream(bad));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^PAudioAbstract::launch\\(\\);")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^PAudioAbstract::launch\\(\\);")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^PAudioAbstract::launch\\(\\);")));
    engine.launch();
    QVERIFY(!engine.stream(paudio::audioIn)->isRunning());
    QVERIFY(!engine.stream(paudio::audioInVirtual)->isRunning());
    QVERIFY(!engine.stream(paudio::audioOutVirtual)->isRunning());
    QVERIFY(engine.stream(paudio::audioOut)->isRunning());
    engine.setInput(paudio::audioIn);
    QTRY_VERIFY_WITH_TIMEOUT(engine.levels().at(1) > 4000, 20000);
    QCOMPARE(engine.levels().at(0), 0);
    // A second launch of a running stream does nothing.
    QVERIFY(!engine.stream(paudio::audioOut)->launch());
    engine.stop();
    QVERIFY(!engine.stream(paudio::audioOut)->isRunning());
    // Stopped streams start again.
    engine.stream(paudio::audioOut)->launch();
    QVERIFY(engine.stream(paudio::audioOut)->isRunning());
    // A rate the device refuses (the sound server takes at most 384 kHz):
    // the refusal names the device and the rate, and the speakers play on.
    engine.removeStream(paudio::audioOutVirtual);
    paudio::StreamDescriptor fast
        = descriptor(paudio::audioOutVirtual, m_vcardOut, rtp.outputVirtualBuffer());
    fast.params.setSampleRate(500000);
    QVERIFY(engine.addStream(fast));
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(QStringLiteral(
            "^PAudioAbstract::launch\\(\\); device \"e2eSoft VAudio\" refuses 500000 Hz, 2 channels: .+")));
    QVERIFY(!engine.stream(paudio::audioOutVirtual)->launch());
    QVERIFY(!engine.stream(paudio::audioOutVirtual)->isRunning());
    QVERIFY(engine.stream(paudio::audioOut)->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(engine.levels().at(1) > 4000, 20000);
    engine.removeStream(paudio::audioOut);
    QVERIFY(!engine.stream(paudio::audioOut));
}

QTEST_MAIN(TestAudioEngine)
#include "tst_audioengine.moc"
