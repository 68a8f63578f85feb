#include "sim/endpoint.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace relm::sim {

namespace {

std::string failure(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

termios rawLine()
{
    termios t{};
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return t;
}

bool makeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

Endpoint Endpoint::openPty(std::string &error)
{
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    termios t = rawLine();
    if (openpty(&master, &slave, name, &t, nullptr) != 0) {
        error = failure("cannot open a pseudo-terminal");
        return {};
    }
    // The console opens the slave side itself. While nobody holds it open, what the controller
    // sends is lost, as on a real line with nothing plugged in.
    close(slave);
    Endpoint e;
    e.m_fd = master;
    e.m_path = name;
    e.m_pty = true;
    if (!makeNonBlocking(master)) {
        error = failure("cannot set the pseudo-terminal non-blocking");
        return {};
    }
    return e;
}

Endpoint Endpoint::openDevice(const std::string &path, std::string &error)
{
    Endpoint e;
    e.m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (e.m_fd < 0) {
        error = failure("cannot open " + path);
        return {};
    }
    e.m_path = path;
    termios t = rawLine();
    if (tcsetattr(e.m_fd, TCSANOW, &t) != 0) {
        error = failure("cannot set " + path + " to 9600 8N1 raw");
        return {};
    }
    tcflush(e.m_fd, TCIOFLUSH);
    return e;
}

Endpoint::Endpoint(Endpoint &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_path(std::move(other.m_path))
    , m_pty(other.m_pty)
{}

Endpoint &Endpoint::operator=(Endpoint &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_pty = other.m_pty;
    }
    return *this;
}

Endpoint::~Endpoint()
{
    if (m_fd >= 0)
        close(m_fd);
}

LinkGuard::~LinkGuard()
{
    if (m_link.empty())
        return;
    char buf[PATH_MAX] = {};
    const ssize_t n = readlink(m_link.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == m_target)
        unlink(m_link.c_str());
}

bool LinkGuard::make(const std::string &target, const std::string &link, std::string &error)
{
    struct stat st
    {
    };
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symlink; not replacing it";
            return false;
        }
        // Most likely left behind by an earlier run that was killed.
        if (unlink(link.c_str()) != 0) {
            error = failure("cannot replace " + link);
            return false;
        }
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = failure("cannot make the link " + link);
        return false;
    }
    m_target = target;
    m_link = link;
    return true;
}

} // namespace relm::sim
