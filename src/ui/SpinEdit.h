// A spin edit that takes no typing: its value moves only by its arrows, arrow keys or wheel, one step
// at a time, and setting it clamps to the range without rounding to the step.
#pragma once

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
};

} // namespace tevro
