#include "widgets/up_down.h"

#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

namespace relm {

UpDown::UpDown(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    setFocusPolicy(Qt::StrongFocus);
    for (QToolButton *b : {m_up, m_down}) {
        b->setAutoRepeat(true); // held down, the value keeps stepping like a spin control
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(6, 6));
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);

    // Buttons
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    setValue(m_value);
}

void UpDown::setSingleStep(int step)
{
    m_step = std::max(1, step);
}

void UpDown::setBuddy(QLabel *label)
{
    m_buddy = label;
    showValue();
}

void UpDown::setValue(int value)
{
    const int v = std::clamp(value, m_minimum, m_maximum);
    if (v == m_value) {
        showValue(); // a new range or buddy still needs the label to agree
        return;
    }
    m_value = v;
    showValue();
    emit valueChanged(m_value);
}

void UpDown::stepUp()
{
    stepBy(1);
}

void UpDown::stepDown()
{
    stepBy(-1);
}

void UpDown::stepBy(int steps)
{
    // In 64 bits, so that a large step near the ends of int cannot overflow.
    const long long target =
        static_cast<long long>(m_value) + static_cast<long long>(steps) * m_step;
    if (target > m_maximum) {
        setValue(m_wrap ? m_minimum : m_maximum);
    } else if (target < m_minimum) {
        setValue(m_wrap ? m_maximum : m_minimum);
    } else {
        setValue(static_cast<int>(target));
    }
}

void UpDown::showValue()
{
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
}

void UpDown::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        stepUp();
        break;
    case Qt::Key_Down:
        stepDown();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void UpDown::wheelEvent(QWheelEvent *event)
{
    const int dy = event->angleDelta().y();
    if (dy > 0)
        stepUp();
    else if (dy < 0)
        stepDown();
    event->accept();
}

void UpDown::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Up arrow in the upper half, down arrow in the lower half.
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

} // namespace relm
