#pragma once

#include "printer/PrinterConfiguration.h"

#include <optional>
#include <string>

// The one place where qrv reads a settings file ("*.snh").
struct LoadedConfiguration {
    printer::PrinterConfiguration Configuration; // as the file holds it
    std::optional<std::string> Error;            // set when the file cannot be used
};

// Reads the settings file at path as the window's open command does, but
// refuses (Error says why, in Portuguese, naming the file) a file that does
// not exist, is not a regular file, cannot be read or has no [Programa]
// section: unlike the window, qrv never falls back to every default.
LoadedConfiguration LoadConfiguration(const std::string& path);
