#pragma once

// A retained picture with the small device-context layer the map drawing uses.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <map>
#include <span>

namespace relm {

// The map window's picture: kept between repaints, drawn through brush handles, one selected
// brush and a one-pixel black pen. It counts brushes so a drawing pass can be checked for leaks.
class MapSurface final
{
public:
    using Handle = std::uint32_t;
    static constexpr Handle kNoObject = 0;

    // size in device-independent pixels; the picture is kept at devicePixelRatio times that.
    MapSurface(QSize size, qreal devicePixelRatio, QColor background, QColor textColour,
               const QFont &font);
    MapSurface(const MapSurface &) = delete;
    MapSurface &operator=(const MapSurface &) = delete;

    // A new solid brush of colour 0x00BBGGRR; it lives until deleteObject.
    Handle createSolidBrush(std::uint32_t bgr);
    // Selects object and returns the one selected before; kNoObject (and no change) if object
    // is not a live brush.
    Handle selectObject(Handle object);
    // Deletes a brush made by createSolidBrush. Refused (false) for the stock brush, for the
    // selected brush and for anything not alive.
    bool deleteObject(Handle object);

    // Filled with the selected brush, outlined with the pen. Fewer than two points draw nothing.
    void polygon(std::span<const QPoint> points);
    // Outline of the rectangle with corners a and b, both included, in colour.
    void rectangle(QPoint a, QPoint b, QColor colour);
    // Text whose top-left corner is at position, in the text colour, without a background.
    void textOut(QPoint position, const QString &text);
    // The whole picture back to the background colour.
    void clear();

    const QImage &image() const { return m_image; }
    QSize size() const { return m_size; }
    qreal devicePixelRatio() const { return m_image.devicePixelRatio(); }
    QColor background() const { return m_background; }
    // Colour at a point given in device-independent pixels.
    QColor pixel(QPoint point) const;

    Handle selectedObject() const { return m_selected; }
    Handle stockBrush() const { return kStockBrush; }
    int liveBrushCount() const { return static_cast<int>(m_brushes.size()) - 1; }
    int createdBrushCount() const { return m_created; }

private:
    static constexpr Handle kStockBrush = 1; // white, selected until something else is

    QSize m_size;
    QImage m_image;
    QColor m_background;
    QColor m_textColour;
    QFont m_font;
    std::map<Handle, QColor> m_brushes; // live brushes, the stock brush included
    Handle m_selected = kStockBrush;
    Handle m_nextHandle = kStockBrush + 1;
    int m_created = 0;
};

} // namespace relm
