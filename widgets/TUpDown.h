#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

// Up-down buttons tied to a read-only field that shows the position.
// Setting the position from code emits nothing; a press of either button
// moves the position within [Min, Max] (no wrap-around) and always emits
// Click afterwards, also when the position was already at its limit.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Position() const { return position; }
    void SetPosition(int value);
    void SetRange(int min, int max);
    int Min() const { return minimum; }
    int Max() const { return maximum; }
    // The field that shows the position.
    void SetAssociate(QLineEdit* field);

    QToolButton* UpButton() const { return up; }
    QToolButton* DownButton() const { return down; }

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void step(int delta);
    void showPosition();

    int position = 0;
    int minimum = 0;
    int maximum = 100;
    QLineEdit* associate = nullptr;
    QToolButton* up;
    QToolButton* down;
};
