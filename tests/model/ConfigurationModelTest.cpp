#include "model/ConfigurationModel.h"

#include <QtTest>

class ConfigurationModelTest : public QObject {
    Q_OBJECT
private slots:
    void lineIndexCoversTheSixteenEntries() {
        QCOMPARE(ConfigurationModel::LineIndex(1, 1), 0);
        QCOMPARE(ConfigurationModel::LineIndex(2, 1), 4);
        QCOMPARE(ConfigurationModel::LineIndex(3, 2), 9);
        QCOMPARE(ConfigurationModel::LineIndex(4, 4), 15);
    }

    void freshModelHoldsTheStartValues() {
        ConfigurationModel m;
        for (int band = 1; band <= 4; ++band) {
            QCOMPARE(m.BandStart(band), 1);
            QCOMPARE(m.BandEnd(band), 999);
        }
        for (int i = 0; i < ConfigurationModel::LineCount; ++i) {
            QCOMPARE(m.LineStyle[i], 3);
            QVERIFY(m.LineEnabled[i]);
            QVERIFY(m.BandLineText[i].empty());
        }
        QCOMPARE(m.CurrentBand, 1);
        QVERIFY(!m.FirstBandSelected);
    }

    void placeholdersAreTwentyCharactersInBandLineOrder() {
        ConfigurationModel m;
        m.SetPlaceholderTexts();
        QCOMPARE(m.BandLineText[0], std::string("* BANDA 1 LINHA  1 *"));
        QCOMPARE(m.BandLineText[6], std::string("* BANDA 2 LINHA  3 *"));
        QCOMPARE(m.BandLineText[15], std::string("* BANDA 4 LINHA  4 *"));
        for (const auto& text : m.BandLineText)
            QCOMPARE(text.size(), ConfigurationModel::MaxLineLength);
    }

    void bandPairsAreIndependent() {
        ConfigurationModel m;
        m.BandStart(2) = 1500; // nothing limits a band to 999
        m.BandEnd(3) = -5;
        QCOMPARE(m.BandStart(1), 1);
        QCOMPARE(m.BandStart(2), 1500);
        QCOMPARE(m.BandEnd(2), 999);
        QCOMPARE(m.BandEnd(3), -5);
    }
};

QTEST_APPLESS_MAIN(ConfigurationModelTest)
#include "ConfigurationModelTest.moc"
