#pragma once

// The section map's geometry as kukan.dat stores it: 101 slots of 11 corner points, one point
// count per slot (slot 100 holds the number of polygons instead), and one label anchor per slot.
// Coordinates are pixels of the map window's client area, origin top-left, y downwards.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace relm {

inline constexpr int kMapSlots = 101;         // polygon slots 0..100; slot 100 is never drawn
inline constexpr int kMapPointsPerSlot = 11;  // corner points per slot
inline constexpr int kMapMaxPolygons = 100;   // largest number of polygons drawn
inline constexpr int kMapPolyCountSlot = 100; // MapPointCount entry that holds N

// File layout: three tables, little-endian, no header.
inline constexpr std::size_t kMapPointBytes = 8; // x then y, signed 32-bit each
inline constexpr std::size_t kMapPointsOffset = 0;
inline constexpr std::size_t kMapPointCountOffset = 8888;
inline constexpr std::size_t kMapLabelPosOffset = 9090;
inline constexpr std::size_t kMapFileSize = 9898;

inline constexpr const char *kMapFileName = "kukan.dat";

struct MapPoint
{
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend bool operator==(const MapPoint &, const MapPoint &) = default;
};

// The three tables exactly as the file holds them, plus the drawn polygon count copied out of
// MapPointCount entry 100.
struct MapGeometry
{
    std::array<MapPoint, kMapSlots * kMapPointsPerSlot> MapPoints{}; // slot p, point k at 11p + k
    std::array<std::int16_t, kMapSlots> MapPointCount{}; // points per polygon; entry 100 is N
    std::array<MapPoint, kMapSlots> MapLabelPos{};       // number label anchor per polygon
    std::int16_t MapPolyCount = 0;                       // N, as read from entry 100

    friend bool operator==(const MapGeometry &, const MapGeometry &) = default;
};

// Reads the tables from file bytes. Bytes past the end of a short input leave their entries zero
// (a partly covered entry keeps the bytes it has); bytes past 9,898 are ignored.
MapGeometry parseMapGeometry(std::span<const std::uint8_t> bytes);

// The 9,898 file bytes of the tables. MapPolyCount is not written: entry 100 of MapPointCount is.
std::vector<std::uint8_t> serializeMapGeometry(const MapGeometry &geometry);

// Number of polygons to draw: N limited to 0..100, so a negative N draws nothing.
int drawnPolygonCount(const MapGeometry &geometry);

// Corner points of polygon p (0..99) as drawn: the first MapPointCount(p) points of its slot,
// with the count limited to 0..11. Any other p gives no points.
std::span<const MapPoint> polygonPoints(const MapGeometry &geometry, int polygon);

} // namespace relm
