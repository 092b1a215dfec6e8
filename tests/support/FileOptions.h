#pragma once

#include "printer/PrinterOptions.h"

// Options in the order of their keys in a settings file: COMBO8, COMBO10,
// COMBO11, COMBO12, CHECK4, CHECK5, CHECK7, UP1.
inline printer::PrinterOptions FileOptions(int combo8, int combo10, int combo11, int combo12,
                                           bool check4, bool check5, bool check7, int16_t up1) {
    printer::PrinterOptions o;
    o.ResetAt = printer::ResetPolicy(combo8);
    o.ReloadAt = printer::ReloadPolicy(combo10);
    o.Printer = printer::PrinterModel(combo11);
    o.Protocol = printer::ProtocolFormat(combo12);
    o.PrintFooter = check4;
    o.PrintDate = check5;
    o.PrintTime = check7;
    o.BandCount = up1;
    return o;
}
