#pragma once

// Shared by the HID simulator and the preloaded hidapi replacement, which is
// built without Qt: keep this header to the C++ standard library.
//
// One request line per connection, one answer line back:
//   enum                    -> ok <vid>:<pid>:<rel>:<path>:<manufacturer>:<product>:<serial> ...
//                              (fields in hex, strings as hex bytes)
//   open <path>             -> ok <handle> | err <text>
//   write <handle> <hex>    -> ok <count> | err <text>   (hex holds the report number byte)
//   read <handle>           -> ok <hex> | none | err <text>
//   close <handle>          -> ok
//   ctl <command>           -> ok <percent-encoded text> | err <text>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace HidSim {

constexpr const char kSocketEnv[] = "BRELKO_HID_SOCKET";

// Both sides agree on the socket when the variable is not set.
inline std::string socketPath()
{
    if (const char *env = std::getenv(kSocketEnv); env && *env)
        return env;
    if (const char *run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::string(run) + "/brelko-hid.sock";
    return "/tmp/brelko-hid-" + std::to_string(getuid()) + ".sock";
}

} // namespace HidSim
