// Random host byte streams into the WinKey decoder, and random parameter
// blocks into the keying engine; each input is run for a bounded number of
// engine steps.
#include "client/ports/winkey.h"
#include "fuzz/support/fuzzenv.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>

using namespace morvex;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzEnv::privateHome();
    static QCoreApplication app(*argc, *argv);
    QLoggingCategory::setFilterRules(QStringLiteral("winkey.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // First byte picks the mode: a stored parameter block and host bytes, or
    // host bytes only.
    const bool block = (data[0] & 1) && size >= 1 + WinKey::kParamSize;
    QByteArray rest(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    WinKey wk;
    if (block) {
        WinKey::Params p {};
        for (int i = 0; i < WinKey::kParamSize; ++i)
            p[size_t(i)] = quint8(rest.at(i));
        // Keep the waits short so one input stays quick.
        p[size_t(WinKeyDecoder::PttLead)] = p[size_t(WinKeyDecoder::PttLead + 1)] = 0;
        p[size_t(WinKeyDecoder::PttLead + 2)] = p[size_t(WinKeyDecoder::PttLead + 3)] = 0;
        // Through the stored text, as the program loads it.
        wk.setParameters(WinKey::blockFromText(WinKey::blockToText(WinKey::toBlock(p))));
        rest.remove(0, WinKey::kParamSize);
    }
    // Host bytes arrive in pieces, split where the input says.
    int at = 0;
    while (at < rest.size()) {
        const int n = 1 + (quint8(rest.at(at)) % 7);
        wk.hostData(rest.mid(at, n));
        at += n;
        for (int i = 0; i < 50; ++i)
            wk.sendChar();
    }
    for (int i = 0; i < 3000; ++i)
        wk.sendChar();
    (void)wk.statusByte();
    return 0;
}
