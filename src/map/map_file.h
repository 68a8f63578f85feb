#pragma once

// Reading and writing kukan.dat on disk; the byte layout itself is in map_geometry.h.

#include "map/map_geometry.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace relm {

enum class MapLoadStatus {
    Loaded,     // the tables now hold the file (zeros past the end of a short file)
    Missing,    // no such file: the tables are left as they were
    Unreadable, // the file exists but cannot be opened or read: the tables are left as they were
};

struct MapLoadResult
{
    MapLoadStatus status = MapLoadStatus::Missing;
    std::string reason; // why an existing file could not be read (empty otherwise)
};

// Reads the file at path into geometry. Only a successful read replaces the tables.
MapLoadResult loadMapFile(const std::filesystem::path &path, MapGeometry &geometry);

// Writes bytes to path through a temporary file in the same directory that is renamed over it,
// so a failed write never leaves a partial file. Returns an empty string on success, else why.
std::string writeFileReplacing(const std::filesystem::path &path,
                               const std::vector<std::uint8_t> &bytes);

// Writes the geometry as a complete kukan.dat.
std::string saveMapFile(const std::filesystem::path &path, const MapGeometry &geometry);

} // namespace relm
