#pragma once

#include <array>
#include <cstdint>
#include <string>

// Everything the program holds about what it will program into the printer:
// per band a ticket range, per header line a text, a style and a print flag.
// The global options live in their window controls, not here.
//
// Plain data, touched only on the window's event thread. Texts are
// Windows-1252 bytes, at most MaxLineLength characters.
struct ConfigurationModel {
    static constexpr int BandCount = 4;
    static constexpr int LinesPerBand = 4;
    static constexpr int LineCount = BandCount * LinesPerBand;
    static constexpr std::size_t MaxLineLength = 20;
    static constexpr int32_t DefaultStyle = 3; // "Dupla Altura"

    struct BandRange {
        int32_t Start = 1;
        int32_t End = 999;
        bool operator==(const BandRange&) const = default;
    };

    std::array<BandRange, BandCount> Ranges{};
    std::array<std::string, LineCount> BandLineText{};
    std::array<int32_t, LineCount> LineStyle = filled<int32_t>(DefaultStyle);
    std::array<bool, LineCount> LineEnabled = filled<bool>(true);

    int32_t CurrentBand = 1;        // band shown in the editor, 1 to 4
    bool FirstBandSelected = false; // set once, by the first band selection

    // band and line are 1 to 4.
    static constexpr int LineIndex(int band, int line) {
        return (band - 1) * LinesPerBand + (line - 1);
    }

    // band is 1 to 4.
    int32_t& BandStart(int band) { return Ranges.at(band - 1).Start; }
    int32_t& BandEnd(int band) { return Ranges.at(band - 1).End; }
    int32_t BandStart(int band) const { return Ranges.at(band - 1).Start; }
    int32_t BandEnd(int band) const { return Ranges.at(band - 1).End; }

    // "* BANDA b LINHA  l *": exactly 20 characters.
    static std::string PlaceholderText(int band, int line);
    // Sets all 16 header texts to their placeholders, band 1 line 1 first.
    void SetPlaceholderTexts();

private:
    template <typename T> static constexpr std::array<T, LineCount> filled(T value) {
        std::array<T, LineCount> a{};
        a.fill(value);
        return a;
    }
};
