#include "client/app/mainwindow.h"
#include "client/audio/paudio.h"
#include "client/controller/window.h"
#include "client/link/clientrif.h"
#include "client/prefs/abstracttab.h"
#include "client/prefs/preferences.h"
#include "common/brelkoversion.h"
#include "common/settings.h"
#include "tests/support/simprocess.h"
#include "tests/support/sinkrecorder.h"

#include <QAction>
#include <QLoggingCategory>
#include <QProcess>
#include <QRadioButton>
#include <QtEndian>
#include <QtTest>

#include <cmath>

using namespace brelko;
using namespace morvex;

// The receiver selection shown in the station controller against what the
// speakers play: the simulated box sends 400 Hz as Main RX (left) and 700 Hz
// as Sub RX (right); the speakers' sink is recorded through its monitor.
class TestMorvexAudioSelection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void selectionShownIsPlayed();

private:
    Window *w() const { return Window::instance(); }
    void startWindow();
    QString shown() const;
    // Checks what the speakers play now: the main tone on the left, the sub
    // tone on the right, or one of them on both.
    void expectPlayed(paudio::OutputMode mode, const char *when);

    SimProcess m_sim;
    MainWindow *m_main = nullptr;
};

namespace {
// What the tone monitor logged.
QStringList g_monitorLog;
QtMessageHandler g_previousHandler = nullptr;
void keepMonitorLog(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (context.category && qstrcmp(context.category, "selfcontrol") == 0)
        g_monitorLog << msg;
    if (g_previousHandler)
        g_previousHandler(type, context, msg);
}

constexpr int kWait = 30000;
constexpr int kRate = 12000;
constexpr double kMainHz = 400;
constexpr double kSubHz = 700;

class SpeakerRecorder : public SinkRecorder
{
public:
    // Records until done() says so for what came in, or ms have passed.
    template<typename Done>
    void recordUntil(Done done, int ms)
    {
        clear();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QTest::qWait(50);
            poll();
            if (done())
                return;
        }
    }
    // Amplitude of one frequency in one channel over the last count frames (Goertzel).
    double tone(int channel, double hz, int count) const
    {
        const int first = frames() - count;
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
} // namespace

void TestMorvexAudioSelection::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (scripts/with-test-env.sh)");
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "no virtual sound devices: run under scripts/with-test-env.sh");
    QVERIFY2(!QStandardPaths::findExecutable("parec").isEmpty(), "parec is needed");
    QVERIFY2(m_sim.start(), qPrintable(m_sim.lastError()));
    QVERIFY(m_sim.run(QStringLiteral("audio tone %1 %2").arg(kMainHz).arg(kSubHz)));
    QCoreApplication::setApplicationName("Morvex");
    QCoreApplication::setOrganizationName("Zentrik Ltd.");
    QCoreApplication::setApplicationVersion(BRELKO_VERSION);
    qRegisterMetaType<paudio::OutputMode>("paudio::OutputMode");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");

    QLoggingCategory::setFilterRules(QStringLiteral("selfcontrol.debug=true"));
    g_previousHandler = qInstallMessageHandler(keepMonitorLog);

    Settings *s = Settings::instance();
    QFile::remove(s->fileName());
    s->setValue(Settings::Language, Settings::General, "English");
    s->setValue(Settings::NetworkAddr, Settings::Network, "127.0.0.1");
    s->setValue(Settings::NetworkPass, Settings::Network, "brelko");
    s->setValue(Settings::NetworkCmdPort, Settings::Network, m_sim.tcpPort());
    s->setValue(Settings::NetworkRtpPort, Settings::Network, m_sim.audioPort());
    s->setValue(Settings::NetworkPttCwPort, Settings::Network, m_sim.keyingPort());
    for (Settings::Key k : { Settings::Serial_1, Settings::Serial_2, Settings::Serial_3, Settings::Serial_4,
             Settings::Serial_5 })
        s->setValue(k, Settings::Serial, "None");
    s->setValue(Settings::AudioInput, Settings::Audio, "Microphone");
    s->setValue(Settings::AudioOutput, Settings::Audio, "Speakers");
    s->sync();
}

void TestMorvexAudioSelection::cleanupTestCase()
{
    qInstallMessageHandler(g_previousHandler);
    delete m_main;
    m_sim.stop();
}

void TestMorvexAudioSelection::startWindow()
{
    m_main = new MainWindow;
    m_main->show();
    QTRY_VERIFY_WITH_TIMEOUT(w() && w()->connection()->isConnected(), kWait);
}

// What the station controller shows: its radio buttons and the checked
// action must agree.
QString TestMorvexAudioSelection::shown() const
{
    QString radio;
    for (QRadioButton *b : w()->findChildren<QRadioButton *>()) {
        if (b->isChecked())
            radio = b->text();
    }
    QString action;
    for (QAction *a : w()->findChildren<QAction *>()) {
        if (a->isCheckable() && a->isChecked() && a->text().contains(QStringLiteral("RX")))
            action = a->text();
    }
    return radio == action ? radio : radio + QStringLiteral(" / ") + action;
}

void TestMorvexAudioSelection::expectPlayed(paudio::OutputMode mode, const char *when)
{
    SpeakerRecorder rec;
    QVERIFY(rec.start());
    const int count = kRate / 2;
    // The last half second, once a second has gone (the buffering and the
    // device's latency) and a tone is heard, or the time is up.
    rec.recordUntil(
        [&] {
            return rec.frames() >= 2 * count
                && qMax(rec.tone(0, kMainHz, count), rec.tone(0, kSubHz, count)) > 6000;
        },
        kWait);
    QVERIFY2(rec.frames() > count, when);
    const double lMain = rec.tone(0, kMainHz, count);
    const double lSub = rec.tone(0, kSubHz, count);
    const double rMain = rec.tone(1, kMainHz, count);
    const double rSub = rec.tone(1, kSubHz, count);
    const QString why = QStringLiteral("%1: left %2 Hz %3, %4 Hz %5; right %2 Hz %6, %4 Hz %7")
                            .arg(QLatin1String(when))
                            .arg(kMainHz)
                            .arg(lMain, 0, 'f', 0)
                            .arg(kSubHz)
                            .arg(lSub, 0, 'f', 0)
                            .arg(rMain, 0, 'f', 0)
                            .arg(rSub, 0, 'f', 0);
    qInfo().noquote() << why;
    const bool leftMain = mode != paudio::SubRx;
    const bool rightMain = mode == paudio::MainRx;
    const double leftWanted = leftMain ? lMain : lSub;
    const double leftOther = leftMain ? lSub : lMain;
    const double rightWanted = rightMain ? rMain : rSub;
    const double rightOther = rightMain ? rSub : rMain;
    QVERIFY2(leftWanted > 4000 && rightWanted > 4000, qPrintable(why));
    QVERIFY2(leftOther < leftWanted / 20 && rightOther < rightWanted / 20, qPrintable(why));
}

void TestMorvexAudioSelection::selectionShownIsPlayed()
{
    // No stored selection: Main RX, shown and played.
    startWindow();
    QCOMPARE(shown(), QStringLiteral("Main RX"));
    expectPlayed(paudio::MainRx, "at start");
    // The tone monitor follows the output's format, with its 900 Hz tone.
    for (const char *line : { "Set sample rate: 12000", "Set number of channels: 2",
             "Set number of samples in buffer: 240", "Set tone frequency: 900" })
        QVERIFY2(g_monitorLog.contains(QLatin1String(line)), qPrintable(g_monitorLog.join('\n')));

    // The operator picks Sub RX; an Audio apply rebuilds the streams.
    QRadioButton *sub = nullptr;
    QRadioButton *both = nullptr;
    for (QRadioButton *b : w()->findChildren<QRadioButton *>()) {
        if (b->text() == QLatin1String("Sub RX"))
            sub = b;
        else if (b->text() == QLatin1String("Main+Sub RX"))
            both = b;
    }
    QVERIFY(sub && both);
    QTest::mouseClick(sub, Qt::LeftButton);
    QCOMPARE(shown(), QStringLiteral("Sub RX"));
    expectPlayed(paudio::SubRx, "after choosing Sub RX");
    emit w()->preferences()->apply(AbstractTab::Audio);
    QCOMPARE(shown(), QStringLiteral("Sub RX"));
    expectPlayed(paudio::SubRx, "after an Audio apply");
    emit w()->preferences()->apply(AbstractTab::Network);
    QTRY_VERIFY_WITH_TIMEOUT(w()->connection()->isConnected(), kWait);
    QCOMPARE(shown(), QStringLiteral("Sub RX"));
    expectPlayed(paudio::SubRx, "after a Network apply");

    // Both receivers, then a restart with the same settings.
    QTest::mouseClick(both, Qt::LeftButton);
    QCOMPARE(shown(), QStringLiteral("Main+Sub RX"));
    QCOMPARE(Settings::instance()->value(Settings::OutputMode, Settings::Audio).toInt(), int(paudio::Stereo));
    delete m_main;
    m_main = nullptr;
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.statusValue("loggedin"), 0, kWait);
    startWindow();
    QCOMPARE(shown(), QStringLiteral("Main+Sub RX"));
    expectPlayed(paudio::Stereo, "after a restart");
}

QTEST_MAIN(TestMorvexAudioSelection)
#include "tst_morvex_audiosel.moc"
