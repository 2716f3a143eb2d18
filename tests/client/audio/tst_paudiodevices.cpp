#include "client/audio/paudioabstract.h"
#include "client/audio/paudiodevices.h"
#include "tests/client/audio/audiodevicetestutil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <cmath>

using namespace morvex;

namespace {
// Endless stereo 12000 Hz sine, as a jitter buffer hands out frames.
class ToneSource final : public QIODevice
{
public:
    explicit ToneSource(double hz)
        : m_step(2 * M_PI * hz / 12000)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxlen) override
    {
        const qint64 frames = maxlen / 4;
        for (qint64 f = 0; f < frames; ++f) {
            const auto v = qint16(10000 * std::sin(m_step * double(m_n++)));
            qToLittleEndian<qint16>(v, data + 4 * f);
            qToLittleEndian<qint16>(v, data + 4 * f + 2);
        }
        return frames * 4;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    double m_step;
    qint64 m_n = 0;
};

// Amplitude of hz in the left channel of 12000 Hz stereo (Goertzel).
double toneLevel(const QByteArray &pcm, double hz)
{
    const int frames = pcm.size() / 4;
    const double c = 2 * std::cos(2 * M_PI * hz / 12000);
    double s1 = 0;
    double s2 = 0;
    for (int f = 0; f < frames; ++f) {
        const double s0 = qFromLittleEndian<qint16>(pcm.constData() + 4 * f) + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return frames ? 2 * std::sqrt(qMax(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / frames : 0;
}

// The tone played on an output device with 20 ms buffers.
paudio::StreamDescriptor toneOutput(int device, QIODevice *tone, double latency)
{
    paudio::StreamDescriptor d = audiodevicetest::descriptor(paudio::audioOut, device, tone);
    d.params.setFramesPerBuffer(240);
    d.params.setSuggestedLatency(latency);
    return d;
}

// ALSA plugin modules mapped into this process.
QStringList loadedSoundPlugins()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return { QStringLiteral("cannot read /proc/self/maps") };
    QStringList found;
    const QRegularExpression module(QStringLiteral("libasound_module_\\w+\\.so"));
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString name = module.match(QString::fromLocal8Bit(line)).captured();
        if (!name.isEmpty() && !found.contains(name))
            found << name;
    }
    return found;
}
} // namespace

// Runs on the virtual devices of scripts/audio-env.sh.
class TestPAudioDevices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namedDevicesWithDirections_data();
    void namedDevicesWithDirections();
    void everyDeviceHasTheFixedRates();
    void defaults();
    void duplexListedBothWays();
    void listingLeavesNoIdlePlugin();
    void duplexOutputPlays();
    void deviceVanishesMidStream();

private:
    QList<paudio::DeviceRecord> m_devices;
};

void TestPAudioDevices::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "run under scripts/with-test-env.sh (virtual audio devices)");
    m_devices = PAudioDevices::deviceList();
    QVERIFY(!m_devices.isEmpty());
}

void TestPAudioDevices::namedDevicesWithDirections_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("input");
    QTest::newRow("microphone") << "Microphone" << true;
    QTest::newRow("speakers") << "Speakers" << false;
    QTest::newRow("virtual card output") << "e2eSoft VAudio" << false;
    QTest::newRow("virtual card input") << "e2eSoft VAudio Line in" << true;
}

// A duplex device is an input and an output of the same index.
void TestPAudioDevices::duplexListedBothWays()
{
    for (const QString &name : { QStringLiteral("Headset"), QStringLiteral("default") }) {
        QList<int> in, out;
        for (const paudio::DeviceRecord &d : qAsConst(m_devices)) {
            if (d.name == name)
                (d.isInput ? in : out) << d.index;
        }
        QCOMPARE(in.size(), 1);
        QCOMPARE(out, in);
    }
}

// Listing opens every device, and the plugins that loaded for it stay while
// PortAudio is in use; a running stream keeps only its own.
void TestPAudioDevices::listingLeavesNoIdlePlugin()
{
    // PortAudio alone leaves them loaded.
    QCOMPARE(Pa_Initialize(), paNoError);
    const QStringList plain = loadedSoundPlugins();
    Pa_Terminate();
    qInfo() << "loaded by a plain listing:" << plain;
    if (plain.size() < 2)
        QSKIP("listing loads no idle ALSA plugin on this machine");

    const int speakers = audiodevicetest::findDevice(QStringLiteral("Speakers"), false);
    QVERIFY(speakers >= 0);
    ToneSource tone(600);
    const paudio::StreamDescriptor d = toneOutput(speakers, &tone, 0.04);
    PAudioAbstract out(d, nullptr);
    QVERIFY(out.launch());
    QTRY_VERIFY_WITH_TIMEOUT(out.levels().value(0) > 0, 5000);
    // A listing while it plays changes nothing.
    QCOMPARE(PAudioDevices::deviceList().size(), m_devices.size());
    QCOMPARE(loadedSoundPlugins(), QStringList { QStringLiteral("libasound_module_pcm_pulse.so") });
    out.stop();
}

void TestPAudioDevices::duplexOutputPlays()
{
    const int headset = audiodevicetest::findDevice(QStringLiteral("Headset"), false);
    QVERIFY(headset >= 0);

    QProcess rec;
    rec.start(QStringLiteral("parec"),
        { QStringLiteral("-d"), QStringLiteral("headset.monitor"), QStringLiteral("--rate=12000"),
            QStringLiteral("--channels=2"), QStringLiteral("--format=s16le"), QStringLiteral("--raw"),
            QStringLiteral("--latency-msec=20") });
    QVERIFY(rec.waitForStarted(5000));

    ToneSource tone(600);
    const paudio::StreamDescriptor d = toneOutput(headset, &tone, 0.04);
    PAudioAbstract out(d, nullptr);
    out.setOutputMode(paudio::Stereo);
    QVERIFY(out.launch());
    QByteArray pcm;
    QTRY_VERIFY_WITH_TIMEOUT((pcm += rec.readAllStandardOutput(), pcm.size() >= 4 * 12000 * 2), 10000);
    out.stop();
    rec.kill();
    rec.waitForFinished(5000);
    // The last second: the tone at its level, nothing of another.
    const QByteArray last = pcm.right(4 * 12000);
    const double at600 = toneLevel(last, 600);
    QVERIFY2(at600 > 8000, qPrintable(QString::number(at600)));
    QVERIFY2(toneLevel(last, 900) < 100, qPrintable(QString::number(toneLevel(last, 900))));
}

void TestPAudioDevices::namedDevicesWithDirections()
{
    QFETCH(QString, name);
    QFETCH(bool, input);
    int hits = 0;
    for (const paudio::DeviceRecord &d : qAsConst(m_devices)) {
        if (d.name != name)
            continue;
        ++hits;
        QCOMPARE(d.isInput, input);
        QVERIFY(d.channels >= 1);
        QVERIFY(d.index >= 0);
        QVERIFY(!d.hostApi.isEmpty());
    }
    QCOMPARE(hits, 1);
}

void TestPAudioDevices::everyDeviceHasTheFixedRates()
{
    const QList<double> rates { 8000, 9600, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200,
        96000, 192000 };
    for (const paudio::DeviceRecord &d : qAsConst(m_devices))
        QCOMPARE(d.sampleRates, rates);
}

void TestPAudioDevices::defaults()
{
    bool inFound = false, outFound = false;
    const paudio::DeviceRecord in = PAudioDevices::defaultInputDevice(&inFound);
    const paudio::DeviceRecord out = PAudioDevices::defaultOutputDevice(&outFound);
    QVERIFY(inFound);
    QVERIFY(outFound);
    QVERIFY(in.isInput && in.isDefault);
    // The sound server's default device is duplex: the same device both ways.
    QVERIFY(out.index >= 0);
    QVERIFY(!out.isInput && out.isDefault);
    QCOMPARE(out.index, in.index);
}

namespace {
QString pactl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString vanishModule()
{
    for (const QString &line :
        pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules") }).split('\n')) {
        if (line.contains(QLatin1String("sink_name=vanish")))
            return line.section('\t', 0, 0);
    }
    return QString();
}
} // namespace

// The sound server's sink goes away while the stream plays (a USB device
// pulled out): the program neither hangs nor crashes, stops at once, and
// plays again once the device is back.
void TestPAudioDevices::deviceVanishesMidStream()
{
    const int index = audiodevicetest::findDevice(QStringLiteral("Vanishing"), false);
    QVERIFY(index >= 0);
    QVERIFY(!vanishModule().isEmpty());

    ToneSource tone(600);
    const paudio::StreamDescriptor d = toneOutput(index, &tone, 0.02);
    PAudioAbstract out(d, nullptr);
    QVERIFY(out.launch());
    QTRY_VERIFY_WITH_TIMEOUT(out.levels().value(0) > 5000, 5000);

    pactl({ QStringLiteral("unload-module"), vanishModule() });
    QTRY_VERIFY_WITH_TIMEOUT(vanishModule().isEmpty(), 5000);
    QTest::qWait(500);
    QElapsedTimer t;
    t.start();
    out.stop();
    QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!out.isRunning());

    pactl({ QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
        QStringLiteral("sink_name=vanish"), QStringLiteral("rate=48000"),
        QStringLiteral("sink_properties=device.description=vanish") });
    QTRY_VERIFY_WITH_TIMEOUT(!vanishModule().isEmpty(), 5000);
    PAudioAbstract again(d, nullptr);
    QVERIFY(again.launch());
    QTRY_VERIFY_WITH_TIMEOUT(again.levels().value(0) > 5000, 5000);
    again.stop();
}

QTEST_GUILESS_MAIN(TestPAudioDevices)
#include "tst_paudiodevices.moc"
