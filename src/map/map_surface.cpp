#include "map/map_surface.h"

#include "widgets/ui_units.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

namespace relm {

namespace {

// A painter on the picture with the device-context defaults: no smoothing, so edges land on
// whole pixels as the geometry gives them.
void beginPainter(QPainter &painter, QImage &image)
{
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
}

} // namespace

MapSurface::MapSurface(QSize size, qreal devicePixelRatio, QColor background, QColor textColour,
                       const QFont &font)
    : m_size(size)
    , m_image(size * devicePixelRatio, QImage::Format_RGB32)
    , m_background(background)
    , m_textColour(textColour)
    , m_font(font)
{
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_brushes.emplace(kStockBrush, QColor(Qt::white));
    clear();
}

MapSurface::Handle MapSurface::createSolidBrush(std::uint32_t bgr)
{
    const Handle handle = m_nextHandle++;
    m_brushes.emplace(handle, toQColor(bgr & 0x00FFFFFFu));
    ++m_created;
    return handle;
}

MapSurface::Handle MapSurface::selectObject(Handle object)
{
    if (m_brushes.find(object) == m_brushes.end())
        return kNoObject;
    const Handle previous = m_selected;
    m_selected = object;
    return previous;
}

bool MapSurface::deleteObject(Handle object)
{
    if (object == kStockBrush || object == m_selected)
        return false;
    return m_brushes.erase(object) == 1;
}

void MapSurface::polygon(std::span<const QPoint> points)
{
    if (points.size() < 2)
        return;
    QPolygon shape;
    shape.reserve(static_cast<int>(points.size()));
    for (const QPoint &p : points)
        shape.append(p);

    QPainter painter;
    beginPainter(painter, m_image);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_brushes.at(m_selected));
    painter.drawPolygon(shape, Qt::OddEvenFill);
}

void MapSurface::rectangle(QPoint a, QPoint b, QColor colour)
{
    QPainter painter;
    beginPainter(painter, m_image);
    painter.setPen(QPen(colour, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(a, b).normalized().adjusted(0, 0, -1, -1));
}

void MapSurface::textOut(QPoint position, const QString &text)
{
    QPainter painter;
    beginPainter(painter, m_image);
    painter.setFont(m_font);
    painter.setPen(m_textColour);
    painter.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics metrics(m_font);
    painter.drawText(position + QPoint(0, metrics.ascent()), text);
}

void MapSurface::clear()
{
    m_image.fill(m_background);
}

QColor MapSurface::pixel(QPoint point) const
{
    const QPoint device = point * m_image.devicePixelRatio();
    if (!m_image.rect().contains(device))
        return {};
    return m_image.pixelColor(device);
}

} // namespace relm
