#include "widgets/wrap_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace relm {

WrapButton::WrapButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{}

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);

    // Japanese captions have no blanks to break at: wrap anywhere, centred.
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                             QPalette::ButtonText));
    p.drawText(area, Qt::AlignCenter | Qt::TextWrapAnywhere, caption);
}

} // namespace relm
