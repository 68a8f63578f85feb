#include "widgets/wrap_button.h"

#include "widgets/ui_units.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace relm {

namespace {
constexpr int kFrameWidth = 2; // pixels of the style's frame left around a solid back colour
}

WrapButton::WrapButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{}

void WrapButton::setBackColour(std::uint32_t colour)
{
    if (colour == m_backColour)
        return;
    m_backColour = colour;
    update();
}

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    if ((m_backColour & kSystemColourFlag) == 0) {
        p.fillRect(rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth),
                   toQColor(m_backColour));
    }

    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(captionArea(), captionFlags(caption), caption);
}

QRect WrapButton::captionArea() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

int WrapButton::captionFlags(const QString &caption)
{
    const bool blanks = caption.contains(u' ');
    return Qt::AlignCenter | (blanks ? Qt::TextWordWrap : Qt::TextWrapAnywhere);
}

} // namespace relm
