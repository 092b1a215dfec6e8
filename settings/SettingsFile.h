#pragma once

#include "model/ConfigurationModel.h"
#include "settings/ProfileFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The "*.snh" settings file: one section "Programa" with 64 keys that hold
// the band and line tables of the model and the global option values.
// Qt-free; plain functions without shared state.

// The option values that live in the window's controls. The member
// initialisers are the values a missing or unreadable key gives.
struct SettingsOptions {
    int32_t ComboBox8 = 0;  // COMBO8, "Zerar Senha:"; -1 for no selection
    int32_t ComboBox10 = 0; // COMBO10, "Recarregar Senha:"
    int32_t ComboBox11 = 0; // COMBO11, "Impressora:"
    int32_t ComboBox12 = 0; // COMBO12, "Protocolo:"
    bool CheckBox4 = true;  // CHECK4, print the footer
    bool CheckBox5 = true;  // CHECK5, print the date
    bool CheckBox7 = true;  // CHECK7, print the time
    int16_t Up1 = 4;        // UP1, the number of bands

    bool operator==(const SettingsOptions&) const = default;
};

namespace SettingsFile {

inline constexpr std::string_view Section = "Programa";
inline constexpr std::size_t KeyCount = 64;

// The whole file as a save writes it: "[Programa]" and the 64 lines
// "KEY=value" in this order: LINHA11..LINHA44, COMBO8, COMBO10, COMBO11,
// COMBO12, FONTE11..FONTE44, FONT11..FONT44, CHECK4, CHECK5, CHECK7, UP1,
// SENHA1I, SENHA1F .. SENHA4I, SENHA4F; each line ended by CR LF, nothing
// else. Of model, only the line, style, flag and band tables are read.
std::string Format(const ConfigurationModel& model, const SettingsOptions& options);

// The 64 key names in file order.
const std::vector<std::string>& KeyNames();

// The section "Programa" and its 64 keys of the file at path, or of bytes;
// see ProfileFile for what a missing or unreadable file gives.
ProfileFile Load(const std::string& path);
ProfileFile Parse(std::string_view bytes);

// Reads every key of file, as Load or Parse gave it. The line, style, flag
// and band tables of model are replaced (a missing LINHA key gives its own
// placeholder text, any other missing or unreadable key its default); the
// option values are returned. Values are taken unchecked, whatever their
// range; only line texts are cut to ConfigurationModel::MaxLineLength.
SettingsOptions Apply(const ProfileFile& file, ConfigurationModel& model);

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
