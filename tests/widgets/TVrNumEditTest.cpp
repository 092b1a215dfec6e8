#include "widgets/TVrNumEdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QtTest>
#include <cmath>
#include <memory>

namespace {

// A window field (limits 1..999, no decimals, at most 4 characters) beside a
// second field that takes the focus away, in a shown and active window.
struct Window {
    QWidget top;
    TVrNumEdit* field = new TVrNumEdit(&top);
    QLineEdit* other = new QLineEdit(&top);

    Window() {
        field->setObjectName(QStringLiteral("VrNumEdit1"));
        field->SetMaxValue(999);
        field->SetMinValue(1);
        field->SetValue(1);
        field->SetMaxLength(4);
        other->move(0, 40);
    }
    bool Activate() {
        top.show();
        top.activateWindow();
        return QTest::qWaitForWindowActive(&top);
    }
    // Focus in the field, then out of it to the other field.
    void EnterAndLeave(const QString& typed) {
        other->setFocus(Qt::TabFocusReason);
        field->setFocus(Qt::TabFocusReason);
        field->setText(typed);
        other->setFocus(Qt::TabFocusReason);
    }
};

QString Sep() {
    return TVrNumEdit::DecimalSeparator();
}

QString ErrorOf(const TVrNumEdit& field) {
    try {
        field.GetValue();
    } catch (const EConvertError& error) {
        return QString::fromStdString(error.what());
    }
    return {};
}

// The ways an operator puts text into the field besides typing it.
enum class Paste { Shortcut, Menu, Drop };

void PasteInto(TVrNumEdit& field, Paste path, const QString& pasted) {
    QApplication::clipboard()->setText(pasted);
    switch (path) {
    case Paste::Shortcut:
        QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
        break;
    case Paste::Menu: {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(1, 1),
                                field.mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(&field, &event);
        auto* menu = field.findChild<QMenu*>();
        QVERIFY(menu);
        for (QAction* action : menu->actions())
            if (action->text().startsWith(QStringLiteral("&Paste")))
                action->trigger();
        menu->close();
        break;
    }
    case Paste::Drop: {
        QMimeData data;
        data.setText(pasted);
        const QPoint end(field.width() - 2, field.height() / 2);
        QDragEnterEvent enter(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&field, &enter);
        QDropEvent drop(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&field, &drop);
        break;
    }
    }
}

} // namespace

Q_DECLARE_METATYPE(Paste)

class TVrNumEditTest : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void keyFilter_data();
    void keyFilter();
    void pasteWithinMaxLength_data();
    void pasteWithinMaxLength();
    void undoBringsBackLongerSetText();
    void escapeRestoresTextAtEntry_data();
    void escapeRestoresTextAtEntry();
    void validationOnFocusLoss_data();
    void validationOnFocusLoss();
    void popupDoesNotLeaveField();
    void onErrorCanKeepFocus_data();
    void onErrorCanKeepFocus();
    void limits_data();
    void limits();
    void setValueNotation_data();
    void setValueNotation();
    void getValue_data();
    void getValue();
    void separatorFollowsLocale();
};

void TVrNumEditTest::defaults() {
    TVrNumEdit field;
    QCOMPARE(field.MinValue(), 0.0);
    QCOMPARE(field.MaxValue(), 9999.0);
    QCOMPARE(field.Decimals(), 0);
    QVERIFY(!field.RestoreOnEsc);
    QVERIFY(!field.OnError);
    QCOMPARE(field.palette().color(QPalette::Base), QColor(Qt::black));
    QCOMPARE(field.palette().color(QPalette::Text), QColor(0x00, 0xFF, 0x00));
    QCOMPARE(field.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

void TVrNumEditTest::keyFilter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("caretAfter");
    const QString s = Sep();
    // clang-format off
    QTest::newRow("letter dropped") << "12" << 2 << 0 << int(Qt::Key_A) << "a" << "12" << 2;
    QTest::newRow("blank dropped") << "12" << 2 << 0 << int(Qt::Key_Space) << " " << "12" << 2;
    QTest::newRow("plus dropped") << "12" << 2 << 0 << int(Qt::Key_Plus) << "+" << "12" << 2;
    QTest::newRow("enter dropped") << "12" << 2 << 0 << int(Qt::Key_Return) << "\r" << "12" << 2;
    QTest::newRow("escape dropped") << "12" << 2 << 0 << int(Qt::Key_Escape) << "\x1b" << "12" << 2;
    QTest::newRow("separator, no decimals") << "12" << 2 << 0 << 0 << s << "12" << 2;
    QTest::newRow("separator, decimals") << "12" << 2 << 2 << 0 << s << "12" + s << 3;
    QTest::newRow("second separator") << "1" + s + "5" << 3 << 2 << 0 << s << "1" + s + "5" << 3;
    QTest::newRow("digit typed") << "12" << 1 << 0 << int(Qt::Key_7) << "7" << "172" << 2;
    QTest::newRow("digit beyond max length") << "1234" << 4 << 0 << int(Qt::Key_5) << "5" << "1234" << 4;
    QTest::newRow("backspace") << "12" << 2 << 0 << int(Qt::Key_Backspace) << "\b" << "1" << 1;
    QTest::newRow("sign on") << "12" << 2 << 0 << int(Qt::Key_Minus) << "-" << "-12" << 3;
    QTest::newRow("sign off") << "-12" << 3 << 0 << int(Qt::Key_Minus) << "-" << "12" << 2;
    QTest::newRow("sign off, caret at start") << "-12" << 0 << 0 << int(Qt::Key_Minus) << "-" << "12" << 0;
    QTest::newRow("sign on empty field") << "" << 0 << 0 << int(Qt::Key_Minus) << "-" << "-" << 1;
    QTest::newRow("sign off drops first character") << "12-" << 3 << 0 << int(Qt::Key_Minus) << "-" << "2-" << 2;
    QTest::newRow("sign at max length keeps digits") << "1234" << 4 << 0 << int(Qt::Key_Minus) << "-" << "1234" << 4;
    // Text the program set may be longer than the operator may type.
    QTest::newRow("digit into longer set text") << "12345" << 5 << 0 << int(Qt::Key_6) << "6" << "12345" << 5;
    QTest::newRow("backspace in longer set text") << "12345" << 5 << 0 << int(Qt::Key_Backspace) << "\b" << "1234" << 4;
    QTest::newRow("sign off longer set text") << "-1234" << 5 << 0 << int(Qt::Key_Minus) << "-" << "1234" << 4;
    // clang-format on
}

void TVrNumEditTest::keyFilter() {
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(int, decimals);
    QFETCH(int, key);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, caretAfter);
    Window w;
    w.field->SetDecimals(decimals);
    w.field->setText(text);
    w.field->setCursorPosition(caret);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
    QApplication::sendEvent(w.field, &press);
    QCOMPARE(w.field->text(), after);
    QCOMPARE(w.field->cursorPosition(), caretAfter);
}

void TVrNumEditTest::pasteWithinMaxLength_data() {
    QTest::addColumn<Paste>("path");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    // clang-format off
    QTest::newRow("shortcut, too long") << Paste::Shortcut << "12" << false << "345" << "12";
    QTest::newRow("shortcut, into longer set text") << Paste::Shortcut << "12345" << false << "6" << "12345";
    QTest::newRow("shortcut, shortens set text") << Paste::Shortcut << "12345" << true << "6" << "6";
    QTest::newRow("menu, fits") << Paste::Menu << "1" << false << "234" << "1234";
    QTest::newRow("menu, too long") << Paste::Menu << "12" << false << "345" << "12";
    QTest::newRow("drop, fits") << Paste::Drop << "12" << false << "34" << "1234";
    QTest::newRow("drop, too long") << Paste::Drop << "12" << false << "345" << "12";
    // clang-format on
}

void TVrNumEditTest::pasteWithinMaxLength() {
    QFETCH(Paste, path);
    QFETCH(QString, text);
    QFETCH(bool, selectAll);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    Window w;
    w.field->setText(text);
    if (selectAll)
        w.field->selectAll();
    PasteInto(*w.field, path, pasted);
    QCOMPARE(w.field->text(), after);
    // The edit is over: the program's text is taken whole again, and the
    // operator still cannot lengthen it.
    w.field->setText(QStringLiteral("12345"));
    QTest::keyClick(w.field, '6');
    QCOMPARE(w.field->text(), QStringLiteral("12345"));
}

void TVrNumEditTest::undoBringsBackLongerSetText() {
    Window w;
    w.field->setText(QStringLiteral("12345"));
    QTest::keyClick(w.field, Qt::Key_Backspace);
    QCOMPARE(w.field->text(), QStringLiteral("1234"));
    QTest::keyClick(w.field, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.field->text(), QStringLiteral("12345"));
    QTest::keyClick(w.field, '6');
    QCOMPARE(w.field->text(), QStringLiteral("12345"));
}

void TVrNumEditTest::escapeRestoresTextAtEntry_data() {
    QTest::addColumn<bool>("restore");
    QTest::addColumn<QString>("after");
    QTest::newRow("restore on") << true << "12";
    QTest::newRow("restore off") << false << "123";
}

void TVrNumEditTest::escapeRestoresTextAtEntry() {
    QFETCH(bool, restore);
    QFETCH(QString, after);
    Window w;
    QVERIFY(w.Activate());
    w.field->RestoreOnEsc = restore;
    w.other->setFocus(Qt::TabFocusReason);
    w.field->setText(QStringLiteral("12"));
    w.field->setFocus(Qt::TabFocusReason);
    QVERIFY(w.field->hasFocus());
    QTest::keyClick(w.field, Qt::Key_End);
    QTest::keyClick(w.field, '3');
    QCOMPARE(w.field->text(), QStringLiteral("123"));
    QTest::keyClick(w.field, Qt::Key_Escape);
    QCOMPARE(w.field->text(), after);
}

void TVrNumEditTest::validationOnFocusLoss_data() {
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<double>("value");
    const QString s = Sep();
    // clang-format off
    QTest::newRow("leading zeros") << 0 << "0012" << "12" << 12.0;
    QTest::newRow("at the limits") << 0 << "999" << "999" << 999.0;
    QTest::newRow("below range left as typed") << 0 << "0" << "0" << 0.0;
    QTest::newRow("above range left as typed") << 0 << "1000" << "1000" << 1000.0;
    QTest::newRow("zero-padded at the limit") << 0 << "0999" << "999" << 999.0;
    QTest::newRow("negative left as typed") << 0 << "-5" << "-5" << -5.0;
    QTest::newRow("empty gives MinValue") << 0 << "" << "" << 1.0;
    QTest::newRow("fraction rounded") << 0 << "12" + s + "5" << "13" << 13.0;
    QTest::newRow("decimals padded") << 2 << "7" << "7" + s + "00" << 7.0;
    QTest::newRow("decimals rounded") << 1 << "7" + s + "25" << "7" + s + "3" << 7.3;
    // clang-format on
}

void TVrNumEditTest::validationOnFocusLoss() {
    QFETCH(int, decimals);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(double, value);
    Window w;
    QVERIFY(w.Activate());
    w.field->SetDecimals(decimals);
    w.EnterAndLeave(typed);
    QVERIFY(w.other->hasFocus());
    QCOMPARE(w.field->text(), after);
    QCOMPARE(w.field->GetValue(), value);
}

void TVrNumEditTest::popupDoesNotLeaveField() {
    TVrNumEdit field;
    field.setText(QStringLiteral("0012"));
    QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(&field, &out);
    QCOMPARE(field.text(), QStringLiteral("0012"));
    QFocusEvent realOut(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(&field, &realOut);
    QCOMPARE(field.text(), QStringLiteral("12"));
}

void TVrNumEditTest::onErrorCanKeepFocus_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("canExit");
    QTest::addColumn<int>("calls");
    QTest::newRow("not a number, stay") << "-" << false << 1;
    QTest::newRow("out of range, stay") << "1000" << false << 1;
    QTest::newRow("out of range, leave") << "1000" << true << 1;
    QTest::newRow("in range, no call") << "5" << true << 0;
}

void TVrNumEditTest::onErrorCanKeepFocus() {
    QFETCH(QString, typed);
    QFETCH(bool, canExit);
    QFETCH(int, calls);
    Window w;
    QVERIFY(w.Activate());
    int called = 0;
    w.field->OnError = [&](TVrNumEdit& sender, bool& exit) {
        ++called;
        QCOMPARE(&sender, w.field);
        QVERIFY(exit);
        exit = canExit;
    };
    w.EnterAndLeave(typed);
    QCOMPARE(called, calls);
    if (canExit) {
        QTest::qWait(50);
        QVERIFY(w.other->hasFocus());
    } else {
        QTRY_VERIFY(w.field->hasFocus());
    }
    QCOMPARE(w.field->text(), typed);
}

void TVrNumEditTest::limits_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("setMin");
    QTest::addColumn<double>("v");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<QString>("after");
    // Every row starts from limits 1..5. A limit that is taken validates, so
    // a text that comes into range is tidied.
    // clang-format off
    QTest::newRow("min equal to max refused") << "3" << true << 5.0 << 1.0 << 5.0 << "3";
    QTest::newRow("min above max refused") << "3" << true << 6.0 << 1.0 << 5.0 << "3";
    QTest::newRow("min not a number refused") << "3" << true << double(NAN) << 1.0 << 5.0 << "3";
    QTest::newRow("max equal to min refused") << "3" << false << 1.0 << 1.0 << 5.0 << "3";
    QTest::newRow("max below min refused") << "3" << false << 0.0 << 1.0 << 5.0 << "3";
    QTest::newRow("max taken, validates") << "0012" << false << 20.0 << 1.0 << 20.0 << "12";
    QTest::newRow("min taken, validates") << "-02" << true << -3.0 << -3.0 << 5.0 << "-2";
    // clang-format on
}

void TVrNumEditTest::limits() {
    QFETCH(QString, start);
    QFETCH(bool, setMin);
    QFETCH(double, v);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(QString, after);
    TVrNumEdit field;
    field.SetMaxValue(5);
    field.SetMinValue(1);
    field.setText(start);
    if (setMin)
        field.SetMinValue(v);
    else
        field.SetMaxValue(v);
    QCOMPARE(field.MinValue(), min);
    QCOMPARE(field.MaxValue(), max);
    QCOMPARE(field.text(), after);
}

void TVrNumEditTest::setValueNotation_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("readBack");
    const QString s = Sep();
    // Out of the field's range (5..9), so validation leaves the text alone;
    // whole, though the operator may type only 4 characters.
    QTest::newRow("whole") << 123.0 << "123" << 123.0;
    QTest::newRow("five digits") << 12345.0 << "12345" << 12345.0;
    QTest::newRow("fraction") << 12.25 << "12" + s + "25" << 12.25;
    QTest::newRow("15 significant digits") << 0.1 + 0.2 << "0" + s + "3" << 0.3;
    QTest::newRow("negative") << -42.5 << "-42" + s + "5" << -42.5;
    QTest::newRow("negative zero") << -0.0 << "0" << 0.0;
    QTest::newRow("large") << 1e20 << "1e+20" << 1e20;
}

void TVrNumEditTest::setValueNotation() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QFETCH(double, readBack);
    TVrNumEdit field;
    field.SetMaxValue(9);
    field.SetMinValue(5);
    field.SetMaxLength(4);
    field.SetValue(value);
    QCOMPARE(field.text(), text);
    QCOMPARE(field.GetValue(), readBack);
}

void TVrNumEditTest::getValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    const QString s = Sep();
    QTest::newRow("sign alone") << "-" << false << 0.0;
    QTest::newRow("separator alone") << s << false << 0.0;
    QTest::newRow("trailing letters") << "12abc" << false << 0.0;
    QTest::newRow("blanks only") << "  " << false << 0.0;
    QTest::newRow("infinity") << "inf" << false << 0.0;
    QTest::newRow("out of double range") << "1e999" << false << 0.0;
    QTest::newRow("two signs") << "--1" << false << 0.0;
    QTest::newRow("blanks around") << " 12 " << true << 12.0;
    QTest::newRow("plus sign") << "+7" << true << 7.0;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("trailing separator") << "5" + s << true << 5.0;
    QTest::newRow("leading separator") << s + "5" << true << 0.5;
}

void TVrNumEditTest::getValue() {
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    TVrNumEdit field;
    field.setText(text);
    if (isNumber) {
        QCOMPARE(field.GetValue(), value);
    } else {
        QCOMPARE(ErrorOf(field),
                 QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
}

void TVrNumEditTest::separatorFollowsLocale() {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    QCOMPARE(TVrNumEdit::DecimalSeparator(), QStringLiteral(","));
    TVrNumEdit field;
    field.SetDecimals(2);
    field.setText(QStringLiteral("1"));
    QTest::keyClick(&field, '.');
    QCOMPARE(field.text(), QStringLiteral("1"));
    QTest::keyClick(&field, ',');
    QTest::keyClick(&field, '5');
    QCOMPARE(field.text(), QStringLiteral("1,5"));
    QCOMPARE(field.GetValue(), 1.5);
    field.SetValue(2.75);
    QCOMPARE(field.text(), QStringLiteral("2,75"));
    // A group separator is not part of a number.
    field.setText(QStringLiteral("1.000"));
    QCOMPARE(ErrorOf(field), QStringLiteral("'1.000' is not a valid floating point value"));
}

QTEST_MAIN(TVrNumEditTest)
#include "TVrNumEditTest.moc"
