// A spin edit that takes no typing: its value moves only by its arrows, arrow keys or wheel, one step
// at a time, and setting it clamps to the range without rounding to the step.
#pragma once

#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>

namespace tevro {

class SpinEdit : public QSpinBox {
public:
    SpinEdit(int minimum, int maximum, int step, int value, QWidget* parent = nullptr) : QSpinBox(parent) {
        setRange(minimum, maximum);
        setSingleStep(step);
        setValue(value);
        lineEdit()->setReadOnly(true);
        setContextMenuPolicy(Qt::NoContextMenu);
        lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    }

protected:
    // Qt pages by ten steps; here every key moves one step, like the arrows.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
            stepBy(event->key() == Qt::Key_PageUp ? 1 : -1);
            event->accept();
            return;
        }
        QSpinBox::keyPressEvent(event);
    }
};

} // namespace tevro
