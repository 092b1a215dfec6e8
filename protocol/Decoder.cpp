#include "protocol/Decoder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

namespace protocol {

bool operator==(const ConfigCommand& a, const ConfigCommand& b) {
    return a.Id == b.Id && OptionBits(a.Options) == OptionBits(b.Options) &&
           a.BandCount == b.BandCount && a.First.Start == b.First.Start &&
           a.First.End == b.First.End && a.Second.Start == b.Second.Start &&
           a.Second.End == b.Second.End;
}

namespace {

constexpr std::size_t ShortSize = ShortFrame::FrameSize;
constexpr std::size_t LongSize = LongFrame::FrameSize;

std::string hex(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

// Bytes as an operator can read them: printable ASCII as it is, the rest as
// \xNN, so a control byte never reaches the terminal raw.
std::string shown(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            text += escaped;
        }
    }
    return text;
}

DecodeError error(DecodeErrorKind kind, std::string text) {
    return {kind, std::move(text)};
}

// The first position from first to last (inclusive) that does not hold value.
std::optional<DecodeError> expectBytes(std::span<const uint8_t> frame, std::size_t first,
                                       std::size_t last, uint8_t value) {
    for (std::size_t pos = first; pos <= last; ++pos)
        if (frame[pos] != value)
            return error(DecodeErrorKind::UnexpectedByte,
                         "Byte inesperado na posição " + std::to_string(pos) + " (esperado " +
                             hex(value) + ", recebido " + hex(frame[pos]) + ")");
    return std::nullopt;
}

// The value of the 4-position decimal field ending at lastPos, accepted only
// when the builder would write exactly these characters for it.
std::variant<int32_t, DecodeError> decimalField(std::span<const uint8_t> frame,
                                                std::size_t lastPos) {
    constexpr std::size_t Width = LongFrame::DecimalWidth;
    const std::size_t first = lastPos + 1 - Width;
    const auto field = frame.subspan(first, Width);

    std::size_t start = 0;
    while (start < Width && field[start] == Zero)
        ++start;
    int32_t value = 0;
    bool parsed = true;
    if (start < Width) {
        const auto* begin = reinterpret_cast<const char*>(field.data() + start);
        const auto* end = reinterpret_cast<const char*>(field.data() + Width);
        const auto [stop, ec] = std::from_chars(begin, end, value);
        parsed = ec == std::errc{} && stop == end;
    }

    // Written back as the builder writes it, the field must come out the same:
    // this rejects "0-05", "00-0", "-000" and the like.
    if (parsed) {
        std::array<uint8_t, Width> written;
        written.fill(Zero);
        char text[Width];
        const auto [textEnd, textEc] = std::to_chars(text, text + Width, value);
        (void)textEc; // cannot fail: four characters parse to at most four
        const auto length = static_cast<std::size_t>(textEnd - text);
        std::copy(text, textEnd, written.begin() + static_cast<std::ptrdiff_t>(Width - length));
        if (std::equal(written.begin(), written.end(), field.begin()))
            return value;
    }
    return error(DecodeErrorKind::BadDecimal,
                 "Campo decimal inválido nas posições " + std::to_string(first) + " a " +
                     std::to_string(lastPos) + " (\"" + shown(field) + "\")");
}

OptionConditions optionConditions(uint8_t bits) {
    auto bit = [bits](unsigned n) { return (bits >> n & 1u) != 0; };
    return {bit(0), bit(1), bit(2), bit(3), bit(4), bit(5), bit(6)};
}

// Wire byte back to the Windows-1252 character it was converted from.
const std::array<uint8_t, 256>& accentReverse() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (std::size_t b = 0; b < t.size(); ++b)
            t[b] = static_cast<uint8_t>(b);
        for (std::size_t i = 0; i < AccentCount; ++i)
            t[AccentTo[i]] = AccentFrom[i];
        return t;
    }();
    return table;
}

DecodeResult decodeShort(std::span<const uint8_t> f) {
    constexpr std::size_t LastData = ShortFrame::CrPosition - 1;
    switch (f[2]) {
    case 'e':
    case 'f':
    case 'w':
        if (auto e = expectBytes(f, 3, LastData, Zero))
            return *e;
        if (f[2] == 'e')
            return Command{E2pCommand{}};
        if (f[2] == 'f')
            return Command{ReportCommand{}};
        return Command{RestartCommand{}};
    case 'T':
        if (f[3] < '0' || f[3] > '9')
            return error(DecodeErrorKind::BadDigit,
                         "Banda do comando \"T\" não é um dígito (" + hex(f[3]) + ")");
        if (auto e = expectBytes(f, 4, LastData, Zero))
            return *e;
        return Command{PrintBandCommand{f[3] - '0'}};
    case 'R':
        if (auto e = expectBytes(f, 9, 9, '1'))
            return *e;
        if (auto e = expectBytes(f, 10, LastData, Zero))
            return *e;
        return Command{ClockCommand{f[3], f[4], f[5], f[6], f[7], f[8]}};
    }
    return error(DecodeErrorKind::UnknownCommand, "Comando desconhecido " + hex(f[2]));
}

DecodeResult decodeLine(std::span<const uint8_t> f) {
    constexpr std::size_t First = LongFrame::TextPosition;
    constexpr std::size_t Last = First + LongFrame::TextCapacity - 1;
    if (auto e = expectBytes(f, Last + 1, LongFrame::CrPosition - 1, Space))
        return *e;
    std::size_t end = Last + 1;
    while (end > First && f[end - 1] == Space)
        --end;
    const auto& reverse = accentReverse();
    std::string text;
    text.reserve(end - First);
    for (std::size_t pos = First; pos < end; ++pos)
        text += static_cast<char>(reverse[f[pos]]);
    return Command{LineCommand{f[3], f[4], std::move(text)}};
}

DecodeResult decodeConfig(std::span<const uint8_t> f) {
    if (f[4] & 0x80)
        return error(DecodeErrorKind::BadOptionByte,
                     "Byte de opções com o bit 7 ligado (" + hex(f[4]) + ")");
    int32_t values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        auto field = decimalField(f, 9 + 4 * i);
        if (auto* e = std::get_if<DecodeError>(&field))
            return *e;
        values[i] = std::get<int32_t>(field);
    }
    if (auto e = expectBytes(f, 22, LongFrame::CrPosition - 1, Zero))
        return *e;
    return Command{ConfigCommand{static_cast<ConfigFrameId>(f[3]),
                                 optionConditions(f[4]),
                                 f[5],
                                 {values[0], values[1]},
                                 {values[2], values[3]}}};
}

} // namespace

std::optional<std::size_t> FrameLength(uint8_t letter) {
    switch (letter) {
    case LongFrame::Command:
        return LongSize;
    case 'e':
    case 'T':
    case 'w':
    case 'f':
    case 'R':
        return ShortSize;
    }
    return std::nullopt;
}

DecodeResult Decode(std::span<const uint8_t> frame) {
    const std::size_t size = frame.size();
    if (size >= 1 && frame[0] != Stx)
        return error(DecodeErrorKind::MissingStx,
                     "Quadro não começa com STX (recebido " + hex(frame[0]) + ")");
    if (size >= 2 && frame[1] != Zero)
        return error(DecodeErrorKind::MissingZero,
                     "Posição 1 sem o \"0\" (recebido " + hex(frame[1]) + ")");
    if (size < 3)
        return error(DecodeErrorKind::TooShort,
                     "Quadro curto (" + std::to_string(size) + " bytes, sem comando)");

    const auto length = FrameLength(frame[2]);
    if (!length)
        return error(DecodeErrorKind::UnknownCommand, "Comando desconhecido " + hex(frame[2]) +
                                                          " (\"" + shown(frame.subspan(2, 1)) +
                                                          "\")");
    const std::string counts = std::to_string(size) + " de " + std::to_string(*length) + " bytes";
    if (size < *length)
        return error(DecodeErrorKind::TooShort, "Quadro curto (" + counts + ")");
    if (size > *length)
        return error(DecodeErrorKind::TooLong, "Quadro longo (" + counts + ")");

    const std::size_t crPos = size - 2;
    if (frame[crPos] != Cr)
        return error(DecodeErrorKind::MissingCr, "Falta o CR na posição " + std::to_string(crPos) +
                                                     " (recebido " + hex(frame[crPos]) + ")");
    const uint8_t expected = Checksum(frame.first(size - 1));
    if (frame[size - 1] != expected)
        return error(DecodeErrorKind::WrongChecksum, "Soma de verificação errada (esperada " +
                                                         hex(expected) + ", recebida " +
                                                         hex(frame[size - 1]) + ")");

    if (frame[2] != LongFrame::Command)
        return decodeShort(frame);
    const uint8_t id = frame[3];
    if (id >= 1 && id <= 16)
        return decodeLine(frame);
    if (id == static_cast<uint8_t>(ConfigFrameId::Bands1And2) ||
        id == static_cast<uint8_t>(ConfigFrameId::Bands3And4))
        return decodeConfig(frame);
    return error(DecodeErrorKind::UnknownLineId,
                 "Identificador de \"L\" desconhecido (" + std::to_string(id) + ")");
}

} // namespace protocol
