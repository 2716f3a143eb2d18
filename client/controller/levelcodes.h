#pragma once

#include <QString>

namespace morvex {

// Level codes of the audio level frames (receive 0-117, transmit 0-118,
// 0 loudest) and the decibel value the labels show for each.
namespace LevelCodes {
constexpr int kMaxCode = 118;
double decibels(int code);
// "-12.5 dB"
QString text(int code);
} // namespace LevelCodes

} // namespace morvex
