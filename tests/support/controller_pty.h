#pragma once

#include <string>

namespace relm::test {

// The controller's end of a pseudo-terminal, non-blocking; the console opens the other end by
// its device name. Closed with the object.
class ControllerPty final
{
public:
    ControllerPty();
    ControllerPty(const ControllerPty &) = delete;
    ControllerPty &operator=(const ControllerPty &) = delete;
    ~ControllerPty();

    bool ok() const { return m_master >= 0; }
    int master() const { return m_master; }
    const std::string &device() const { return m_device; }
    // Closes the controller's end now: to the console the line goes away.
    void close();

private:
    int m_master = -1;
    std::string m_device;
};

} // namespace relm::test
