#include "protocol/Frame.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace protocol {

uint8_t Checksum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = static_cast<uint8_t>(sum + b);
    return static_cast<uint8_t>(-sum);
}

template <std::size_t Size> Frame<Size>::Frame(uint8_t command, uint8_t fill) {
    data.fill(fill);
    data[0] = Stx;
    data[1] = Zero;
    data[2] = command;
}

template <std::size_t Size>
void Frame<Size>::checkData(std::size_t first, std::size_t count) const {
    if (first < FirstDataPosition || count > CrPosition || first > CrPosition - count)
        throw std::out_of_range("frame field outside the data positions");
}

template <std::size_t Size> void Frame<Size>::PutByte(std::size_t pos, uint8_t value) {
    checkData(pos, 1);
    data[pos] = value;
}

template <std::size_t Size> void Frame<Size>::PutDigit(std::size_t pos, int digit) {
    if (digit < 0 || digit > 9)
        throw std::out_of_range("not a one-digit number");
    checkData(pos, 1);
    data[pos] = static_cast<uint8_t>(Zero + digit);
}

template <std::size_t Size> void Frame<Size>::PutDecimal(std::size_t lastPos, int32_t value) {
    if (lastPos < DecimalWidth - 1)
        throw std::out_of_range("frame field outside the data positions");
    const std::size_t first = lastPos - (DecimalWidth - 1);
    checkData(first, DecimalWidth);

    char text[DecimalWidth];
    const auto [end, ec] =
        std::to_chars(text, text + DecimalWidth, std::clamp(value, DecimalMin, DecimalMax));
    (void)ec; // cannot fail: every clamped value has at most 4 characters
    const auto length = static_cast<std::size_t>(end - text);
    std::copy(text, end, data.begin() + static_cast<std::ptrdiff_t>(lastPos + 1 - length));
}

template <std::size_t Size> void Frame<Size>::Finish() {
    data[CrPosition] = Cr;
    data[ChecksumPosition] = Checksum(std::span(data).first(ChecksumPosition));
}

template class Frame<14>;
template class Frame<28>;

LongFrame::LongFrame(uint8_t identifier, uint8_t fill) : Frame(Command, fill) {
    data[FirstDataPosition] = identifier;
}

void LongFrame::PutText(std::string_view text) {
    const std::size_t length = std::min(text.size(), TextCapacity);
    checkData(TextPosition, length);
    std::copy_n(text.begin(), length, data.begin() + TextPosition);
}

const std::array<uint8_t, AccentCount> AccentFrom = {
    0xE1, 0xE0, 0xE3, 0xE2, 0xE9, 0xEA, 0xED, 0xF3, 0xF4, 0xF5, 0xFA, 0xE7, 0xC1, 0xC0, 0xC3,
    0xC2, 0xC9, 0xCA, 0xCD, 0xD3, 0xD4, 0xD5, 0xDA, 0xC7, 0xF9, 0xC8, 0xD2, 0xD9, 0xBA};
const std::array<uint8_t, AccentCount> AccentTo = {
    0xA0, 0x85, 0xC6, 0x83, 0x82, 0x88, 0xA1, 0xA2, 0x93, 0xE4, 0xA3, 0x87, 0xB5, 0xB7, 0xC7,
    0xB6, 0x90, 0xD2, 0xD6, 0xE0, 0xE2, 0xE5, 0xE9, 0x80, 0x97, 0xD4, 0xE3, 0xEB, 0xF8};

void ConvertAccents(std::string& text) {
    for (char& c : text) {
        const auto byte = static_cast<uint8_t>(c);
        const auto* hit = std::find(AccentFrom.begin(), AccentFrom.end(), byte);
        if (hit != AccentFrom.end())
            c = static_cast<char>(AccentTo[static_cast<std::size_t>(hit - AccentFrom.begin())]);
    }
}

} // namespace protocol
