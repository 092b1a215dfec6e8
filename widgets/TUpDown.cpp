#include "widgets/TUpDown.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), up(new QToolButton(this)), down(new QToolButton(this)) {
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
    }
    setFocusPolicy(Qt::TabFocus);
    connect(up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
}

void TUpDown::SetPosition(int value) {
    position = std::clamp(value, minimum, maximum);
    showPosition();
}

void TUpDown::SetRange(int min, int max) {
    minimum = min;
    maximum = max;
    SetPosition(position);
}

void TUpDown::SetAssociate(QLineEdit* field) {
    associate = field;
    showPosition();
}

void TUpDown::step(int delta) {
    position = std::clamp(position + delta, minimum, maximum);
    showPosition();
    emit Click();
}

void TUpDown::showPosition() {
    if (associate)
        associate->setText(QString::number(position));
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up->setGeometry(0, 0, width(), half);
    down->setGeometry(0, half, width(), height() - half);
}

void TUpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up)
        step(+1);
    else if (event->key() == Qt::Key_Down)
        step(-1);
    else
        QWidget::keyPressEvent(event);
}
