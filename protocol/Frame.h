#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The two frame shapes of the printer protocol and the writers of their
// fields. Plain C++, no Qt; every function may be called from any thread on
// its own objects.
//
// A frame is built in three steps: the constructor sets every position to the
// fill byte and writes the fixed header (STX, "0", command letter); the Put*
// writers place the data fields; Finish() writes the CR and the checksum.
// Only positions 3 up to the one before the CR take data: a writer asked for
// any other position throws std::out_of_range and leaves the frame unchanged.
namespace protocol {

inline constexpr uint8_t Stx = 0x02;
inline constexpr uint8_t Cr = 0x0D;
inline constexpr uint8_t Zero = 0x30;  // "0": header byte and the usual fill
inline constexpr uint8_t Space = 0x20; // fill of a header-line frame

// The two's complement of the 8-bit sum of bytes, so that bytes plus checksum
// sum to 0 modulo 256.
uint8_t Checksum(std::span<const uint8_t> bytes);

template <std::size_t Size> class Frame {
public:
    static constexpr std::size_t FrameSize = Size;
    static constexpr std::size_t FirstDataPosition = 3;
    static constexpr std::size_t CrPosition = Size - 2;
    static constexpr std::size_t ChecksumPosition = Size - 1;
    // The 4-position decimal field holds the "%d" text of -999 to 9999.
    static constexpr int32_t DecimalMin = -999;
    static constexpr int32_t DecimalMax = 9999;
    static constexpr std::size_t DecimalWidth = 4;

    using Bytes = std::array<uint8_t, Size>;

    // Writes value as one byte at pos.
    void PutByte(std::size_t pos, uint8_t value);
    // Writes the character of digit (0 to 9) at pos; std::out_of_range for any
    // other number.
    void PutDigit(std::size_t pos, int digit);
    // Writes the "%d" text of value right-aligned in the 4 positions ending at
    // lastPos; positions left of the text keep the fill. A value outside
    // DecimalMin..DecimalMax is first clamped to the nearer bound, so the text
    // never leaves its field.
    void PutDecimal(std::size_t lastPos, int32_t value);
    // Writes the CR and the checksum. Call it once, after the last field.
    void Finish();

    const Bytes& bytes() const { return data; }
    uint8_t operator[](std::size_t pos) const { return data[pos]; }

protected:
    Frame(uint8_t command, uint8_t fill);
    void checkData(std::size_t first, std::size_t count) const;

    Bytes data{};
};

extern template class Frame<14>;
extern template class Frame<28>;

// 14 bytes: STX, "0", command letter, data at 3 to 11, CR, checksum.
// Always filled with "0".
class ShortFrame : public Frame<14> {
public:
    explicit ShortFrame(uint8_t command) : Frame(command, Zero) {}
};

// 28 bytes: STX, "0", "L", identifier at 3, data at 4 to 25, CR, checksum.
class LongFrame : public Frame<28> {
public:
    static constexpr uint8_t Command = 0x4C; // "L"
    static constexpr std::size_t TextPosition = 5;
    static constexpr std::size_t TextCapacity = 20;

    LongFrame(uint8_t identifier, uint8_t fill);

    // Copies text byte for byte from position 5 on, as it stands (convert it
    // with ConvertAccents first). Only its first 20 characters are taken, so
    // position 25 and the CR are never reached.
    void PutText(std::string_view text);
};

// Position i of AccentFrom (a Windows-1252 character) goes to the printer as
// position i of AccentTo (code page 850, except that the masculine ordinal
// goes out as the degree sign 0xF8).
inline constexpr std::size_t AccentCount = 29;
extern const std::array<uint8_t, AccentCount> AccentFrom;
extern const std::array<uint8_t, AccentCount> AccentTo;

// Converts text in place: every character found in AccentFrom becomes its
// AccentTo partner, every other character stays. Each character is converted
// at most once; the length never changes.
void ConvertAccents(std::string& text);

} // namespace protocol
