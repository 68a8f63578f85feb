#pragma once

// What the panel pages are told, as JSON text: the console's state with every train as the main
// window shows it, and the map geometry. Colours are "#rrggbb", or null for the button face.

#include "map/map_geometry.h"

#include <QByteArray>

namespace relm {

class Console;

// The fields of a state message, without the braces around them, so the sender can put the
// page's own sequence number and rights in front:
//   "console":{...},"trains":[{...},{...},{...}],"fills":["#rrggbb",...]
QByteArray panelStateFields(const Console &console, const MapGeometry &map);

// The map message: the window's size and every drawn polygon with its corners and label anchor.
QByteArray panelMapFields(const MapGeometry &map);

} // namespace relm
