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
    if ((bgr & kSystemColourFlag) != 0) {
        const QPalette palette = QApplication::palette();
        switch (bgr) {
        case kCaptionTextColour:
            return QColor(Qt::white);
        case kActiveBorderColour:
            return palette.color(QPalette::Window);
        case kButtonFaceColour:
            return palette.color(QPalette::Button);
        default:
            Q_ASSERT_X(false, "toQColor", "system colour index the windows do not use");
            return palette.color(QPalette::Button);
        }
    }
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

} // namespace relm
