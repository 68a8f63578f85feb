// Whatever a throttle or a stranger on the network sends: the bytes, cut into pieces as the
// network may deliver them, go through the line reader into a throttle session driving a
// console. Holds the rules: no line read is empty, longer than the bound or holds a line end;
// every line sent back is one line of bounded length; speeds stay within 0..128 and requests
// within their states; and raw packets and consists never change anything.

#include "console/console.h"
#include "withrottle/throttle_line_reader.h"
#include "withrottle/throttle_session.h"
#include "withrottle/throttle_view.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace relm;

[[noreturn]] void broken(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

bool sameTables(const Module1 &a, const Module1 &b)
{
    return a.SliderSpeed == b.SliderSpeed && a.TargetSpeed == b.TargetSpeed &&
           a.OutSpeed == b.OutSpeed && a.PointReq == b.PointReq && a.RevState == b.RevState &&
           a.TrainCmd == b.TrainCmd;
}

void checkOutput(const std::string &out)
{
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            broken("everything sent ends with a line feed");
        const std::string_view line(out.data() + start, end - start);
        if (line.find('\r') != std::string_view::npos)
            broken("a line sent is one line");
        if (line.size() > kMaxThrottleLineBytes + 100)
            broken("a line sent is of bounded length");
        start = end + 1;
    }
}

void checkTables(const Console &console)
{
    const Module1 &m = console.module();
    for (int t = 0; t < kTrainCount; ++t) {
        if (m.SliderSpeed[t] < 0 || m.SliderSpeed[t] > 128 || m.OutSpeed[t] < 0 ||
            m.OutSpeed[t] > 128 || console.train(t).sliderPosition < 0 ||
            console.train(t).sliderPosition > 128)
            broken("speeds stay within 0..128");
        if (m.PointReq[t] < 0 || m.PointReq[t] > 1 || m.RevState[t] < 0 || m.RevState[t] > 3)
            broken("requests stay within their states");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Module1 module;
    static Console console(module, QStringLiteral("/dev/relm-fuzz-no-such-port"));
    static ThrottleDirections directions(console);
    static qint64 now = 0;
    static int id = 0;
    if (size == 0)
        return 0;

    // A connection of its own for each input; the first byte says how the network cuts it up.
    ThrottleSession session(
        console, [] { return now; }, ++id, QStringLiteral("192.0.2.1"));
    session.greet(directions.view());
    checkOutput(session.takeOutput());
    ThrottleLineReader reader;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const ThrottleLineReader::Lines read = reader.read(bytes.substr(at, piece));
        if (reader.pending() > kMaxThrottleLineBytes)
            broken("no more than a line's bound is kept");
        session.dropped(read.dropped);
        for (const std::string &line : read.lines) {
            if (line.empty() || line.size() > kMaxThrottleLineBytes ||
                line.find_first_of("\r\n") != std::string::npos)
                broken("a line read is not empty, within the bound and one line");
            now += 20; // a paced client: within the rate
            const Module1 before = module;
            session.receive(line);
            if ((line.starts_with('D') || line.starts_with("RC")) && !sameTables(before, module))
                broken("raw packets and consists change nothing");
            checkTables(console);
            session.update(directions.view());
            checkOutput(session.takeOutput());
        }
    }
    now += 6000;
    session.checkSilence();
    session.closed(QStringLiteral("fuzz"));
    checkTables(console);
    checkOutput(session.takeOutput());
    return 0;
}
