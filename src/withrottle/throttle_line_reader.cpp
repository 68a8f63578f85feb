#include "withrottle/throttle_line_reader.h"

namespace relm {

ThrottleLineReader::Lines ThrottleLineReader::read(std::string_view bytes)
{
    Lines out;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!m_dropping && !m_line.empty())
                out.lines.push_back(m_line);
            m_line.clear();
            m_dropping = false;
        } else if (m_dropping) {
            continue;
        } else if (m_line.size() == kMaxThrottleLineBytes) {
            m_line.clear();
            m_dropping = true;
            ++out.dropped;
        } else {
            m_line.push_back(c);
        }
    }
    return out;
}

} // namespace relm
