#pragma once

#include "printer/PrinterConfiguration.h"

#include <optional>
#include <string>

// The one place where qrv reads a settings file ("*.snh").
struct LoadedConfiguration {
    printer::PrinterConfiguration Configuration; // as the file holds it
    std::optional<std::string> Error;            // set when the file cannot be used
    std::string Sha256;                          // of the bytes read, for the journal
};

// Reads the settings file at path as the window's open command does: refuses
// (Error says why, in Portuguese, naming the file) what SettingsFile::Unusable
// refuses, and also a file without the [Programa] section, which the window
// opens as every default.
LoadedConfiguration LoadConfiguration(const std::string& path);
