// Settings files of any content under Morvex's preference tabs: whatever the
// file holds, each tab ends with values its widgets can show, and what the
// tabs write back reads back to the same state.
#include "client/prefs/audiotab.h"
#include "client/prefs/languagetab.h"
#include "client/prefs/networktab.h"
#include "client/prefs/serialtab.h"
#include "common/settings.h"
#include "fuzz/support/fuzzwidgetapp.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSlider>
#include <QSpinBox>

#include <cstddef>
#include <cstdint>

using namespace brelko;
using namespace morvex;

namespace {
struct Tabs
{
    NetworkTab network;
    SerialTab serial;
    LanguageTab language;
    AudioTab audio { nullptr,
        [] {
            // Enumerating the sound system for every input would be
            // all the target does; the list is what matters here.
            QList<paudio::DeviceRecord> list;
            const char *names[] = { "Microphone", "Speakers", "e2eSoft VAudio", "e2eSoft VAudio Line in" };
            for (int i = 0; i < 4; ++i) {
                paudio::DeviceRecord r;
                r.index = i;
                r.isInput = i == 0 || i == 3;
                r.channels = 2;
                r.defaultSampleRate = 48000;
                r.hostApi = QStringLiteral("ALSA");
                r.name = QString::fromLatin1(names[i]);
                list << r;
            }
            return list;
        } };

    QList<AbstractTab *> all() { return { &network, &serial, &language, &audio }; }

    QStringList state() const
    {
        return { network.address(), network.password(), QString::number(network.txBuffering()),
            QString::number(network.cmdPort()), QString::number(network.rtpPort()),
            QString::number(network.pttCwPort()), serial.portNames().join(QLatin1Char(',')),
            language.language(), QString::number(language.autoRun()), QString::number(audio.inputDevice()),
            QString::number(audio.outputDevice()), QString::number(audio.sampleRate()),
            QString::number(audio.codec()), QString::number(audio.rxBuffering()) };
    }

    void checkShowable() const
    {
        for (const QSpinBox *box : { network.cmdPortBox(), network.rtpPortBox(), network.pttCwPortBox() })
            FuzzEnv::check(box->value() >= 0 && box->value() <= 65535);
        FuzzEnv::check(
            network.txBuffering() >= 200 && network.txBuffering() <= 1000 && network.txBuffering() % 20 == 0);
        FuzzEnv::check(network.bufferLabelText() == QString::number(network.txBuffering()));
        for (int i = 0; i < SerialTab::kPorts; ++i)
            FuzzEnv::check(serial.combo(i)->currentIndex() >= 0);
        FuzzEnv::check(language.languageCombo()->currentIndex() >= 0);
        const QSlider *buf = audio.bufferSlider();
        FuzzEnv::check(buf->value() >= buf->minimum() && buf->value() <= buf->maximum());
        FuzzEnv::check(audio.sampleRate() > 0);
    }
};

Tabs *g_tabs = nullptr;

// QSettings reloads a file only when its size or time stamp changed: give
// every input a time stamp of its own.
void reloadFrom(const QByteArray &content)
{
    static qint64 turn = 0;
    Settings *s = Settings::instance();
    const QString path = s->fileName();
    QDir().mkpath(QFileInfo(path).path());
    {
        QFile f(path);
        FuzzEnv::check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        FuzzEnv::check(f.setFileTime(
            QDateTime::fromSecsSinceEpoch(1000000000 + ++turn), QFileDevice::FileModificationTime));
    }
    s->sync();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzWidgetApp::start(argc, argv);
    g_tabs = new Tabs;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Tabs &tabs = *g_tabs;
    reloadFrom(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    for (AbstractTab *tab : tabs.all())
        tab->loadSettings();
    tabs.checkShowable();

    const QStringList loaded = tabs.state();
    for (AbstractTab *tab : tabs.all())
        tab->saveSettings();
    Settings::instance()->sync();
    for (AbstractTab *tab : tabs.all())
        tab->loadSettings();
    FuzzEnv::check(tabs.state() == loaded);
    return 0;
}
