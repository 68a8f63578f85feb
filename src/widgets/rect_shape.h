#pragma once

#include <QWidget>

#include <cstdint>

namespace relm {

// A rectangle shape placed in twips: a border and, when opaque, a fill. Its top and height can be
// set and read back in twips as the status handling does with the speed bars.
class RectShape final : public QWidget
{
    Q_OBJECT

public:
    enum class Fill { Transparent, Opaque };

    RectShape(QWidget *parent, int left, int top, int width, int height);
    RectShape(const RectShape &) = delete;
    RectShape &operator=(const RectShape &) = delete;

    void setFill(Fill fill, std::uint32_t fillColour = 0xFFFFFF);
    void setBorderColour(std::uint32_t colour);

    int leftTwips() const { return m_left; }
    int topTwips() const { return m_top; }
    int widthTwips() const { return m_width; }
    int heightTwips() const { return m_height; }
    void setTopTwips(int top);
    void setHeightTwips(int height);

    Fill fill() const { return m_fill; }
    std::uint32_t fillColour() const { return m_fillColour; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void place();

    int m_left;
    int m_top;
    int m_width;
    int m_height;
    Fill m_fill = Fill::Transparent;
    std::uint32_t m_fillColour = 0xFFFFFF;
    std::uint32_t m_borderColour = 0x000000;
};

} // namespace relm
