#pragma once

#include "model/colours.h"

#include <QPushButton>

#include <cstdint>

namespace relm {

// A command button whose caption wraps onto further lines when it is wider than the button, as
// the console's small square buttons need for their Japanese captions. In the graphical style a
// back colour other than the button face fills the button solid, inside its frame, as the
// operator knows it; the style's own shading would wash it out.
class WrapButton final : public QPushButton
{
    Q_OBJECT

public:
    WrapButton(const QString &caption, QWidget *parent);
    WrapButton(const WrapButton &) = delete;
    WrapButton &operator=(const WrapButton &) = delete;

    // 0x00BBGGRR, or the button face (kButtonFaceColour) for the style's own look.
    void setBackColour(std::uint32_t colour);
    std::uint32_t backColour() const { return m_backColour; }

    // Where the caption is drawn, and how it wraps there: anywhere for a caption without blanks
    // (Japanese has none to break at), at the blanks for one with them ("Initial data").
    QRect captionArea() const;
    static int captionFlags(const QString &caption);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::uint32_t m_backColour = kButtonFaceColour;
};

} // namespace relm
