#include "app/termination_signals.h"

#include <QString>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace relm {

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

int s_writeEnd = -1;
volatile std::sig_atomic_t s_received = 0;

extern "C" void onTerminationSignal(int signalNumber)
{
    if (s_received != 0)
        ::_exit(128 + signalNumber); // asked twice: end now, whatever the event loop is doing
    s_received = 1;
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(s_writeEnd, &byte, 1);
    errno = saved;
}

} // namespace

std::unique_ptr<TerminationSignals> TerminationSignals::install(QString *error)
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    s_writeEnd = ends[1];
    s_received = 0;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals) {
        if (::sigaction(s, &action, nullptr) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(ends[0]);
            ::close(ends[1]);
            s_writeEnd = -1;
            return nullptr;
        }
    }
    return std::unique_ptr<TerminationSignals>(new TerminationSignals(ends[0]));
}

TerminationSignals::TerminationSignals(int readEnd, QObject *parent)
    : QObject(parent)
    , m_readEnd(readEnd)
    , m_notifier(readEnd, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
}

TerminationSignals::~TerminationSignals()
{
    for (const int s : kSignals)
        std::signal(s, SIG_DFL);
    ::close(m_readEnd);
    ::close(s_writeEnd);
    s_writeEnd = -1;
}

void TerminationSignals::onReadable()
{
    unsigned char byte = 0;
    while (::read(m_readEnd, &byte, 1) == 1)
        emit received(byte);
}

} // namespace relm
