#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace relm {

// SIGINT, SIGTERM and SIGHUP (Ctrl-C, a logout, a shutdown) reach the event loop as received():
// the handler only writes the signal's number into a pipe, which is safe in signal context, and
// the loop reads it. A second signal before the program has ended ends the process at once,
// from the handler itself, in case the event loop is what keeps it from ending.
class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers; one instance per process. False, with the reason, if it cannot.
    static std::unique_ptr<TerminationSignals> install(QString *error);

    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;
    ~TerminationSignals() override; // restores the default handlers

signals:
    void received(int signalNumber);

private:
    TerminationSignals(int readEnd, QObject *parent = nullptr);
    void onReadable();

    int m_readEnd;
    QSocketNotifier m_notifier;
};

} // namespace relm
