#pragma once

#include <QLineEdit>
#include <functional>
#include <stdexcept>

// The framework's conversion error: "'%s' is not a valid floating point value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One-line edit control with mouse enter/leave notices; the alignment is the
// line edit's own (left by default). Black background, lime text by default.
class TVrCustomEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TVrCustomEdit(QWidget* parent = nullptr);

signals:
    void MouseEnter();
    void MouseLeave();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// Numeric field with limits and decimals: filters keystrokes, toggles the sign
// with "-", tidies the text when it loses focus. Limits are not enforced on
// the text: an out-of-range text stays as typed.
//
// Typed characters pass only when they are a digit, backspace or the decimal
// separator (not with Decimals 0, and only once); "-" toggles the sign; every
// other character, Enter and Esc included, is dropped (Esc first restores the
// text held at focus entry when RestoreOnEsc is set). Shortcuts and keys that
// type nothing (arrows, Delete, Ctrl+V) are the line edit's own, so pasted
// text is not filtered, but its length is (MaxLength). Numbers are read and
// written with DecimalSeparator().
class TVrNumEdit : public TVrCustomEdit {
    Q_OBJECT
public:
    explicit TVrNumEdit(QWidget* parent = nullptr);

    double MinValue() const { return minValue; }
    double MaxValue() const { return maxValue; }
    int Decimals() const { return decimals; }
    bool RestoreOnEsc = false;

    // Ignored unless v differs and stays below MaxValue; then validates.
    void SetMinValue(double v);
    // Ignored unless v differs and stays above MinValue; then validates.
    void SetMaxValue(double v);
    // Kept within 0..18; validates when the number changes.
    void SetDecimals(int n);
    // The most characters the operator can type, paste or drop in (default
    // 32767). An edit of the operator's that would leave the text longer than
    // this and longer than it was is refused whole. Text that the program
    // sets (setText, SetValue, Validate) is never cut: a longer value shows
    // whole, and the operator can then only shorten it. Use this, not the
    // line edit's setMaxLength, which cuts the program's text too.
    int MaxLength() const { return typingLimit; }
    void SetMaxLength(int n);
    // Shortest general notation (15 significant digits), then validates.
    void SetValue(double v);
    // Empty text gives MinValue; a text that is not a number throws
    // EConvertError "'<text>' is not a valid floating point value". No range
    // check.
    double GetValue() const;
    // Blank text: nothing. A number within the limits: rewritten in fixed
    // point with Decimals digits ("0012" becomes "12"). Otherwise OnError, if
    // assigned, runs with canExit true; false gives the focus back to the
    // field. Runs when the field loses focus and after each setter above.
    virtual void Validate();

    // Called by Validate for a text that is not a number or out of range.
    std::function<void(TVrNumEdit& sender, bool& canExit)> OnError;

    // The user's decimal separator: that of the default QLocale (the
    // system's unless the application sets another).
    static QString DecimalSeparator();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override; // middle button pastes on X11

private:
    void ToggleSign();
    // Runs an edit of the operator's with MaxLength enforced on its result.
    void OperatorEdit(const std::function<void()>& edit);
    bool Fits(const QString& result) const;

    double minValue = 0;
    double maxValue = 9999;
    int decimals = 0;
    int typingLimit = 32767;
    // The text's length when the running edit of the operator's began; -1
    // while none runs.
    qsizetype lengthBeforeEdit = -1;
    QString textAtFocusEntry;
    // True from focus entry until the focus moves to another control; a popup
    // or another window taking the keyboard meanwhile does not leave the field.
    bool entered = false;
};
