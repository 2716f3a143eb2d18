#include "client/ports/morseschedule.h"

#include <algorithm>
#include <cstring>

namespace morvex {

namespace {
struct MorseEntry
{
    char ch;
    const char *pattern; // 'i' dit, 'a' dah; " " the word space
};

// Matched exactly and in this order; lower case is not in it.
const MorseEntry kMorse[] = {
    { ' ', " " },
    { '!', "" },
    { '"', "" },
    { '$', "" },
    { '&', "" },
    { '\'', "" },
    { '(', "aiaia" },
    { ')', "aiaia" },
    { '+', "" },
    { ',', "aaiiaa" },
    { '-', "aiiiia" },
    { '.', "iaiaia" },
    { '/', "aiiai" },
    { '0', "aaaaa" },
    { '1', "iaaaa" },
    { '2', "iiaaa" },
    { '3', "iiiaa" },
    { '4', "iiiia" },
    { '5', "iiiii" },
    { '6', "aiiii" },
    { '7', "aaiii" },
    { '8', "aaaii" },
    { '9', "aaaai" },
    { ':', "aaaiii" },
    { ';', "aiaiai" },
    { '=', "aiiia" },
    { '?', "iiaaii" },
    { '@', "" },
    { 'A', "ia" },
    { 'B', "aiii" },
    { 'C', "aiai" },
    { 'D', "aii" },
    { 'E', "i" },
    { 'F', "iiai" },
    { 'G', "aai" },
    { 'H', "iiii" },
    { 'I', "ii" },
    { 'J', "iaaa" },
    { 'K', "aia" },
    { 'L', "iaii" },
    { 'M', "aa" },
    { 'N', "ai" },
    { 'O', "aaa" },
    { 'P', "iaai" },
    { 'Q', "aaia" },
    { 'R', "iai" },
    { 'S', "iii" },
    { 'T', "a" },
    { 'U', "iia" },
    { 'V', "iiia" },
    { 'W', "iaa" },
    { 'X', "aiia" },
    { 'Y', "aiaa" },
    { 'Z', "aaii" },
    { '_', "" },
};
static_assert(sizeof(kMorse) / sizeof(kMorse[0]) == 55, "Morse table has 55 entries");

quint16 clampCount(long long v)
{
    return quint16(std::clamp<long long>(v, 0, 0xFFFF));
}

void add(QVector<MorseSchedule::Span> &spans, bool down, int ms)
{
    if (ms <= 0)
        return;
    if (!spans.isEmpty() && spans.last().down == down)
        spans.last().ms += ms;
    else
        spans.append({ down, ms });
}
} // namespace

MorseSchedule::Times MorseSchedule::elementTimes(const Timing &t)
{
    const int d = t.dit;
    int base = d;
    const bool farns = t.farnsworth != 0 && t.speed <= t.farnsworth;
    if (farns)
        base = 1200 / t.farnsworth;
    Times r;
    r.ditMark = t.weighting * base / 50 + t.keyCompensation;
    r.space = 2 * base - r.ditMark;
    r.dahMark = t.ratio * 3 * base / 50 + (r.ditMark - base);
    r.gap = farns ? 3 * (base + d) : 4 * d - r.ditMark;
    return r;
}

const char *MorseSchedule::pattern(char ch)
{
    for (const MorseEntry &e : kMorse) {
        if (e.ch == ch)
            return e.pattern;
    }
    return nullptr;
}

MorseSchedule::Character MorseSchedule::character(char ch, const Timing &t, bool *firstElement, bool merge)
{
    Character c;
    const char *p = pattern(ch);
    if (!p || !*p)
        return c; // dropped, or nothing to key
    if (*p == ' ') {
        c.kind = Character::WordSpace;
        c.wordDelay = quint32(7 * std::max(t.dit, 0));
        return c;
    }
    const Times times = elementTimes(t);
    c.kind = Character::Keyed;
    c.count = std::min(int(std::strlen(p)), kElements);
    for (int i = 0; i < c.count; ++i) {
        long long mark = p[i] == 'i' ? times.ditMark : times.dahMark;
        if (*firstElement) {
            *firstElement = false;
            mark += t.firstExtension;
        }
        c.marks[size_t(i)] = clampCount(mark);
        c.spaces[size_t(i)] = clampCount(times.space);
    }
    if (!merge)
        c.spaces[size_t(c.count - 1)] = clampCount(times.gap);
    return c;
}

QVector<MorseSchedule::Span> MorseSchedule::forText(
    const QByteArray &text, const Timing &t, int leadMs, int tailMs)
{
    QVector<Span> spans;
    bool first = true;
    bool lastIdle = false;
    for (int i = 0; i < text.size(); ++i) {
        const int lead = i == 0 ? std::max(leadMs, 0) : 0;
        add(spans, false, lead);
        const Character c = character(text.at(i), t, &first, false);
        int loaded = lead + int(c.wordDelay);
        add(spans, false, int(c.wordDelay));
        for (int e = 0; e < c.count; ++e) {
            add(spans, true, c.marks[size_t(e)]);
            add(spans, false, c.spaces[size_t(e)]);
            loaded += c.marks[size_t(e)] + c.spaces[size_t(e)];
        }
        // Fetching a character that loads no time still takes a step.
        lastIdle = loaded == 0;
        if (lastIdle)
            add(spans, false, 1);
    }
    if (spans.isEmpty())
        return spans;
    // A last idle step is already the first step of the tail.
    if (lastIdle && --spans.last().ms == 0)
        spans.removeLast();
    add(spans, false, tailMs);
    return spans;
}

} // namespace morvex
