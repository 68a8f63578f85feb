#pragma once

// The line relm-sim serves: the master side of a new pseudo-terminal, or a serial device.

#include <string>

namespace relm::sim {

// Owns the file descriptor of the line and knows the path the console opens.
class Endpoint final
{
public:
    // A new pseudo-terminal in raw mode at 9600 8N1; the console opens path().
    static Endpoint openPty(std::string &error);
    // An existing serial device, set to 9600 8N1 raw without flow control.
    static Endpoint openDevice(const std::string &path, std::string &error);

    Endpoint() = default;
    Endpoint(Endpoint &&other) noexcept;
    Endpoint &operator=(Endpoint &&other) noexcept;
    Endpoint(const Endpoint &) = delete;
    Endpoint &operator=(const Endpoint &) = delete;
    ~Endpoint();

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::string &path() const { return m_path; }
    // Whether this is a pseudo-terminal of our own, which tells when nobody holds its far side.
    bool pty() const { return m_pty; }

private:
    int m_fd = -1;
    std::string m_path;
    bool m_pty = false;
};

// A symlink to the pseudo-terminal that is removed again when it goes, if it still points there.
class LinkGuard final
{
public:
    LinkGuard() = default;
    LinkGuard(const LinkGuard &) = delete;
    LinkGuard &operator=(const LinkGuard &) = delete;
    ~LinkGuard();

    // Makes `link` point at `target`. An old symlink there is replaced; any other file is left
    // alone and reported as an error.
    bool make(const std::string &target, const std::string &link, std::string &error);

private:
    std::string m_target;
    std::string m_link;
};

} // namespace relm::sim
