#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

class QToolButton;

namespace relm {

// An up-down spinner: two arrow buttons stepping an integer within a range, bound to a label
// that always shows the current value. Nothing else needs to write the label.
class UpDown final : public QWidget
{
    Q_OBJECT

public:
    explicit UpDown(QWidget *parent = nullptr);
    UpDown(const UpDown &) = delete;
    UpDown &operator=(const UpDown &) = delete;

    // Sets the range; the value is brought into it. A maximum below the minimum is raised to it.
    void setRange(int minimum, int maximum);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

    void setSingleStep(int step); // steps below 1 count as 1
    int singleStep() const { return m_step; }

    // Whether stepping past one end continues from the other; off by default.
    void setWrapping(bool wrap) { m_wrap = wrap; }
    bool wrapping() const { return m_wrap; }

    int value() const { return m_value; }

    // The label that shows the value from now on; it is updated at once. nullptr unbinds.
    void setBuddy(QLabel *label);
    QLabel *buddy() const { return m_buddy; }

    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

public slots:
    // Sets the value, brought into the range.
    void setValue(int value);
    void stepUp();
    void stepDown();

signals:
    void valueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void stepBy(int steps);
    void showValue();

    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
    QPointer<QLabel> m_buddy;
    int m_minimum = 0;
    int m_maximum = 10;
    int m_step = 1;
    int m_value = 0;
    bool m_wrap = false;
};

} // namespace relm
