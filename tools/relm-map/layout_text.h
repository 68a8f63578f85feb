#pragma once

// The readable source of kukan.dat: one line per polygon, edited by hand and turned into the
// binary file by relm-map.
//
//   # a comment runs from '#' to the end of the line; blank lines are ignored
//   polygons N                  number of polygons drawn (entry 100 of the point counts)
//   poly D [count C] label X,Y points X,Y ... [unused X,Y ...]
//   spare label X,Y [unused X,Y ...]
//
// poly D describes slot D (0..99): the label anchor, the corner points that are drawn and, after
// 'unused', points stored in the slot after the drawn ones (never drawn). The point count is the
// number of points listed under 'points'; 'count C' stores another value, which only a count
// outside 0..11 needs (the points listed are then the 0 or 11 that are drawn). spare describes
// slot 100, whose count entry holds N. Slots not described are all zero.

#include "map/map_geometry.h"

#include <string>
#include <string_view>
#include <vector>

namespace relm {

struct LayoutError
{
    int line = 0; // 1-based; 0 for the text as a whole
    std::string message;

    friend bool operator==(const LayoutError &, const LayoutError &) = default;
};

struct LayoutParseResult
{
    MapGeometry geometry;
    std::vector<LayoutError> errors; // empty when the text is valid
};

LayoutParseResult parseLayoutText(std::string_view text);

// The text of a geometry; parsing it gives the same geometry back, whatever the tables hold.
std::string formatLayoutText(const MapGeometry &geometry);

} // namespace relm
