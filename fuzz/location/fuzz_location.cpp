// Arbitrary location files ("*.brelkonet") read by the Network tab: the pure
// reading must agree with what QSettings holds, and the tab must end with
// values its widgets can show.
#include "client/prefs/networktab.h"
#include "fuzz/support/fuzzwidgetapp.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

#include <cstdint>
#include <cstdlib>

using namespace morvex;

namespace {
NetworkTab *g_tab = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzWidgetApp::start(argc, argv);
    g_tab = new NetworkTab;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A new name each time: QSettings caches files by name and time stamp.
    static quint64 serial = 0;
    const QString path = FuzzEnv::privateHome().filePath(QStringLiteral("loc%1.brelkonet").arg(++serial));
    {
        QFile f(path);
        FuzzEnv::check(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    const NetworkTab::Location loc = NetworkTab::readLocationFile(path);
    {
        QSettings ini(path, QSettings::IniFormat);
        FuzzEnv::check(loc.address.has_value() == ini.contains(QStringLiteral("NetworkAddr")));
        FuzzEnv::check(loc.password.has_value() == ini.contains(QStringLiteral("NetworkPass")));
        if (loc.cmdPort)
            FuzzEnv::check(
                ini.value(QStringLiteral("NetworkCmdPort")).toString().trimmed().toInt() == *loc.cmdPort);
    }

    NetworkTab &tab = *g_tab;
    const QString addressBefore = tab.address();
    // Twice: the second read starts from the values the first one left.
    tab.openFile(path);
    tab.openFile(path);
    FuzzEnv::check(tab.address() == (loc.address ? *loc.address : addressBefore));
    for (const QSpinBox *box : { tab.cmdPortBox(), tab.rtpPortBox(), tab.pttCwPortBox() })
        FuzzEnv::check(box->value() >= 0 && box->value() <= 65535);
    if (loc.cmdPort && *loc.cmdPort >= 0 && *loc.cmdPort <= 65535)
        FuzzEnv::check(tab.cmdPort() == *loc.cmdPort);
    // The label always shows what the slider holds.
    FuzzEnv::check(tab.txBuffering() >= 200 && tab.txBuffering() <= 1000 && tab.txBuffering() % 20 == 0);
    FuzzEnv::check(tab.bufferLabelText() == QString::number(tab.txBuffering()));

    QFile::remove(path);
    return 0;
}
