#pragma once

#include "printer/PrinterConfiguration.h"
#include "settings/ProfileFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The "*.snh" settings file: one section "Programa" with 64 keys that hold
// a printer configuration: the band and line tables and the global options.
// Qt-free; plain functions without shared state.

namespace SettingsFile {

inline constexpr std::string_view Section = "Programa";
inline constexpr std::size_t KeyCount = 64;

// The whole file as a save writes it: "[Programa]" and the 64 lines
// "KEY=value" in this order: LINHA11..LINHA44, COMBO8, COMBO10, COMBO11,
// COMBO12, FONTE11..FONTE44, FONT11..FONT44, CHECK4, CHECK5, CHECK7, UP1,
// SENHA1I, SENHA1F .. SENHA4I, SENHA4F; each line ended by CR LF, nothing
// else. Of the model, only the line, style, flag and band tables are read.
std::string Format(const printer::PrinterConfiguration& config);

// The 64 key names in file order.
const std::vector<std::string>& KeyNames();

// The section "Programa" and its 64 keys of the file at path, or of bytes;
// see ProfileFile for what a missing or unreadable file gives.
ProfileFile Load(const std::string& path);
ProfileFile Parse(std::string_view bytes);

// Every key of file, as Load or Parse gave it: a missing LINHA key gives its
// own placeholder text, any other missing or unreadable key the default of
// PrinterOptions or ConfigurationModel. Values are taken unchecked, whatever
// their range; only line texts are cut to ConfigurationModel::MaxLineLength.
// The model's editor state (CurrentBand, FirstBandSelected) is its default.
printer::PrinterConfiguration Read(const ProfileFile& file);

// A line text as stored: each character's code plus 0x20 (mod 256), the
// text taken up to its first NUL. The codes that would become NUL, LF and
// CR (0xE0, 0xEA, 0xED) are stored 0x20 higher instead (0x20, 0x2A, 0x2D),
// and a value that then begins or ends with a blank byte of the profile
// format, or begins and ends with the same quote (" or '), is put in double
// quotes, so that the reader keeps those bytes.
std::string EncodeLineText(std::string_view text);

// A stored line value back to its text: the bytes 0x20..0x3F are the codes
// 0xE0..0xFF, every other byte is its code minus 0x20 (mod 256), as files
// of the earlier format hold them. The value is expected without its
// quotes, as ProfileFile hands it over. Not cut to any length.
std::string DecodeLineText(std::string_view value);

// An integer value: optional leading blanks, an optional "+" or "-", then
// decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"
// (up to 32 bits, taken as two's complement). Anything else, an empty
// value and a decimal number outside the 32-bit range give fallback.
int32_t ParseInteger(std::string_view value, int32_t fallback);

} // namespace SettingsFile
