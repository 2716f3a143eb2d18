#pragma once

#include <QByteArray>

namespace morvex {

// Cuts a client's byte stream into command lines. A line longer than the
// limit is dropped whole (up to its newline) and reported once, so a flood
// without newlines never grows memory.
class RigLineReader final
{
public:
    static constexpr int kMaxLine = 1024;

    enum class Kind { None, Line, Overlong };

    void append(const QByteArray &bytes) { m_buffer += bytes; }
    // The next complete line (without its newline), an overlong marker, or None.
    Kind next(QByteArray *line);
    int pending() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    bool m_skipping = false; // inside an overlong line, waiting for its end
};

} // namespace morvex
