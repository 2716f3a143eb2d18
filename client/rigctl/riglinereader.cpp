#include "client/rigctl/riglinereader.h"

namespace morvex {

RigLineReader::Kind RigLineReader::next(QByteArray *line)
{
    for (;;) {
        const int nl = m_buffer.indexOf('\n');
        if (m_skipping) {
            if (nl < 0) {
                m_buffer.clear();
                return Kind::None;
            }
            m_buffer.remove(0, nl + 1);
            m_skipping = false;
            continue;
        }
        if (nl < 0) {
            if (m_buffer.size() > kMaxLine) {
                m_buffer.clear();
                m_skipping = true;
                return Kind::Overlong;
            }
            return Kind::None;
        }
        if (nl > kMaxLine) {
            m_buffer.remove(0, nl + 1);
            return Kind::Overlong;
        }
        *line = m_buffer.left(nl);
        m_buffer.remove(0, nl + 1);
        return Kind::Line;
    }
}

} // namespace morvex
