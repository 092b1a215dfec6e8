// The plans of every command: exact frames and the time after each, and the
// runner that sends them.
#include "printer/Plan.h"
#include "printer/Runner.h"

#include <QtTest>

using namespace printer;

Q_DECLARE_METATYPE(Plan)

namespace {

std::vector<uint8_t> hex(const char* text) {
    const QByteArray bytes = QByteArray::fromHex(text);
    return {bytes.begin(), bytes.end()};
}

// A configuration with something in every field the frames carry.
PrinterConfiguration sample() {
    PrinterConfiguration c;
    c.Model.SetPlaceholderTexts();
    c.Model.BandLineText[ConfigurationModel::LineIndex(2, 1)] = "Aten\xE7\xE3o";
    c.Model.LineStyle[ConfigurationModel::LineIndex(2, 1)] = 1;
    c.Model.LineEnabled[ConfigurationModel::LineIndex(2, 2)] = false;
    c.Model.LineStyle[ConfigurationModel::LineIndex(2, 2)] = 2;
    c.Model.BandLineText[ConfigurationModel::LineIndex(2, 3)] = "";
    c.Model.Ranges = {{{12, 345}, {6, 78}, {-5, 1500}, {1, 999}}};
    c.Options = FirstSelectionOptions();
    return c;
}

const char* const Frame17 = "02 30 4C 11 27 04 30 30 31 32 30 33 34 35 30 30 30 36 30 30 37 38 "
                            "30 30 30 30 0D";
const char* const Frame18 = "02 30 4C 12 27 04 30 30 2D 35 31 35 30 30 30 30 30 31 30 39 39 39 "
                            "30 30 30 30 0D";

std::vector<uint8_t> finished(const char* withoutChecksum) {
    std::vector<uint8_t> frame = hex(withoutChecksum);
    uint8_t sum = 0;
    for (uint8_t b : frame)
        sum = static_cast<uint8_t>(sum + b);
    frame.push_back(static_cast<uint8_t>(0x100 - sum));
    return frame;
}

} // namespace

class PlanTest : public QObject {
    Q_OBJECT
private slots:
    void plansAreExact_data() {
        QTest::addColumn<Plan>("plan");
        QTest::addColumn<Plan>("expected");
        const PrinterConfiguration c = sample();
        QTest::newRow("Programar band 2")
            << ProgramPlan(c, 2)
            << Plan{{"e", hex("02 30 65 30 30 30 30 30 30 30 30 30 0D AC"), 250, 500},
                    {"linha 1",
                     finished("02 30 4C 05 01 41 74 65 6E 87 C6 6F 20 20 20 20 20 20 20 20 20 20 "
                              "20 20 20 20 0D"),
                     0, 500},
                    {"linha 2",
                     finished("02 30 4C 06 00 2A 20 42 41 4E 44 41 20 32 20 4C 49 4E 48 41 20 20 "
                              "32 20 2A 20 0D"),
                     0, 500},
                    {"linha 3",
                     finished("02 30 4C 07 03 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 "
                              "20 20 20 20 0D"),
                     0, 500},
                    {"linha 4",
                     finished("02 30 4C 08 03 2A 20 42 41 4E 44 41 20 32 20 4C 49 4E 48 41 20 20 "
                              "34 20 2A 20 0D"),
                     0, 500},
                    {"17", finished(Frame17), 0, 500},
                    {"18", finished(Frame18), 0, 500}};
        QTest::newRow("Config") << ConfigPlan(c)
                                << Plan{{"17", finished(Frame17), 200, 0},
                                        {"18", finished(Frame18), 0, 0}};
        QTest::newRow("Relógio 14:05:09 23/02/2003")
            << ClockPlan(
                   {.Hours = 14, .Minutes = 5, .Seconds = 9, .Day = 23, .Month = 2, .Year = 2003})
            << Plan{{"R", hex("02 30 52 09 05 0E 17 02 03 31 30 30 0D A6"), 0, 0}};
        QTest::newRow("Imprimir band 4")
            << PrintPlan(4) << Plan{{"T", hex("02 30 54 34 30 30 30 30 30 30 30 30 0D B9"), 0, 0}};
        QTest::newRow("Re Iniciar")
            << RestartPlan() << Plan{{"w", hex("02 30 77 30 30 30 30 30 30 30 30 30 0D 9A"), 0, 0}};
        QTest::newRow("Log") << ReportPlan()
                             << Plan{{"f", hex("02 30 66 30 30 30 30 30 30 30 30 30 0D AB"), 0, 0}};
    }
    void plansAreExact() {
        QFETCH(Plan, plan);
        QFETCH(Plan, expected);
        QCOMPARE(plan.size(), expected.size());
        for (std::size_t i = 0; i < plan.size(); ++i) {
            QCOMPARE(plan[i].Name, expected[i].Name);
            QCOMPARE(
                QByteArray::fromRawData(reinterpret_cast<const char*>(plan[i].Frame.data()),
                                        qsizetype(plan[i].Frame.size()))
                    .toHex(' '),
                QByteArray::fromRawData(reinterpret_cast<const char*>(expected[i].Frame.data()),
                                        qsizetype(expected[i].Frame.size()))
                    .toHex(' '));
            QCOMPARE(plan[i].PauseMs, expected[i].PauseMs);
            QCOMPARE(plan[i].IntervalMs, expected[i].IntervalMs);
        }
    }

    void programarTimeline() {
        // e at 0, the first line 250 + 500 ms later, then every 500 ms; the
        // end 500 ms after frame 18.
        QCOMPARE(StepStartTimes(ProgramPlan(sample(), 1)),
                 (std::vector<int>{0, 750, 1250, 1750, 2250, 2750, 3250, 3750}));
    }

    void optionBitsFollowTheLists_data() {
        QTest::addColumn<PrinterOptions>("options");
        QTest::addColumn<int>("bits");
        PrinterOptions o = FirstSelectionOptions();
        QTest::newRow("first selection") << o << 0x27;
        o.PrintDate = o.PrintTime = o.PrintFooter = false;
        o.ReloadAt = ReloadPolicy::Midnight;
        QTest::newRow("nothing") << o << 0x00;
        o.Protocol = ProtocolFormat::EightBytes;
        o.ResetAt = ResetPolicy::Midnight;
        o.Printer = PrinterModel::Address2;
        QTest::newRow("second items") << o << 0x58;
        o.Printer = PrinterModel::Empty;
        o.Protocol = ProtocolFormat::None;
        o.ResetAt = static_cast<ResetPolicy>(7);
        QTest::newRow("empty item, none, beyond the list") << o << 0x00;
    }
    void optionBitsFollowTheLists() {
        QFETCH(PrinterOptions, options);
        QFETCH(int, bits);
        QCOMPARE(int(options.OptionBits()), bits);
    }

    void windowHoldsWhatItsControlsCan() {
        PrinterConfiguration file = sample();
        file.Options.ResetAt = static_cast<ResetPolicy>(5);
        file.Options.Printer = PrinterModel::Empty;
        file.Options.Protocol = static_cast<ProtocolFormat>(-7);
        file.Options.BandCount = 300;
        file.Model.LineStyle[3] = 4;
        file.Model.LineStyle[4] = -2;
        file.Model.BandLineText[0] = "A\tB\x81"
                                     "C\x7F"
                                     "123456789012345678901234";
        const PrinterConfiguration held = AsWindowHolds(file);
        QCOMPARE(held.Options.ResetAt, ResetPolicy::None);
        QCOMPARE(held.Options.ReloadAt, file.Options.ReloadAt);
        QCOMPARE(held.Options.Printer, PrinterModel::Empty);
        QCOMPARE(held.Options.Protocol, ProtocolFormat::None);
        QCOMPARE(held.Options.BandCount, int16_t(4));
        QCOMPARE(held.Model.LineStyle[3], -1);
        QCOMPARE(held.Model.LineStyle[4], -1);
        QCOMPARE(held.Model.LineStyle[5], file.Model.LineStyle[5]);
        QCOMPARE(held.Model.BandLineText[0], std::string("ABC12345678901234567"));
        QCOMPARE(held.Model.BandLineText[4], file.Model.BandLineText[4]);
        QCOMPARE(held.Model.Ranges, file.Model.Ranges);
    }

    void runnerStopsAtTheFirstFailedByte_data() {
        QTest::addColumn<int>("failAt"); // index of the byte that fails, -1 for none
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("failedStep");
        QTest::addColumn<QList<int>>("sleeps");
        QTest::newRow("all sent") << -1 << true << 0
                                  << QList<int>{750, 500, 500, 500, 500, 500, 500};
        QTest::newRow("first byte of e") << 0 << false << 0 << QList<int>{};
        QTest::newRow("middle of line 2") << 14 + 28 + 10 << false << 2 << QList<int>{750, 500};
        QTest::newRow("last byte of 18")
            << 14 + 6 * 28 - 1 << false << 6 << QList<int>{750, 500, 500, 500, 500, 500};
    }
    void runnerStopsAtTheFirstFailedByte() {
        QFETCH(int, failAt);
        QFETCH(bool, done);
        QFETCH(int, failedStep);
        QFETCH(QList<int>, sleeps);
        const Plan plan = ProgramPlan(sample(), 3);
        std::vector<uint8_t> sent;
        QList<int> slept;
        QList<int> observed;
        const RunResult result = Run(
            plan,
            [&](uint8_t byte) {
                if (int(sent.size()) == failAt)
                    throw std::runtime_error("Write error (110), Connection timed out");
                sent.push_back(byte);
            },
            [&](int ms) { slept << ms; },
            [&](std::size_t step, const Plan&) { observed << int(step); });
        QCOMPARE(result.Done, done);
        QCOMPARE(slept, sleeps);
        std::vector<uint8_t> all;
        for (const PlanStep& s : plan)
            all.insert(all.end(), s.Frame.begin(), s.Frame.end());
        if (done) {
            QCOMPARE(sent, all);
            QCOMPARE(observed.size(), qsizetype(plan.size()));
            return;
        }
        QCOMPARE(int(result.FailedStep), failedStep);
        QCOMPARE(result.Error, std::string("Write error (110), Connection timed out"));
        QCOMPARE(sent, std::vector<uint8_t>(all.begin(), all.begin() + failAt));
        QCOMPARE(observed.size(), failedStep + 1);
    }
};

QTEST_MAIN(PlanTest)
#include "PlanTest.moc"
