// The virtual printer's memory of a run: ticket numbers, the ticket preview
// and the report, from decoded commands and the times they arrived.
#include "simulator/VirtualPrinter.h"
#include "simulator/Line.h"
#include "simulator/Narration.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

using namespace protocol;
using Commands = std::vector<Command>;

Q_DECLARE_METATYPE(Commands)

namespace {

ConfigCommand bands12(TicketRange first, TicketRange second,
                      OptionConditions options = {true, true, true}, uint8_t bandCount = 4) {
    return {ConfigFrameId::Bands1And2, options, bandCount, first, second};
}

} // namespace

class VirtualPrinterTest : public QObject {
    Q_OBJECT

private slots:
    // What the virtual printer reads of a sender's line settings.
    void lineSettings_data() {
        QTest::addColumn<int>("speed"); // a B... code
        QTest::addColumn<int>("cflag"); // size, parity and stop bits
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("printers");
        QTest::newRow("the printer's line")
            << int{B9600} << int{CS8 | CSTOPB} << "9600 8N2" << true;
        QTest::newRow("one stop bit") << int{B9600} << int{CS8} << "9600 8N1" << false;
        QTest::newRow("a device server's default")
            << int{B115200} << int{CS8} << "115200 8N1" << false;
        QTest::newRow("slower") << int{B4800} << int{CS8 | CSTOPB} << "4800 8N2" << false;
        QTest::newRow("even parity") << int{B9600} << int{CS7 | PARENB} << "9600 7E1" << false;
        QTest::newRow("odd parity")
            << int{B9600} << int{CS8 | PARENB | PARODD | CSTOPB} << "9600 8O2" << false;
        QTest::newRow("five bits") << int{B9600} << int{CS5 | CSTOPB} << "9600 5N2" << false;
        QTest::newRow("six bits") << int{B2400} << int{CS6} << "2400 6N1" << false;
    }
    void lineSettings() {
        QFETCH(int, speed);
        QFETCH(int, cflag);
        QFETCH(QString, text);
        QFETCH(bool, printers);
        termios line{};
        line.c_cflag = static_cast<tcflag_t>(cflag) | CREAD | CLOCAL;
        cfsetospeed(&line, static_cast<speed_t>(speed));
        cfsetispeed(&line, static_cast<speed_t>(speed));
        const simulator::LineSettings s = simulator::LineOf(line);
        QCOMPARE(QString::fromStdString(s.Text()), text);
        QCOMPARE(s.IsPrinters(), printers);
    }

    void initTestCase() {
        // Dates and times below are read in UTC, whatever the machine's zone.
        qputenv("TZ", "UTC");
        tzset();
    }

    void printouts_data() {
        QTest::addColumn<Commands>("commands");
        QTest::addColumn<QList<int>>("numbers");   // of every ticket, in order
        QTest::addColumn<QStringList>("lastText"); // of the last printout; empty: not checked

        // The commands arrive one second apart from 10/05/24 12:00:00 UTC.
        QTest::newRow("a band never programmed counts from 1; a bad clock is not taken")
            << Commands{ClockCommand{0, 0, 12, 31, 2, 24}, PrintBandCommand{3}, PrintBandCommand{3}}
            << QList<int>{1, 2}
            << QStringList{"--- Ticket da banda 3: prévia do que a impressora recebeu, não o seu "
                           "leiaute ---",
                           "(nenhuma linha recebida para a banda 3)",
                           "Senha 2",
                           "10/05/24  12:00:02  (relógio não acertado: hora deste computador)",
                           "Aguarde sua chamada pelo painel eletrônico.",
                           "---"};
        QTest::newRow("numbers go back to the start after the end")
            << Commands{bands12({998, 999}, {1, 999}), PrintBandCommand{1}, PrintBandCommand{1},
                        PrintBandCommand{1}}
            << QList<int>{998, 999, 998} << QStringList{};
        QTest::newRow("a start past the end prints the start each time")
            << Commands{bands12({1, 999}, {50, 10}), PrintBandCommand{2}, PrintBandCommand{2}}
            << QList<int>{50, 50} << QStringList{};
        QTest::newRow("restart takes every band back to its start")
            << Commands{bands12({10, 20}, {30, 40}), PrintBandCommand{1}, PrintBandCommand{2},
                        PrintBandCommand{1},         RestartCommand{},    PrintBandCommand{1},
                        PrintBandCommand{2}}
            << QList<int>{10, 30, 11, 10, 30} << QStringList{};
        QTest::newRow("the same range keeps counting, a new range starts over")
            << Commands{bands12({5, 9}, {1, 999}), PrintBandCommand{1},
                        bands12({5, 9}, {1, 999}), PrintBandCommand{1},
                        bands12({1, 9}, {1, 999}), PrintBandCommand{1}}
            << QList<int>{5, 6, 1} << QStringList{};
        QTest::newRow("bands 0 and 5 to 9 print nothing")
            << Commands{PrintBandCommand{0}, PrintBandCommand{5}, PrintBandCommand{9}}
            << QList<int>{} << QStringList{};

        QStringList ticket;
        ticket << QStringLiteral("--- Ticket da banda 4: prévia do que a impressora recebeu, não "
                                 "o seu leiaute ---")
               << QStringLiteral("(a impressora foi programada com 2 bandas)")
               << QStringLiteral("Enfatizado    \"Aten\u00e7\u00e3o \\\"1\\\"\\x1B\"")
               << QStringLiteral("Dupla Altura  \"\"") << QStringLiteral("Senha 7")
               << QStringLiteral("23/02/03  14:05:11") << QStringLiteral("---");
        QTest::newRow("a ticket shows the band's lines, the printer's clock, the options")
            << Commands{LineCommand{13, 0, "Aten\xE7\xE3o \"1\"\x1B"},
                        LineCommand{16, 3, ""},
                        LineCommand{9, 1, "other band"},
                        ConfigCommand{ConfigFrameId::Bands3And4,
                                      {.PrintDate = true, .PrintTime = true},
                                      2,
                                      {1, 999},
                                      {7, 8}},
                        ClockCommand{9, 5, 14, 23, 2, 3},
                        E2pCommand{},
                        PrintBandCommand{4}}
            << QList<int>{7} << ticket;

        QTest::newRow("the report holds everything the printer was told")
            << Commands{LineCommand{2, 2, "Linha dois"},
                        bands12({100, 199}, {-5, 0},
                                {.PrintTime = true,
                                 .OldProtocol = true,
                                 .ReloadAtBandEnd = true,
                                 .PrinterMecaf = true},
                                3),
                        ClockCommand{0, 0, 12, 10, 5, 24}, PrintBandCommand{1}, ReportCommand{}}
            << QList<int>{100}
            << QStringList{
                   "--- Relatório: o que a impressora recebeu nesta execução ---",
                   "Opções: sem data, hora, sem rodapé; Protocolo: 8 bytes; Zerar Senha: Ligar; "
                   "Recarregar Senha: Final Banda; Impressora: Mecaf",
                   "Número de bandas: 3",
                   "Relógio: 10/05/24 12:00:02 (2 s atrás do relógio deste computador)",
                   "Banda 1: 100 a 199, próxima senha 101",
                   "  Linha 1: não recebida",
                   "  Linha 2: Expandido     \"Linha dois\"",
                   "  Linha 3: não recebida",
                   "  Linha 4: não recebida",
                   "Banda 2: -5 a 0, próxima senha -5",
                   "  Linha 1: não recebida",
                   "  Linha 2: não recebida",
                   "  Linha 3: não recebida",
                   "  Linha 4: não recebida",
                   "Banda 3: 1 a 999, próxima senha 1",
                   "  Linha 1: não recebida",
                   "  Linha 2: não recebida",
                   "  Linha 3: não recebida",
                   "  Linha 4: não recebida",
                   "Banda 4: 1 a 999, próxima senha 1",
                   "  Linha 1: não recebida",
                   "  Linha 2: não recebida",
                   "  Linha 3: não recebida",
                   "  Linha 4: não recebida",
                   "Tickets impressos: 1",
                   "---"};
    }

    void printouts() {
        QFETCH(Commands, commands);
        QFETCH(QList<int>, numbers);
        QFETCH(QStringList, lastText);

        std::tm start{};
        start.tm_year = 124;
        start.tm_mon = 4;
        start.tm_mday = 10;
        start.tm_hour = 12;
        const auto base = simulator::WallClock::from_time_t(::timegm(&start));

        simulator::VirtualPrinter printer;
        QList<int> printed;
        QStringList text;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const auto now = base + std::chrono::seconds(i) + std::chrono::milliseconds(400);
            const auto printout = printer.Take(commands[i], now);
            if (!printout)
                continue;
            if (const auto* ticket = std::get_if<simulator::Ticket>(&*printout))
                printed << ticket->Number;
            text.clear();
            for (const std::string& line : simulator::PrintoutText(*printout))
                text << QString::fromStdString(line);
        }
        QCOMPARE(printed, numbers);
        if (!lastText.isEmpty())
            QCOMPARE(text, lastText);
    }
};

QTEST_GUILESS_MAIN(VirtualPrinterTest)
#include "VirtualPrinterTest.moc"
