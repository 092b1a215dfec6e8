// What the virtual printer says, every kind of event in both of its forms:
// the text a person reads and the JSON line a script reads, byte for byte.
#include "simulator/Narration.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

using namespace protocol;
using namespace simulator;
using Kind = FrameSplitter::Item::Kind;

Q_DECLARE_METATYPE(simulator::Event)

namespace {

// 10/05/24 12:00:00.250, read in UTC.
WallClock::time_point noon() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 4;
    t.tm_mday = 10;
    t.tm_hour = 12;
    return WallClock::from_time_t(::timegm(&t)) + std::chrono::milliseconds(250);
}

const std::vector<uint8_t> Bytes{0x02, 0x30, 0x65};
const LineSettings Fast{115200, 8, 'N', 1};

FrameReceived frame(Command command, LineSettings line = PrintersLine) {
    return {noon(), Bytes, line, std::move(command)};
}

} // namespace

class NarrationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        tzset();
    }

    void rendered_data() {
        QTest::addColumn<Event>("event");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("json");

        QTest::newRow("listening")
            << Event{Listening{"COM3", "/dev/pts/5"}}
            << "Impressora virtual em COM3 (/dev/pts/5). Ctrl+C para sair."
            << R"({"device":"/dev/pts/5","event":"listening","port":"COM3"})";
        QTest::newRow("a name with a control character and a byte that is not UTF-8")
            << Event{Listening{"COM3", "/dev/\x1B[2J\xFF"}}
            << "Impressora virtual em COM3 (/dev/\\x1B[2J\\xFF). Ctrl+C para sair."
            // moc reads \u in a raw string as a character name: these two are plain.
            << "{\"device\":\"/dev/\\u001b[2J\uFFFD\",\"event\":\"listening\",\"port\":\"COM3\"}";
        QTest::newRow("the sender's line is not the printer's")
            << Event{LineChanged{Fast}}
            << "Linha: 115200 8N1 (a impressora usa 9600 8N2: leria lixo)."
            << R"({"dataBits":8,"event":"line","ok":false,"parity":"N","speed":115200,"stopBits":1})";
        QTest::newRow("the sender is on the printer's line")
            << Event{LineChanged{PrintersLine}} << "Linha: 9600 8N2."
            << R"({"dataBits":8,"event":"line","ok":true,"parity":"N","speed":9600,"stopBits":2})";

        QTest::newRow("e")
            << Event{frame(E2pCommand{})} << "12:00:00.250  e  e2p"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","command":"e","event":"frame",)"
               R"("lineOk":true,"serialLine":"9600 8N2"})";
        QTest::newRow("T over another line")
            << Event{frame(PrintBandCommand{2}, Fast)}
            << "12:00:00.250  T 2  Imprimir  Banda 2  [linha 115200 8N1]"
            << R"({"at":"12:00:00.250","band":2,"bytes":"02 30 65","command":"T","event":"frame",)"
               R"("lineOk":false,"serialLine":"115200 8N1"})";
        QTest::newRow("T of a band the printer does not have")
            << Event{frame(PrintBandCommand{5})}
            << "12:00:00.250  T 5  Imprimir  Banda 5: a impressora não tem esta banda; nada "
               "impresso"
            << R"({"at":"12:00:00.250","band":5,"bytes":"02 30 65","command":"T","event":"frame",)"
               R"("lineOk":true,"serialLine":"9600 8N2"})";
        QTest::newRow("w")
            << Event{frame(RestartCommand{})} << "12:00:00.250  w  Re Iniciar"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","command":"w","event":"frame",)"
               R"("lineOk":true,"serialLine":"9600 8N2"})";
        QTest::newRow("f")
            << Event{frame(ReportCommand{})} << "12:00:00.250  f  Log"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","command":"f","event":"frame",)"
               R"("lineOk":true,"serialLine":"9600 8N2"})";
        QTest::newRow("R")
            << Event{frame(ClockCommand{9, 5, 14, 23, 2, 3})}
            << "12:00:00.250  R  Relógio  23/02/03 14:05:09"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","clock":{"day":23,"hours":14,)"
               R"("minutes":5,"month":2,"seconds":9,"year":3},"command":"R",)"
               R"("event":"frame","lineOk":true,"serialLine":"9600 8N2"})";
        QTest::newRow("R of a date that does not exist")
            << Event{frame(ClockCommand{0, 0, 12, 31, 2, 24})}
            << "12:00:00.250  R  Relógio  31/02/24 12:00:00  (data ou hora inválida: relógio não "
               "acertado)"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","clock":{"day":31,"hours":12,)"
               R"("minutes":0,"month":2,"seconds":0,"year":24},"command":"R",)"
               R"("event":"frame","lineOk":true,"serialLine":"9600 8N2"})";
        QTest::newRow("L of a header line")
            << Event{frame(LineCommand{6, 7, "Aten\xE7\xE3o \"1\"\x1B"})}
            << "12:00:00.250  L 06  Banda 2 linha 2  Estilo 7  \"Atenção \\\"1\\\"\\x1B\""
            << R"({"at":"12:00:00.250","band":2,"bytes":"02 30 65","command":"L","event":"frame",)"
               R"("id":6,"line":2,"lineOk":true,"serialLine":"9600 8N2","style":7,"styleName":"Estilo 7",)"
               "\"text\":\"Atenção \\\"1\\\"\\u001b\"}";
        QTest::newRow("L of bands 3 and 4")
            << Event{frame(ConfigCommand{ConfigFrameId::Bands3And4,
                                         {.PrintTime = true, .OldProtocol = true},
                                         3,
                                         {998, 999},
                                         {50, 10}})}
            << "12:00:00.250  L 18  Opções 0x0A: sem data, hora, sem rodapé; Protocolo: 8 bytes; "
               "Zerar Senha: Ligar; Recarregar Senha: 0:00 Hs; Impressora: Bematech  Bandas: 3  "
               "Banda 3: 998 a 999  Banda 4: 50 a 10"
            << R"({"at":"12:00:00.250","bandCount":3,"bytes":"02 30 65","command":"L",)"
               R"("event":"frame","id":18,"lineOk":true,"optionBits":10,)"
               R"("options":{"oldProtocol":true,"printDate":false,"printFooter":false,)"
               R"("printTime":true,"printerMecaf":false,"reloadAtBandEnd":false,)"
               R"("resetAtMidnight":false},"ranges":[{"band":3,"end":999,"start":998},)"
               R"({"band":4,"end":10,"start":50}],"serialLine":"9600 8N2"})";

        Ticket ticket{.Band = 4,
                      .Number = 7,
                      .Lines = {{1, 0, "Aten\xE7\xE3o"}},
                      .Clock = WallClock::to_time_t(noon()),
                      .PrintTime = false,
                      .BandCount = 2};
        QTest::newRow("ticket")
            << Event{ticket}
            << "    --- Ticket da banda 4: prévia do que a impressora recebeu, não o seu leiaute "
               "---\n"
               "    (a impressora foi programada com 2 bandas)\n"
               "    Enfatizado    \"Atenção\"\n"
               "    Senha 7\n"
               "    10/05/24  (relógio não acertado: hora deste computador)\n"
               "    Aguarde sua chamada pelo painel eletrônico.\n"
               "    ---"
            << R"({"band":4,"clockSet":false,"date":"10/05/24","event":"ticket","footer":)"
               R"("Aguarde sua chamada pelo painel eletrônico.","lines":[{"line":1,"style":0,)"
               R"("styleName":"Enfatizado","text":"Atenção"}],"number":7,"time":null})";

        Report report;
        report.State.Lines[ConfigurationModel::LineIndex(4, 2)] = {true, 2, "dois"};
        report.State.Clock = {
            .Set = true, .Valid = true, .Told = {}, .Offset = std::chrono::seconds(-2)};
        report.State.Tickets = 1;
        report.Clock = WallClock::to_time_t(noon()) - 2;
        QString reportText =
            "    --- Relatório: o que a impressora recebeu nesta execução ---\n"
            "    Opções: data, hora, rodapé; Protocolo: Vinculo; Zerar Senha: Ligar; Recarregar "
            "Senha: 0:00 Hs; Impressora: Bematech (padrão: nenhuma configuração recebida)\n"
            "    Número de bandas: 4 (padrão: nenhuma configuração recebida)\n"
            "    Relógio: 10/05/24 11:59:58 (2 s atrás do relógio deste computador)\n";
        QString reportJson = R"({"bandCount":4,"bands":[)";
        for (int b = 1; b <= 4; ++b) {
            const QString band = QString::number(b);
            reportText += "    Banda " + band + ": 1 a 999, próxima senha 1\n";
            reportJson +=
                QString(b == 1 ? "" : ",") + R"({"band":)" + band + R"(,"end":999,"lines":[)";
            for (int l = 1; l <= 4; ++l) {
                const bool received = b == 4 && l == 2;
                reportText += "      Linha " + QString::number(l) + ": " +
                              (received ? "Expandido     \"dois\"" : "não recebida") + '\n';
                reportJson += QString(l == 1 ? "" : ",") + R"({"line":)" + QString::number(l) +
                              (received ? R"(,"received":true,"style":2,"styleName":"Expandido",)"
                                          R"("text":"dois"})"
                                        : R"(,"received":false,"style":0,)"
                                          R"("styleName":"Enfatizado","text":""})");
            }
            reportJson += R"(],"next":1,"start":1})";
        }
        reportText += "    Tickets impressos: 1\n    ---";
        reportJson += R"(],"clock":{"now":"10/05/24 11:59:58","offsetSeconds":-2,"set":true,)"
                      R"("valid":true},"configured":false,"event":"report","optionBits":7,)"
                      R"("options":{"oldProtocol":false,"printDate":true,"printFooter":true,)"
                      R"("printTime":true,"printerMecaf":false,"reloadAtBandEnd":false,)"
                      R"("resetAtMidnight":false},"tickets":1})";
        QTest::newRow("report") << Event{report} << reportText << reportJson;

        QTest::newRow("a frame that does not decode")
            << Event{Fault{noon(), Kind::Frame, "Comando desconhecido 0x58", Bytes}}
            << "12:00:00.250  ERRO  Comando desconhecido 0x58  bytes: 02 30 65"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","event":"error","kind":"frame",)"
               R"("reason":"Comando desconhecido 0x58"})";
        QTest::newRow("bytes outside a frame")
            << Event{Fault{noon(), Kind::Garbage, "Bytes fora de quadro", {0x41}}}
            << "12:00:00.250  ERRO  Bytes fora de quadro  bytes: 41"
            << R"({"at":"12:00:00.250","bytes":"41","event":"error","kind":"garbage",)"
               R"("reason":"Bytes fora de quadro"})";
        QTest::newRow("a frame cut short")
            << Event{Fault{noon(), Kind::Incomplete, "Quadro incompleto", Bytes}}
            << "12:00:00.250  ERRO  Quadro incompleto  bytes: 02 30 65"
            << R"({"at":"12:00:00.250","bytes":"02 30 65","event":"error","kind":"incomplete",)"
               R"("reason":"Quadro incompleto"})";

        QTest::newRow("stall after one frame")
            << Event{Stalled{1, 20480}}
            << "Depois de 1 quadro a impressora virtual parou de ler e encheu a linha (20480 "
               "bytes): buffer cheio."
            << R"({"event":"stall","filler":20480,"frames":1})";
        QTest::newRow("hang-up after two frames")
            << Event{HungUp{2}}
            << "Depois de 2 quadros a impressora virtual fechou a linha: cabo desligado."
            << R"({"event":"hang-up","frames":2})";
        QTest::newRow("end")
            << Event{Ended{"COM3", "COM3 saiu do mapa de portas."}}
            << "COM3 saiu do mapa de portas."
            << R"({"event":"end","message":"COM3 saiu do mapa de portas.","port":"COM3"})";
    }
    void rendered() {
        QFETCH(Event, event);
        QFETCH(QString, text);
        QFETCH(QString, json);
        QCOMPARE(QString::fromStdString(Rendered(event, Format::Text)), text);
        QCOMPARE(QString::fromStdString(Rendered(event, Format::Json)), json);
    }
};

QTEST_GUILESS_MAIN(NarrationTest)
#include "NarrationTest.moc"
