#pragma once

#include <QPushButton>

namespace relm {

// A command button whose caption wraps onto further lines when it is wider than the button, as
// the console's small square buttons need for their Japanese captions.
class WrapButton final : public QPushButton
{
    Q_OBJECT

public:
    WrapButton(const QString &caption, QWidget *parent);
    WrapButton(const WrapButton &) = delete;
    WrapButton &operator=(const WrapButton &) = delete;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace relm
