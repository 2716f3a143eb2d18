#include "client/controller/levelcodes.h"

#include <QCoreApplication>

namespace morvex {

namespace {
const double kTable[LevelCodes::kMaxCode + 1] = {
    0.0,
    -0.5,
    -1.0,
    -1.5,
    -2.0,
    -2.5,
    -3.0,
    -3.5,
    -4.0,
    -4.5,
    -5.0,
    -5.5,
    -6.0,
    -6.5,
    -7.0,
    -7.5,
    -8.0,
    -8.5,
    -9.0,
    -9.5,
    -10.0,
    -10.5,
    -11.0,
    -11.5,
    -12.0,
    -12.5,
    -13.0,
    -13.5,
    -14.0,
    -14.5,
    -15.0,
    -15.5,
    -16.0,
    -16.5,
    -17.0,
    -17.5,
    -18.0,
    -18.6,
    -19.1,
    -19.6,
    -20.1,
    -20.6,
    -21.1,
    -21.6,
    -22.1,
    -22.6,
    -23.1,
    -23.6,
    -24.1,
    -24.6,
    -25.1,
    -25.6,
    -26.1,
    -26.6,
    -27.1,
    -27.6,
    -28.1,
    -28.6,
    -29.1,
    -29.6,
    -30.1,
    -30.6,
    -31.1,
    -31.6,
    -32.1,
    -32.6,
    -33.1,
    -33.6,
    -34.1,
    -34.6,
    -35.1,
    -35.7,
    -36.1,
    -36.7,
    -37.1,
    -37.7,
    -38.2,
    -38.7,
    -39.2,
    -39.7,
    -40.2,
    -40.7,
    -41.2,
    -41.7,
    -42.2,
    -42.7,
    -43.2,
    -43.8,
    -44.3,
    -44.8,
    -45.2,
    -45.8,
    -46.2,
    -46.7,
    -47.4,
    -47.9,
    -48.2,
    -48.7,
    -49.3,
    -50.0,
    -50.3,
    -51.0,
    -51.4,
    -51.8,
    -52.2,
    -52.7,
    -53.7,
    -54.2,
    -55.3,
    -56.7,
    -58.3,
    -60.2,
    -62.7,
    -64.3,
    -66.2,
    -68.7,
    -72.2,
    -78.3,
    0.0,
};
} // namespace

namespace LevelCodes {

double decibels(int code)
{
    // Codes from the box are range-checked upstream; never index outside.
    if (code < 0 || code > kMaxCode)
        return 0.0;
    return kTable[code];
}

QString text(int code)
{
    return QString::number(decibels(code), 'f', 1) + QCoreApplication::translate("morvex::Window", " dB");
}

} // namespace LevelCodes

} // namespace morvex
