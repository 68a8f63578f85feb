#include "app/start_decision.h"

namespace relm {

StartDecision decideStart(const ConsoleOptions &options, const StartSettings &remembered,
                          const PortCheck &checkPort, const LayoutCheck &checkLayout)
{
    StartDecision d;
    if (!options.port.empty() || options.simulate) {
        d.route = StartRoute::CommandLine;
        return d;
    }
    if (options.choose || !remembered.connection)
        return d;
    if (options.layoutDir.empty()) {
        if (remembered.layoutDir.isEmpty())
            return d;
        d.layoutProblem = checkLayout(remembered.layoutDir);
        if (!d.layoutProblem.isEmpty())
            return d;
    }
    if (!remembered.connection->simulator) {
        d.portProblem = checkPort(remembered.connection->port);
        if (!d.portProblem.empty())
            return d;
    }
    d.route = StartRoute::Remembered;
    return d;
}

} // namespace relm
