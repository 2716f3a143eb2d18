// Settings files of any content imported into every editing tab: nothing may
// crash, and what the tabs then hold stays inside their limits.
#include "common/settings.h"
#include "configurator/connectingtab.h"
#include "configurator/ddnstab.h"
#include "configurator/ifnetworktab.h"
#include "configurator/permission.h"
#include "configurator/permitem.h"
#include "configurator/wifitab.h"
#include "fuzz/support/fuzzenv.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QSpinBox>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace brelko;
using namespace configurator;

// The application and its font cache are static and go at exit, after the
// leak check has looked: what Qt's own libraries hold then is not ours.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5Gui.so\n"
           "leak:libQt5Core.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libfontconfig.so\n";
}

namespace {
WiFiTab *g_wifi = nullptr;
IfNetworkTab *g_net = nullptr;
ConnectingTab *g_conn = nullptr;
DdnsTab *g_ddns = nullptr;
Permission *g_perm = nullptr;
int g_turn = 0;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzEnv::privateHome();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.warning=false"));
    Settings::setDefaultFile(FuzzEnv::privateHome().filePath(QStringLiteral("config.ini")));
    // Statics after the application: destroyed before it at exit.
    static WiFiTab wifi;
    static IfNetworkTab net;
    static ConnectingTab conn;
    static DdnsTab ddns;
    static Permission perm;
    g_wifi = &wifi;
    g_net = &net;
    g_conn = &conn;
    g_ddns = &ddns;
    g_perm = &perm;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The store rereads a file only when pointed at another one.
    const QString path = FuzzEnv::privateHome().filePath(QStringLiteral("import%1.ini").arg(g_turn++ & 1));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Settings::instance()->setFile(path);
    for (AbstractTab *tab : { static_cast<AbstractTab *>(g_wifi), static_cast<AbstractTab *>(g_net),
             static_cast<AbstractTab *>(g_conn), static_cast<AbstractTab *>(g_ddns),
             static_cast<AbstractTab *>(g_perm) })
        tab->loadFromSettings();
    if (g_conn->passwordEdit()->text().size() > ConnectingTab::kPasswordMaxLength)
        std::abort();
    for (int i = 0; i < 3; ++i) {
        if (g_conn->portBox(i)->value() < 0 || g_conn->portBox(i)->value() > 65535)
            std::abort();
    }
    for (int i = 0; i < Permission::kSlots; ++i) {
        const PermItem *row = g_perm->item(i);
        if (row->password().size() > PermItem::kPasswordMaxLength || row->workTime() < 1
            || row->workTime() > 9999)
            std::abort();
    }
    return 0;
}
