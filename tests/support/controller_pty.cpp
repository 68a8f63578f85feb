#include "controller_pty.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace relm::test {

ControllerPty::ControllerPty()
{
    char name[256] = {};
    int slave = -1;
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return;
    }
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_device = name;
}

ControllerPty::~ControllerPty()
{
    close();
}

void ControllerPty::close()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

} // namespace relm::test
