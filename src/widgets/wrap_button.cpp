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

    // Japanese captions have no blanks to break at: wrap anywhere, centred.
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                             QPalette::ButtonText));
    p.drawText(area, Qt::AlignCenter | Qt::TextWrapAnywhere, caption);
}

} // namespace relm
