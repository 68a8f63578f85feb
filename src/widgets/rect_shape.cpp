#include "widgets/rect_shape.h"

#include "widgets/ui_units.h"

#include <QPainter>

#include <algorithm>

namespace relm {

RectShape::RectShape(QWidget *parent, int left, int top, int width, int height)
    : QWidget(parent)
    , m_left(left)
    , m_top(top)
    , m_width(width)
    , m_height(height)
{
    // Shapes are drawings, not controls: clicks go to whatever lies beneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    place();
}

void RectShape::setFill(Fill fill, std::uint32_t fillColour)
{
    m_fill = fill;
    m_fillColour = fillColour;
    update();
}

void RectShape::setBorderColour(std::uint32_t colour)
{
    m_borderColour = colour;
    update();
}

void RectShape::setTopTwips(int top)
{
    m_top = top;
    place();
}

void RectShape::setHeightTwips(int height)
{
    m_height = height;
    place();
}

void RectShape::place()
{
    // A negative height would be an invalid rectangle; such a shape is simply not drawn.
    const QRect r = twipsRect(m_left, m_top, m_width, std::max(m_height, 0));
    setGeometry(r);
    setVisible(r.height() > 0 && r.width() > 0);
}

void RectShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    if (m_fill == Fill::Opaque)
        p.fillRect(rect(), toQColor(m_fillColour));
    p.setPen(toQColor(m_borderColour));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
}

} // namespace relm
