#include "widgets/ui_units.h"

#include <QApplication>
#include <QPalette>

namespace relm {

QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

QColor toQColor(std::uint32_t bgr)
{
    if ((bgr & 0x80000000u) != 0) {
        // System colour index in the low byte; 15 is the button face, the only one we use for
        // buttons. Index 10 (active border) and 9 (caption text) appear as window colours.
        const QPalette palette = QApplication::palette();
        switch (bgr & 0xFFu) {
        case 9:
            return QColor(Qt::white);
        case 10:
            return palette.color(QPalette::Window);
        default:
            return palette.color(QPalette::Button);
        }
    }
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

} // namespace relm
