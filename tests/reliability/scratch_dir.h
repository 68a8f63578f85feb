#pragma once

// A directory of its own for each test, and the kinds of bad file a test puts in it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace relm::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh empty directory, removed with everything in it when the object goes. enter() makes it
// the current directory (the console opens its files by bare name) until the object goes.
class ScratchDir final
{
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path file(const std::string &name) const { return m_path / name; }
    void enter();

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

// What lies at a file's path. The unreadable kinds fail for root too.
enum class FileKind {
    Missing,
    Contents,  // a plain file with the given bytes
    Directory, // a directory where the file should be
    SelfLink,  // a symbolic link to itself: every open fails with a loop
};

void placeFile(const std::filesystem::path &path, FileKind kind, const Bytes &contents = {});

// The path's state for before/after comparisons: its bytes for a file, a marker otherwise.
std::string snapshot(const std::filesystem::path &path);

Bytes bytesOf(const std::string &text);

} // namespace relm::test
