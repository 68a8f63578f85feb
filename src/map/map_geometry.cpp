#include "map/map_geometry.h"

#include <algorithm>

namespace relm {

namespace {

// Byte i of a padded view: zero past the end of the input.
class ByteReader final
{
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes)
    {}

    std::uint32_t u32(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(at(offset)) |
               static_cast<std::uint32_t>(at(offset + 1)) << 8 |
               static_cast<std::uint32_t>(at(offset + 2)) << 16 |
               static_cast<std::uint32_t>(at(offset + 3)) << 24;
    }

    std::uint16_t u16(std::size_t offset) const
    {
        return static_cast<std::uint16_t>(at(offset) | at(offset + 1) << 8);
    }

    MapPoint point(std::size_t offset) const
    {
        return {static_cast<std::int32_t>(u32(offset)), static_cast<std::int32_t>(u32(offset + 4))};
    }

private:
    std::uint8_t at(std::size_t offset) const
    {
        return offset < m_bytes.size() ? m_bytes[offset] : std::uint8_t{0};
    }

    std::span<const std::uint8_t> m_bytes;
};

void putU32(std::vector<std::uint8_t> &out, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putPoint(std::vector<std::uint8_t> &out, std::size_t offset, MapPoint p)
{
    putU32(out, offset, static_cast<std::uint32_t>(p.x));
    putU32(out, offset + 4, static_cast<std::uint32_t>(p.y));
}

} // namespace

MapGeometry parseMapGeometry(std::span<const std::uint8_t> bytes)
{
    const ByteReader in(bytes);
    MapGeometry g;
    for (std::size_t i = 0; i < g.MapPoints.size(); ++i)
        g.MapPoints[i] = in.point(kMapPointsOffset + kMapPointBytes * i);
    for (std::size_t i = 0; i < g.MapPointCount.size(); ++i)
        g.MapPointCount[i] = static_cast<std::int16_t>(in.u16(kMapPointCountOffset + 2 * i));
    for (std::size_t i = 0; i < g.MapLabelPos.size(); ++i)
        g.MapLabelPos[i] = in.point(kMapLabelPosOffset + kMapPointBytes * i);
    g.MapPolyCount = g.MapPointCount[kMapPolyCountSlot];
    return g;
}

std::vector<std::uint8_t> serializeMapGeometry(const MapGeometry &geometry)
{
    std::vector<std::uint8_t> out(kMapFileSize, 0);
    for (std::size_t i = 0; i < geometry.MapPoints.size(); ++i)
        putPoint(out, kMapPointsOffset + kMapPointBytes * i, geometry.MapPoints[i]);
    for (std::size_t i = 0; i < geometry.MapPointCount.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(geometry.MapPointCount[i]);
        out[kMapPointCountOffset + 2 * i] = static_cast<std::uint8_t>(v);
        out[kMapPointCountOffset + 2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    for (std::size_t i = 0; i < geometry.MapLabelPos.size(); ++i)
        putPoint(out, kMapLabelPosOffset + kMapPointBytes * i, geometry.MapLabelPos[i]);
    return out;
}

int drawnPolygonCount(const MapGeometry &geometry)
{
    return std::clamp(static_cast<int>(geometry.MapPolyCount), 0, kMapMaxPolygons);
}

std::span<const MapPoint> polygonPoints(const MapGeometry &geometry, int polygon)
{
    if (polygon < 0 || polygon >= kMapMaxPolygons)
        return {};
    const auto p = static_cast<std::size_t>(polygon);
    const int count = std::clamp(static_cast<int>(geometry.MapPointCount[p]), 0, kMapPointsPerSlot);
    return std::span<const MapPoint>(geometry.MapPoints)
        .subspan(p * kMapPointsPerSlot, static_cast<std::size_t>(count));
}

} // namespace relm
