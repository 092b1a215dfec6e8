#include "widgets/TVrNumEdit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Reads the whole text as a number: optional blanks around it, an optional
// sign, digits with at most one decimal separator (at least one digit), an
// optional exponent. Group separators, "inf", "nan" and trailing characters
// make it fail, as does a value out of the double range.
bool ToNumber(const QString& text, const QString& separator, double& value) {
    const QString s = text.trimmed();
    QString plain;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        plain += s[i++];
    int digits = 0;
    for (; i < s.size() && IsAsciiDigit(s[i]); ++i, ++digits)
        plain += s[i];
    if (s.mid(i).startsWith(separator)) {
        i += separator.size();
        plain += u'.';
        for (; i < s.size() && IsAsciiDigit(s[i]); ++i, ++digits)
            plain += s[i];
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        plain += s[i++];
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
            plain += s[i++];
        const qsizetype exponentStart = i;
        for (; i < s.size() && IsAsciiDigit(s[i]); ++i)
            plain += s[i];
        if (i == exponentStart)
            return false;
    }
    if (i != s.size())
        return false;
    bool ok = false;
    value = QLocale::c().toDouble(plain, &ok);
    return ok && std::isfinite(value);
}

// "-0" and its rounded cousins ("-0.00" from -0.001) are written without the sign.
QString WithoutNegativeZero(QString text) {
    if (text.startsWith(u'-') && std::all_of(text.begin() + 1, text.end(),
                                             [](QChar c) { return !IsAsciiDigit(c) || c == u'0'; }))
        text.remove(0, 1);
    return text;
}

QString WithSeparator(QString text, const QString& separator) {
    return text.replace(u'.', separator);
}

// The line edit asks its validator after every change: an edit of the
// operator's that is refused is undone whole, text set by the program is
// kept as it is. A refused setText would also leave the line edit believing
// its text invalid and stop undoing the operator's next edits, so the test
// must pass every text that the program sets.
class LengthCheck : public QValidator {
public:
    LengthCheck(std::function<bool(const QString&)> fits, QObject* parent)
        : QValidator(parent), fits_(std::move(fits)) {}

    State validate(QString& input, int&) const override {
        return fits_(input) ? Acceptable : Invalid;
    }

private:
    std::function<bool(const QString&)> fits_;
};

} // namespace

TVrCustomEdit::TVrCustomEdit(QWidget* parent) : QLineEdit(parent) {
    QPalette colours = palette();
    // Disabled, the field keeps the style's colours, like any disabled field.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Base, Qt::black);
        colours.setColor(group, QPalette::Text, QColor(0x00, 0xFF, 0x00));
    }
    setPalette(colours);
}

void TVrCustomEdit::enterEvent(QEnterEvent* event) {
    QLineEdit::enterEvent(event);
    emit MouseEnter();
}

void TVrCustomEdit::leaveEvent(QEvent* event) {
    QLineEdit::leaveEvent(event);
    emit MouseLeave();
}

TVrNumEdit::TVrNumEdit(QWidget* parent) : TVrCustomEdit(parent) {
    // Composed input would reach the text without passing the key filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setValidator(new LengthCheck([this](const QString& result) { return Fits(result); }, this));
}

void TVrNumEdit::SetMaxLength(int n) {
    typingLimit = std::clamp(n, 0, 32767);
}

bool TVrNumEdit::Fits(const QString& result) const {
    return lengthBeforeEdit < 0 || result.size() <= typingLimit ||
           result.size() <= lengthBeforeEdit;
}

void TVrNumEdit::OperatorEdit(const std::function<void()>& edit) {
    lengthBeforeEdit = text().size();
    const auto done = qScopeGuard([this] { lengthBeforeEdit = -1; });
    edit();
}

QString TVrNumEdit::DecimalSeparator() {
    return QLocale().decimalPoint();
}

void TVrNumEdit::SetMinValue(double v) {
    if (v == minValue || !(v < maxValue))
        return;
    minValue = v;
    Validate();
}

void TVrNumEdit::SetMaxValue(double v) {
    if (v == maxValue || !(v > minValue))
        return;
    maxValue = v;
    Validate();
}

void TVrNumEdit::SetDecimals(int n) {
    n = std::clamp(n, 0, 18);
    if (n == decimals)
        return;
    decimals = n;
    Validate();
}

void TVrNumEdit::SetValue(double v) {
    QString shown;
    if (std::isnan(v))
        shown = QStringLiteral("NAN");
    else if (std::isinf(v))
        shown = v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    else
        shown = WithSeparator(QString::number(v + 0.0, 'g', 15), DecimalSeparator());
    setText(shown);
    Validate();
}

double TVrNumEdit::GetValue() const {
    const QString shown = text();
    if (shown.isEmpty())
        return minValue;
    double value = 0;
    if (!ToNumber(shown, DecimalSeparator(), value))
        throw EConvertError(
            QStringLiteral("'%1' is not a valid floating point value").arg(shown).toStdString());
    return value;
}

void TVrNumEdit::Validate() {
    if (text().trimmed().isEmpty())
        return;
    const QString separator = DecimalSeparator();
    double value = 0;
    if (ToNumber(text(), separator, value) && minValue <= value && value <= maxValue) {
        const QString tidy =
            WithSeparator(WithoutNegativeZero(QString::number(value, 'f', decimals)), separator);
        if (tidy != text())
            setText(tidy);
        return;
    }
    if (!OnError)
        return;
    bool canExit = true;
    OnError(*this, canExit);
    // Queued: this may run inside the focus change that is leaving the field.
    if (!canExit)
        QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
}

void TVrNumEdit::ToggleSign() {
    if (isReadOnly())
        return;
    const int caret = cursorPosition();
    if (text().contains(u'-')) {
        setSelection(0, 1);
        del();
        setCursorPosition(std::max(caret - 1, 0));
        return;
    }
    // A sign that does not fit leaves the field as it is.
    if (text().size() >= typingLimit)
        return;
    setCursorPosition(0);
    insert(QStringLiteral("-"));
    setCursorPosition(caret + 1);
}

void TVrNumEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        if (RestoreOnEsc && !isReadOnly())
            setText(textAtFocusEntry);
        // Not typed, but a dialog around the field may still want it.
        event->ignore();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    const QString typed = event->text();
    const bool typesCharacter = !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) &&
                                !typed.isEmpty() && typed.front().isPrint();
    if (!typesCharacter) {
        // Undo and redo bring back texts the field has held; refused, such a
        // text would stay anyway and the line edit would stop refusing edits.
        if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
            TVrCustomEdit::keyPressEvent(event);
        else
            OperatorEdit([&] { TVrCustomEdit::keyPressEvent(event); });
        return;
    }
    const QString separator = DecimalSeparator();
    bool passes = false;
    if (typed == u"-")
        ToggleSign();
    else if (typed == separator)
        passes = decimals > 0 && !text().contains(separator);
    else
        passes = typed.size() == 1 && IsAsciiDigit(typed.front());
    if (passes)
        OperatorEdit([&] { TVrCustomEdit::keyPressEvent(event); });
    else
        event->accept();
}

void TVrNumEdit::focusInEvent(QFocusEvent* event) {
    TVrCustomEdit::focusInEvent(event);
    const bool returning = entered && (event->reason() == Qt::ActiveWindowFocusReason ||
                                       event->reason() == Qt::PopupFocusReason);
    if (!returning)
        textAtFocusEntry = text();
    entered = true;
}

void TVrNumEdit::focusOutEvent(QFocusEvent* event) {
    TVrCustomEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    entered = false;
    Validate();
}

void TVrNumEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The menu's Paste is the action wired to paste() (by name in Qt 6.4, so
    // both kinds of connection are tried). It runs after this handler has
    // returned, so it is rewired to run as the operator's edit.
    for (QAction* action : menu->actions()) {
        if (disconnect(action, &QAction::triggered, this, &QLineEdit::paste) ||
            disconnect(action, SIGNAL(triggered()), this, SLOT(paste())))
            connect(action, &QAction::triggered, this,
                    [this] { OperatorEdit([this] { paste(); }); });
    }
    menu->popup(event->globalPos());
}

void TVrNumEdit::dropEvent(QDropEvent* event) {
    // Refused before the line edit accepts the drop, or a source that moves
    // its text would delete it. A move within the field keeps the length.
    const bool movedWithin = event->source() == this && event->dropAction() == Qt::MoveAction;
    const QString dropped = event->mimeData()->text();
    if (!movedWithin && !isReadOnly() && !dropped.isEmpty() &&
        text().size() + dropped.size() > typingLimit) {
        event->ignore();
        return;
    }
    TVrCustomEdit::dropEvent(event);
}

void TVrNumEdit::mouseReleaseEvent(QMouseEvent* event) {
    OperatorEdit([&] { TVrCustomEdit::mouseReleaseEvent(event); });
}
