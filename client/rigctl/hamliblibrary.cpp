#include "client/rigctl/hamliblibrary.h"

#include <QDebug>
#include <QFile>
#include <QMutex>

#include <dlfcn.h>

#ifndef MORVEX_HAMLIB_SONAME
#define MORVEX_HAMLIB_SONAME "libhamlib.so.4"
#endif

namespace morvex {

namespace {

struct State
{
    QMutex mutex;
    QString fileName = QStringLiteral(MORVEX_HAMLIB_SONAME);
    bool tried = false;
    bool loaded = false;
    QString error;
    HamlibApi api;
};

State &state()
{
    static State s;
    return s;
}

template<typename T>
bool resolve(void *handle, const char *name, T &slot, QString *missing)
{
    slot = reinterpret_cast<T>(::dlsym(handle, name));
    if (!slot && missing->isEmpty())
        *missing = QString::fromLatin1(name);
    return slot != nullptr;
}

bool resolveAll(void *h, HamlibApi &a, QString *missing)
{
#define MORVEX_RESOLVE(name) ok = resolve(h, #name, a.name, missing) && ok
    bool ok = true;
    MORVEX_RESOLVE(rig_init);
    MORVEX_RESOLVE(rig_open);
    MORVEX_RESOLVE(rig_close);
    MORVEX_RESOLVE(rig_cleanup);
    MORVEX_RESOLVE(rig_get_caps);
    MORVEX_RESOLVE(rig_list_foreach);
    MORVEX_RESOLVE(rig_load_all_backends);
    MORVEX_RESOLVE(rig_set_debug);
    MORVEX_RESOLVE(rig_set_cache_timeout_ms);
    MORVEX_RESOLVE(rig_get_freq);
    MORVEX_RESOLVE(rig_set_freq);
    MORVEX_RESOLVE(rig_get_mode);
    MORVEX_RESOLVE(rig_set_mode);
    MORVEX_RESOLVE(rig_get_split_mode);
    MORVEX_RESOLVE(rig_set_split_mode);
    MORVEX_RESOLVE(rig_get_vfo);
    MORVEX_RESOLVE(rig_set_vfo);
    MORVEX_RESOLVE(rig_get_split_vfo);
    MORVEX_RESOLVE(rig_set_split_vfo);
    MORVEX_RESOLVE(rig_get_split_freq);
    MORVEX_RESOLVE(rig_set_split_freq);
    MORVEX_RESOLVE(rig_has_get_level);
    MORVEX_RESOLVE(rig_has_set_level);
    MORVEX_RESOLVE(rig_get_level);
    MORVEX_RESOLVE(rig_set_level);
    MORVEX_RESOLVE(rig_get_ptt);
    MORVEX_RESOLVE(rig_set_ptt);
    MORVEX_RESOLVE(rig_get_powerstat);
    MORVEX_RESOLVE(rig_set_powerstat);
    MORVEX_RESOLVE(rig_parse_mode);
    MORVEX_RESOLVE(rig_parse_vfo);
    MORVEX_RESOLVE(rig_parse_level);
    MORVEX_RESOLVE(rig_strrmode);
    MORVEX_RESOLVE(rig_strrmodes);
    MORVEX_RESOLVE(rig_strvfo);
    MORVEX_RESOLVE(rig_strstatus);
    MORVEX_RESOLVE(rigerror2);
    MORVEX_RESOLVE(hamlib_version2);
#undef MORVEX_RESOLVE
    return ok;
}

void load(State &s)
{
    s.tried = true;
    const QByteArray file = QFile::encodeName(s.fileName);
    // Never closed: Hamlib keeps global state (its backend table) for the
    // life of the process.
    void *handle = ::dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = ::dlerror();
        s.error = why ? QString::fromLocal8Bit(why) : QStringLiteral("unknown error");
    } else {
        HamlibApi api;
        QString missing;
        if (resolveAll(handle, api, &missing)) {
            s.api = api;
            s.loaded = true;
        } else {
            s.error = QStringLiteral("%1 lacks %2").arg(s.fileName, missing);
            ::dlclose(handle);
        }
    }
    if (!s.loaded) {
        qWarning().noquote()
            << QStringLiteral("Rig control: cannot load Hamlib (%1): %2").arg(s.fileName, s.error);
        return;
    }
    // Our own lines say what failed; Hamlib's trace would flood stderr.
    s.api.rig_set_debug(RIG_DEBUG_NONE);
    // The backends go into a global table: filled once, here, before any
    // thread looks a model up, so later look-ups only read it.
    s.api.rig_load_all_backends();
}

} // namespace

const HamlibApi *HamlibLibrary::api()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    if (!s.tried)
        load(s);
    return s.loaded ? &s.api : nullptr;
}

QString HamlibLibrary::error()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.error;
}

QString HamlibLibrary::fileName()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.fileName;
}

void HamlibLibrary::setFileName(const QString &name)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    if (s.tried) {
        qWarning().noquote() << "Rig control: Hamlib was already looked for as" << s.fileName;
        return;
    }
    s.fileName = name;
}

} // namespace morvex
