#include "explorer.h"

#include "start_placements.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace relm::verify {

namespace {

constexpr std::uint16_t kStartLabel = 0xFFFF; // a start state: its parent field is the start

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::vector<std::uint16_t> stepsTo(const StateStore &store, std::uint32_t k, std::size_t &start)
{
    std::vector<std::uint16_t> steps;
    while (store.label(k) != kStartLabel) {
        steps.push_back(store.label(k));
        k = store.parent(k);
    }
    start = store.parent(k);
    std::reverse(steps.begin(), steps.end());
    return steps;
}

} // namespace

std::uint64_t VerifyResult::violations() const
{
    std::uint64_t n = 0;
    for (const std::uint64_t f : findings)
        n += f;
    return n;
}

VerifyResult explore(const VerifyConfig &config)
{
    const auto began = std::chrono::steady_clock::now();
    VerifyResult result;
    StateStore store;
    for (std::size_t s = 0; s < config.starts.size(); ++s)
        store.add(canonical(startWorld(config.starts[s], config.shape)), static_cast<std::uint32_t>(s),
                  kStartLabel);

    std::size_t levelEnd = store.size();
    int depth = 0;
    bool stopped = false;
    constexpr std::uint32_t kProgressEvery = 1u << 22;
    for (std::uint32_t k = 0; k < store.size() && !stopped; ++k) {
        if (k == levelEnd) {
            ++depth;
            levelEnd = store.size();
        }
        if (config.maxDepth > 0 && depth >= config.maxDepth) {
            stopped = true; // bounded: deeper states are not expanded
            break;
        }
        if (config.progress && k > 0 && k % kProgressEvery == 0) {
            char line[160];
            std::snprintf(line, sizeof line, "%u expanded, %zu states, depth %d, %.0f s, %ld MB", k,
                          store.size(), depth,
                          std::chrono::duration<double>(std::chrono::steady_clock::now() - began)
                              .count(),
                          peakRssKb() / 1024);
            config.progress(line);
        }
        const PackedState packed = store.state(k);
        const World w = unpack(packed);
        for (const Step &step : stepsFrom(w, config.shape)) {
            StepResult r = apply(w, step, config.shape);
            ++result.transitions;
            result.routeFaults += static_cast<std::uint64_t>(r.routeFaults);
            const std::uint16_t label = encode(step);
            for (const Finding &f : r.findings) {
                const auto kind = static_cast<std::size_t>(f.kind);
                if (result.findings[kind]++ > 0)
                    continue;
                std::size_t start = 0;
                Counterexample c{f.kind, f.what, 0, stepsTo(store, k, start)};
                c.start = start;
                c.steps.push_back(label);
                result.counterexamples.push_back(std::move(c));
                stopped = stopped || config.stopAtFirst;
            }
            if (!r.findings.empty())
                continue; // what follows a violation is not explored further
            store.add(canonical(r.next), k, label);
            if (config.maxStates > 0 && store.size() >= config.maxStates)
                stopped = true;
        }
        if (k + 1 == store.size() && !stopped)
            result.complete = true;
    }
    result.complete = result.complete && !stopped;
    result.states = store.size();
    result.depth = depth;
    result.storeBytes = store.bytes();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    result.peakRssKb = peakRssKb();
    return result;
}

} // namespace relm::verify
