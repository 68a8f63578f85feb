// Bytes from the console's side of the line, in any chunking and with any pauses, through the
// simulated controller's frame parser and then through the controller itself. Holds the rules:
// chunking without long pauses never changes what is parsed, frames stay within their limits,
// and the controller keeps its registers and trains sane whatever it is sent.

#include "sim/controller.h"
#include "sim/frame_parser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <variant>
#include <vector>

namespace {

using namespace relm::sim;

constexpr Duration kGap{50'000};

[[noreturn]] void broken(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

void checkEvent(const ParserEvent &e)
{
    if (const auto *f = std::get_if<RegisterFrame>(&e)) {
        if (f->pairs.size() > kMaxPairs)
            broken("a register frame has at most 24 pairs");
        for (const RegisterPair &p : f->pairs) {
            if (p.address > kHighestAddress)
                broken("register addresses stay within 0..41");
        }
    } else if (const auto *d = std::get_if<DownloadFrame>(&e)) {
        if (d->image.size() > kMaxImageBytes)
            broken("a program image is at most 19,969 bytes");
    } else if (std::get<MalformedInput>(e).bytes == 0 && std::get<MalformedInput>(e).fault == Fault::StrayBytes) {
        broken("a stray run has at least one byte");
    }
}

bool sameEvent(const ParserEvent &a, const ParserEvent &b)
{
    if (a.index() != b.index())
        return false;
    if (const auto *f = std::get_if<RegisterFrame>(&a)) {
        const auto &g = std::get<RegisterFrame>(b);
        if (f->pairs.size() != g.pairs.size())
            return false;
        for (std::size_t k = 0; k < f->pairs.size(); ++k) {
            if (f->pairs[k].address != g.pairs[k].address || f->pairs[k].value != g.pairs[k].value)
                return false;
        }
        return true;
    }
    if (const auto *d = std::get_if<DownloadFrame>(&a))
        return d->image == std::get<DownloadFrame>(b).image;
    const auto &m = std::get<MalformedInput>(a);
    const auto &n = std::get<MalformedInput>(b);
    return m.fault == n.fault && m.bytes == n.bytes;
}

// Feeds the stream in chunks with pauses no longer than the gap timeout: what is parsed must be
// what one read of the whole stream gives.
void chunkingKeepsFrames(const std::vector<std::uint8_t> &stream, FuzzedDataProvider &in)
{
    FrameParser chunked(kGap);
    FrameParser whole(kGap);
    std::vector<ParserEvent> a;
    std::vector<ParserEvent> b;
    Time now{};
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t n =
            std::min(stream.size() - at, in.ConsumeIntegralInRange<std::size_t>(1, 64));
        chunked.feed(std::span(stream).subspan(at, n), now, a);
        at += n;
        now += Duration{in.ConsumeIntegralInRange<std::int64_t>(0, kGap.count())};
    }
    whole.feed(stream, Time{}, b);
    if (a.size() != b.size())
        broken("chunking never changes what is parsed");
    for (std::size_t k = 0; k < a.size(); ++k) {
        checkEvent(a[k]);
        if (!sameEvent(a[k], b[k]))
            broken("chunking never changes what is parsed");
    }
}

// The controller with pauses of any length, physics running in between.
void controllerStaysSane(const std::vector<std::uint8_t> &stream, FuzzedDataProvider &in)
{
    Controller c;
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t n =
            std::min(stream.size() - at, in.ConsumeIntegralInRange<std::size_t>(1, 256));
        c.receive(std::span(stream).subspan(at, n));
        at += n;
        c.step(Duration{in.ConsumeIntegralInRange<std::int64_t>(0, 300'000)});
        for (int t = 0; t < kTrains; ++t) {
            const TrainState &s = c.train(t);
            if (!(s.speed >= 0.0 && s.speed <= kFullSpeed) || s.reportedSpeed() > kFullSpeed
                || !(s.positionMm >= 0.0 && s.positionMm <= c.physics().sectionLengthMm))
                broken("trains keep speeds within 0..128 and stay in their section");
        }
    }
    const std::vector<std::uint8_t> out = c.takeOutput();
    if (out.size() % kStatusFrameBytes != 0 || out.size() / kStatusFrameBytes != c.stats().framesOut)
        broken("status output is whole 24-byte frames");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    // Most of the input is the stream; the rest steers chunk sizes and pauses.
    const std::vector<std::uint8_t> stream =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, size));
    chunkingKeepsFrames(stream, in);
    controllerStaysSane(stream, in);
    return 0;
}
