// hidapi replacement that reaches the simulated Brelko over a Unix socket.
// Preload it (LD_PRELOAD) into a program linking the system hidapi; every
// call below then goes to the simulator named by BRELKO_HID_SOCKET.

#include "sim/hid/hidsimprotocol.h"

#include <hidapi.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#define BRELKOSIM_EXPORT extern "C" __attribute__((visibility("default")))

struct hid_device_
{
    long handle = 0;
    std::string path;
    std::wstring manufacturer;
    std::wstring product;
    std::wstring serial;
    std::wstring error;
};

namespace {
std::mutex g_errorLock;
std::wstring g_error;

void setGlobalError(const std::string &text)
{
    std::lock_guard<std::mutex> lock(g_errorLock);
    g_error.assign(text.begin(), text.end());
}

std::wstring widen(const std::string &s)
{
    std::wstring w;
    for (unsigned char c : s)
        w.push_back(wchar_t(c));
    return w;
}

std::string toHex(const unsigned char *data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string fromHex(const std::string &hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int hi = hexValue(hex[i]), lo = hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out.push_back(char(hi * 16 + lo));
    }
    return out;
}

// One request line, one answer line; false when the simulator is unreachable.
bool transact(const std::string &request, std::string *answer)
{
    const std::string path = HidSim::socketPath();
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        *answer = "err socket path too long";
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *answer = "err socket: " + std::string(std::strerror(errno));
        return false;
    }
    timeval tv { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        *answer = "err no simulator at " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    const std::string line = request + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            *answer = "err send failed";
            ::close(fd);
            return false;
        }
        sent += size_t(n);
    }
    std::string in;
    char buf[4096];
    while (in.find('\n') == std::string::npos) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *answer = "err no answer from the simulator";
            ::close(fd);
            return false;
        }
        in.append(buf, size_t(n));
    }
    ::close(fd);
    *answer = in.substr(0, in.find('\n'));
    return true;
}

bool startsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t end = s.find(sep, start);
        if (end == std::string::npos) {
            out.push_back(s.substr(start));
            break;
        }
        out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

wchar_t *wideDup(const std::string &s)
{
    const std::wstring w = widen(s);
    auto *out = static_cast<wchar_t *>(std::calloc(w.size() + 1, sizeof(wchar_t)));
    if (out)
        std::wmemcpy(out, w.c_str(), w.size());
    return out;
}

int copyWide(const std::wstring &src, wchar_t *dst, size_t maxlen)
{
    if (!dst || maxlen == 0)
        return -1;
    const size_t n = std::min(src.size(), maxlen - 1);
    std::wmemcpy(dst, src.c_str(), n);
    dst[n] = L'\0';
    return 0;
}
} // namespace

BRELKOSIM_EXPORT int hid_init(void)
{
    return 0;
}

BRELKOSIM_EXPORT int hid_exit(void)
{
    return 0;
}

BRELKOSIM_EXPORT struct hid_device_info *hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    std::string answer;
    if (!transact("enum", &answer) || !startsWith(answer, "ok")) {
        setGlobalError(answer);
        return nullptr;
    }
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    const std::vector<std::string> entries = split(answer, ' ');
    for (size_t i = 1; i < entries.size(); ++i) {
        const std::vector<std::string> f = split(entries[i], ':');
        if (f.size() != 7)
            continue;
        const auto vid = static_cast<unsigned short>(std::strtoul(f[0].c_str(), nullptr, 16));
        const auto pid = static_cast<unsigned short>(std::strtoul(f[1].c_str(), nullptr, 16));
        if ((vendor_id && vid != vendor_id) || (product_id && pid != product_id))
            continue;
        auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        if (!info)
            break;
        info->path = strdup(fromHex(f[3]).c_str());
        info->vendor_id = vid;
        info->product_id = pid;
        info->release_number = static_cast<unsigned short>(std::strtoul(f[2].c_str(), nullptr, 16));
        info->manufacturer_string = wideDup(fromHex(f[4]));
        info->product_string = wideDup(fromHex(f[5]));
        info->serial_number = wideDup(fromHex(f[6]));
        info->usage_page = 0xFF00;
        info->usage = 0x0001;
        info->interface_number = 0;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

BRELKOSIM_EXPORT void hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs->serial_number);
        std::free(devs);
        devs = next;
    }
}

BRELKOSIM_EXPORT hid_device *hid_open_path(const char *path)
{
    if (!path) {
        setGlobalError("no path");
        return nullptr;
    }
    std::string answer;
    if (!transact(std::string("open ") + path, &answer) || !startsWith(answer, "ok ")) {
        setGlobalError(answer);
        // As the real library leaves it after open(2) on a node without rights.
        errno = answer == "err denied" ? EACCES : ENOENT;
        return nullptr;
    }
    auto *dev = new hid_device_;
    dev->handle = std::strtol(answer.c_str() + 3, nullptr, 10);
    dev->path = path;
    // Keep the strings of the device for the hid_get_*_string calls.
    if (hid_device_info *all = hid_enumerate(0, 0)) {
        for (hid_device_info *d = all; d; d = d->next) {
            if (dev->path == d->path) {
                dev->manufacturer = d->manufacturer_string ? d->manufacturer_string : L"";
                dev->product = d->product_string ? d->product_string : L"";
                dev->serial = d->serial_number ? d->serial_number : L"";
            }
        }
        hid_free_enumeration(all);
    }
    return dev;
}

BRELKOSIM_EXPORT hid_device *hid_open(
    unsigned short vendor_id, unsigned short product_id, const wchar_t *serial_number)
{
    hid_device_info *all = hid_enumerate(vendor_id, product_id);
    std::string path;
    for (hid_device_info *d = all; d; d = d->next) {
        if (!serial_number || (d->serial_number && std::wcscmp(serial_number, d->serial_number) == 0)) {
            path = d->path;
            break;
        }
    }
    hid_free_enumeration(all);
    if (path.empty()) {
        setGlobalError("device not found");
        return nullptr;
    }
    return hid_open_path(path.c_str());
}

BRELKOSIM_EXPORT void hid_close(hid_device *dev)
{
    if (!dev)
        return;
    std::string answer;
    transact("close " + std::to_string(dev->handle), &answer);
    delete dev;
}

BRELKOSIM_EXPORT int hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    if (!dev || !data) {
        setGlobalError("invalid argument");
        return -1;
    }
    std::string answer;
    if (!transact("write " + std::to_string(dev->handle) + " " + toHex(data, length), &answer)
        || !startsWith(answer, "ok ")) {
        dev->error = widen(answer);
        return -1;
    }
    dev->error.clear();
    return std::atoi(answer.c_str() + 3);
}

BRELKOSIM_EXPORT int hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    if (!dev || !data) {
        setGlobalError("invalid argument");
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline
        = Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
    const std::string request = "read " + std::to_string(dev->handle);
    for (;;) {
        std::string answer;
        if (!transact(request, &answer) || startsWith(answer, "err")) {
            dev->error = widen(answer);
            return -1;
        }
        if (startsWith(answer, "ok ")) {
            const std::string report = fromHex(answer.substr(3));
            const size_t n = std::min(length, report.size());
            std::memcpy(data, report.data(), n);
            dev->error.clear();
            return int(n);
        }
        // Nothing yet: wait like a blocking read would, up to the deadline.
        if (milliseconds >= 0 && Clock::now() >= deadline)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

BRELKOSIM_EXPORT int hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    return hid_read_timeout(dev, data, length, -1);
}

BRELKOSIM_EXPORT int hid_set_nonblocking(hid_device *dev, int)
{
    return dev ? 0 : -1;
}

BRELKOSIM_EXPORT int hid_send_feature_report(hid_device *dev, const unsigned char *, size_t)
{
    if (dev)
        dev->error = L"feature reports are not supported";
    return -1;
}

BRELKOSIM_EXPORT int hid_get_feature_report(hid_device *dev, unsigned char *, size_t)
{
    if (dev)
        dev->error = L"feature reports are not supported";
    return -1;
}

BRELKOSIM_EXPORT int hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return dev ? copyWide(dev->manufacturer, string, maxlen) : -1;
}

BRELKOSIM_EXPORT int hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return dev ? copyWide(dev->product, string, maxlen) : -1;
}

BRELKOSIM_EXPORT int hid_get_serial_number_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return dev ? copyWide(dev->serial, string, maxlen) : -1;
}

BRELKOSIM_EXPORT int hid_get_indexed_string(hid_device *dev, int, wchar_t *, size_t)
{
    if (dev)
        dev->error = L"indexed strings are not supported";
    return -1;
}

BRELKOSIM_EXPORT const wchar_t *hid_error(hid_device *dev)
{
    if (dev)
        return dev->error.empty() ? L"Success" : dev->error.c_str();
    std::lock_guard<std::mutex> lock(g_errorLock);
    return g_error.empty() ? L"Success" : g_error.c_str();
}
