#pragma once

#include <hamlib/rig.h>

#include <QString>

namespace morvex {

// The functions of Hamlib this program calls, resolved at run time. Types
// come from the header, so a changed signature fails to build here; a header
// that makes rig_set_freq a macro (BUILTINFUNC) fails too.
struct HamlibApi
{
    decltype(&::rig_init) rig_init = nullptr;
    decltype(&::rig_open) rig_open = nullptr;
    decltype(&::rig_close) rig_close = nullptr;
    decltype(&::rig_cleanup) rig_cleanup = nullptr;
    decltype(&::rig_get_caps) rig_get_caps = nullptr;
    decltype(&::rig_list_foreach) rig_list_foreach = nullptr;
    decltype(&::rig_load_all_backends) rig_load_all_backends = nullptr;
    decltype(&::rig_set_debug) rig_set_debug = nullptr;
    decltype(&::rig_set_cache_timeout_ms) rig_set_cache_timeout_ms = nullptr;
    decltype(&::rig_get_freq) rig_get_freq = nullptr;
    decltype(&::rig_set_freq) rig_set_freq = nullptr;
    decltype(&::rig_get_mode) rig_get_mode = nullptr;
    decltype(&::rig_set_mode) rig_set_mode = nullptr;
    decltype(&::rig_get_split_mode) rig_get_split_mode = nullptr;
    decltype(&::rig_set_split_mode) rig_set_split_mode = nullptr;
    decltype(&::rig_get_vfo) rig_get_vfo = nullptr;
    decltype(&::rig_set_vfo) rig_set_vfo = nullptr;
    decltype(&::rig_get_split_vfo) rig_get_split_vfo = nullptr;
    decltype(&::rig_set_split_vfo) rig_set_split_vfo = nullptr;
    decltype(&::rig_get_split_freq) rig_get_split_freq = nullptr;
    decltype(&::rig_set_split_freq) rig_set_split_freq = nullptr;
    decltype(&::rig_has_get_level) rig_has_get_level = nullptr;
    decltype(&::rig_has_set_level) rig_has_set_level = nullptr;
    decltype(&::rig_get_level) rig_get_level = nullptr;
    decltype(&::rig_set_level) rig_set_level = nullptr;
    decltype(&::rig_get_ptt) rig_get_ptt = nullptr;
    decltype(&::rig_set_ptt) rig_set_ptt = nullptr;
    decltype(&::rig_get_powerstat) rig_get_powerstat = nullptr;
    decltype(&::rig_set_powerstat) rig_set_powerstat = nullptr;
    decltype(&::rig_parse_mode) rig_parse_mode = nullptr;
    decltype(&::rig_parse_vfo) rig_parse_vfo = nullptr;
    decltype(&::rig_parse_level) rig_parse_level = nullptr;
    decltype(&::rig_strrmode) rig_strrmode = nullptr;
    decltype(&::rig_strrmodes) rig_strrmodes = nullptr;
    decltype(&::rig_strvfo) rig_strvfo = nullptr;
    decltype(&::rig_strstatus) rig_strstatus = nullptr;
    decltype(&::rigerror2) rigerror2 = nullptr;
    // A variable, not a function: the address of Hamlib's pointer.
    decltype(&::hamlib_version2) hamlib_version2 = nullptr;
};

// Hamlib, opened at run time by the first caller that needs it rather than
// mapped at start: with rig control off it would only take memory. Types
// and constants still come from Hamlib's header; every call goes through the
// table of functions resolved here. Safe to call from any thread.
class HamlibLibrary final
{
public:
    HamlibLibrary() = delete;

    // Hamlib's functions, the library loaded and its backends registered on
    // the first call; null when it cannot be loaded (said once in the log).
    static const HamlibApi *api();
    // Why the library could not be loaded; empty when it was, or before
    // anything asked for it.
    static QString error();
    // The file handed to dlopen: the SONAME of the library the build found
    // unless set otherwise before the first api() call.
    static QString fileName();
    static void setFileName(const QString &name);
};

} // namespace morvex
