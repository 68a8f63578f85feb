#pragma once

// Cuts what a throttle sends into lines: CR, LF and CRLF all end a line, and empty lines (a
// CRLF, the blank line some servers and clients put after every line) are skipped. No line is
// kept beyond kMaxThrottleLineBytes: a longer one is dropped whole, up to its end, and counted.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace relm {

// The protocol's longest line is a roster or point list; what a throttle sends is far shorter.
inline constexpr std::size_t kMaxThrottleLineBytes = 1024;

class ThrottleLineReader final
{
public:
    struct Lines
    {
        std::vector<std::string> lines; // complete, without their endings, in order
        int dropped = 0;                // lines longer than kMaxThrottleLineBytes
    };

    Lines read(std::string_view bytes);

    // Bytes of an unfinished line kept for the next read.
    std::size_t pending() const { return m_line.size(); }

private:
    std::string m_line;
    bool m_dropping = false; // inside a line that has grown too long
};

} // namespace relm
