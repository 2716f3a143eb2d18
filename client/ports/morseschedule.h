#pragma once

#include <QByteArray>
#include <QVector>

#include <array>

namespace morvex {

// Morse element timing in whole milliseconds: from the keyer's parameters
// and a character (or a text) to its key-down and key-up times. No clock and
// no thread; the keying engine counts the times down.
class MorseSchedule final
{
public:
    static constexpr int kElements = 6;

    struct Timing
    {
        int dit = 0; // ms, 1200 / WPM
        int speed = 0; // WPM
        int weighting = 50; // 50 neutral
        int keyCompensation = 0; // ms added to every mark
        int ratio = 50; // dit/dah, 50 = 1:3
        int farnsworth = 0; // WPM, 0 = off
        int firstExtension = 0; // ms added to the first mark of a transmission
    };

    struct Times
    {
        int ditMark = 0;
        int space = 0; // between elements
        int dahMark = 0;
        int gap = 0; // after the last element of a character
    };

    // One character's countdowns.
    struct Character
    {
        enum Kind { Dropped, WordSpace, Keyed };
        Kind kind = Dropped;
        int count = 0; // elements loaded into marks and spaces
        std::array<quint16, kElements> marks {};
        std::array<quint16, kElements> spaces {};
        quint32 wordDelay = 0;
    };

    // A stretch of the key line: down or up for ms.
    struct Span
    {
        bool down = false;
        int ms = 0;
        bool operator==(const Span &o) const { return down == o.down && ms == o.ms; }
    };

    static Times elementTimes(const Timing &t);
    // The pattern of a character: 'i' dit, 'a' dah; nullptr when it is not
    // in the table, " " for the word space.
    static const char *pattern(char ch);
    // firstElement is cleared once the first mark has its extension; merge
    // keys the next character after an element space only.
    static Character character(char ch, const Timing &t, bool *firstElement, bool merge);
    // A whole transmission of plain characters, lead-in and tail included
    // (PTT is on across all of it), adjacent spans of one state joined.
    static QVector<Span> forText(const QByteArray &text, const Timing &t, int leadMs, int tailMs);
};

} // namespace morvex
