#pragma once

#include <cstddef>
#include <cstdint>

// Reads a fuzz input as a sequence of operations and their operands.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    // The next n bytes, or null (consuming nothing) when fewer are left.
    const uint8_t *take(size_t n)
    {
        if (n > m_size - m_pos)
            return nullptr;
        const uint8_t *p = m_data + m_pos;
        m_pos += n;
        return p;
    }

    // The rest of the input, without consuming it.
    const uint8_t *peek() const { return m_data + m_pos; }
    size_t left() const { return m_size - m_pos; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};
