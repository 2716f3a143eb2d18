// Feeds arbitrary bytes, cut into arbitrary chunks, to the simulated radio
// behind the CAT tunnel: every answer must be whole ';'-ended commands, the
// IF answer keeps its fixed width and the radio's state stays in range.
#include "sim/radiomodel.h"
#include "sim/serialtunnel.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RadioModel radio;
    QByteArray out;
    QObject::connect(&radio, &RadioModel::output, [&out](const QByteArray &b) { out += b; });
    size_t pos = 0;
    while (pos < size) {
        // The first byte of each piece says how long the piece is.
        const size_t len = qMin<size_t>(size - pos - 1, data[pos] % 97);
        radio.input(QByteArray(reinterpret_cast<const char *>(data + pos + 1), int(len)));
        pos += len + 1;
    }
    if (!out.isEmpty() && !out.endsWith(';'))
        abort();
    if (radio.ifAnswer().size() != 38 || !RadioModel::isValidMode(radio.mode()))
        abort();
    if (radio.frequency(0) > RadioModel::kMaxFrequency || radio.frequency(1) > RadioModel::kMaxFrequency)
        abort();
    if (radio.rxVfo() < 0 || radio.rxVfo() > 2 || radio.txVfo() < 0 || radio.txVfo() > 2)
        abort();
    if (size >= 4) {
        const quint32 word
            = quint32(data[0]) | quint32(data[1]) << 8 | quint32(data[2]) << 16 | quint32(data[3]) << 24;
        const TunnelLine l = TunnelLine::decode(word);
        if (l.baudRate > 0x3FFFFFu || l.format().isEmpty())
            abort();
    }
    return 0;
}
