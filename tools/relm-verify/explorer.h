#pragma once

// Breadth-first search over every state reachable from the start placements. States are kept
// packed in the store; each one is unpacked into the console's tables again to be expanded.
// Breadth first, the first violation of each kind found is one of the shortest.

#include "state_store.h"
#include "verify_step.h"

#include "initdata/ini_format.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace relm::verify {

struct VerifyConfig
{
    ModelShape shape;
    std::vector<IniValueArray> starts;
    std::size_t maxStates = 0; // 0: no bound; otherwise stop (incomplete) at this many
    int maxDepth = 0;          // 0: no bound; otherwise states deeper are not expanded
    bool stopAtFirst = false;  // stop at the first violation
    std::function<void(const std::string &)> progress; // a line now and then, for a long run
};

// The shortest way found to one violation: the start and the steps from it.
struct Counterexample
{
    FindingKind kind = FindingKind::SharedSection;
    std::string what;
    std::size_t start = 0; // index into VerifyConfig::starts
    std::vector<std::uint16_t> steps;
};

struct VerifyResult
{
    std::uint64_t states = 0;
    std::uint64_t transitions = 0;
    int depth = 0; // periods and operator steps on the longest shortest way to a state
    double seconds = 0.0;
    long peakRssKb = 0;
    std::size_t storeBytes = 0;
    bool complete = false; // every reachable state was expanded
    std::uint64_t routeFaults = 0; // the controller held a train: register 2 not the track ahead
    std::array<std::uint64_t, kFindingKinds> findings{}; // transitions with each violation
    std::vector<Counterexample> counterexamples;         // the first of each kind

    std::uint64_t violations() const;
};

VerifyResult explore(const VerifyConfig &config);

} // namespace relm::verify
