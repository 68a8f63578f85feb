#include "map/map_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace relm {

namespace {

// Closes a C stream when it goes out of scope.
class FileCloser final
{
public:
    explicit FileCloser(std::FILE *file)
        : m_file(file)
    {}
    ~FileCloser()
    {
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    FileCloser(const FileCloser &) = delete;
    FileCloser &operator=(const FileCloser &) = delete;

    std::FILE *get() const { return m_file; }
    // Closes now and reports whether everything written reached the file.
    bool close()
    {
        std::FILE *f = m_file;
        m_file = nullptr;
        return std::fclose(f) == 0;
    }

private:
    std::FILE *m_file;
};

std::string errnoText(int error)
{
    return std::strerror(error);
}

} // namespace

MapLoadResult loadMapFile(const std::filesystem::path &path, MapGeometry &geometry)
{
    errno = 0;
    FileCloser file(std::fopen(path.string().c_str(), "rb"));
    if (file.get() == nullptr) {
        const int error = errno;
        if (error == ENOENT)
            return {MapLoadStatus::Missing, {}};
        return {MapLoadStatus::Unreadable, errnoText(error)};
    }

    std::vector<std::uint8_t> bytes(kMapFileSize);
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const std::size_t n =
            std::fread(bytes.data() + filled, 1, bytes.size() - filled, file.get());
        filled += n;
        if (n == 0)
            break;
    }
    if (std::ferror(file.get()) != 0)
        return {MapLoadStatus::Unreadable, errnoText(errno != 0 ? errno : EIO)};

    bytes.resize(filled);
    geometry = parseMapGeometry(bytes);
    return {MapLoadStatus::Loaded, {}};
}

std::string writeFileReplacing(const std::filesystem::path &path,
                               const std::vector<std::uint8_t> &bytes)
{
    std::filesystem::path temp = path;
    temp += ".part";

    errno = 0;
    FileCloser file(std::fopen(temp.string().c_str(), "wb"));
    if (file.get() == nullptr)
        return "cannot create " + temp.string() + ": " + errnoText(errno);

    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const int writeError = errno;
    const bool closed = file.close();
    if (!written || !closed) {
        const int error = written ? errno : writeError;
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return "cannot write " + temp.string() + ": " + errnoText(error != 0 ? error : EIO);
    }

    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return "cannot replace " + path.string() + ": " + ec.message();
    }
    return {};
}

std::string saveMapFile(const std::filesystem::path &path, const MapGeometry &geometry)
{
    return writeFileReplacing(path, serializeMapGeometry(geometry));
}

} // namespace relm
