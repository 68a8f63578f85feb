#include "scratch_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace relm::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "relm-reliability-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a scratch directory");
    m_path = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    if (!m_previous.empty())
        fs::current_path(m_previous, ignored);
    fs::remove_all(m_path, ignored);
}

void ScratchDir::enter()
{
    if (m_previous.empty())
        m_previous = fs::current_path();
    fs::current_path(m_path);
}

void placeFile(const fs::path &path, FileKind kind, const Bytes &contents)
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
    switch (kind) {
    case FileKind::Missing:
        return;
    case FileKind::Contents: {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(contents.data()),
                  static_cast<std::streamsize>(contents.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path.string());
        return;
    }
    case FileKind::Directory:
        fs::create_directory(path);
        return;
    case FileKind::SelfLink:
        fs::create_symlink(path.filename(), path);
        return;
    }
}

std::string snapshot(const fs::path &path)
{
    const fs::file_status s = fs::symlink_status(path);
    if (!fs::exists(s))
        return "<missing>";
    if (fs::is_symlink(s))
        return "<link to " + fs::read_symlink(path).string() + ">";
    if (fs::is_directory(s))
        return "<directory>";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Bytes bytesOf(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace relm::test
