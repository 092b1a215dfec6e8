#include "widgets/TUpDown.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

class TUpDownTest : public QObject {
    Q_OBJECT
private slots:
    void positionFromCodeIsShownAndClampedWithoutClick() {
        QLineEdit field;
        TUpDown upDown;
        upDown.SetRange(1, 4);
        upDown.SetAssociate(&field);
        QSignalSpy clicks(&upDown, &TUpDown::Click);
        upDown.SetPosition(4);
        QCOMPARE(field.text(), QStringLiteral("4"));
        upDown.SetPosition(9);
        QCOMPARE(upDown.Position(), 4);
        upDown.SetPosition(0);
        QCOMPARE(upDown.Position(), 1);
        QCOMPARE(clicks.count(), 0);
    }

    void pressesStepWithoutWrappingAndAlwaysClick() {
        QLineEdit field;
        TUpDown upDown;
        upDown.SetRange(1, 4);
        upDown.SetAssociate(&field);
        upDown.SetPosition(4);
        QStringList shownAtClick;
        connect(&upDown, &TUpDown::Click, &upDown, [&] { shownAtClick << field.text(); });

        upDown.UpButton()->click(); // at the top: stays, still clicks
        upDown.DownButton()->click();
        upDown.DownButton()->click();
        upDown.DownButton()->click();
        upDown.DownButton()->click(); // at the bottom: stays
        QCOMPARE(shownAtClick, QStringList({"4", "3", "2", "1", "1"}));
        QCOMPARE(upDown.Position(), 1);
    }

    void arrowKeysStepLikeTheButtons() {
        TUpDown upDown;
        upDown.SetRange(1, 4);
        upDown.SetPosition(2);
        QSignalSpy clicks(&upDown, &TUpDown::Click);
        QTest::keyClick(&upDown, Qt::Key_Up);
        QCOMPARE(upDown.Position(), 3);
        QTest::keyClick(&upDown, Qt::Key_Down);
        QTest::keyClick(&upDown, Qt::Key_Down);
        QCOMPARE(upDown.Position(), 1);
        QCOMPARE(clicks.count(), 3);
    }
};

QTEST_MAIN(TUpDownTest)
#include "TUpDownTest.moc"
