#include "model/ConfigurationModel.h"

std::string ConfigurationModel::PlaceholderText(int band, int line) {
    return "* BANDA " + std::to_string(band) + " LINHA  " + std::to_string(line) + " *";
}

void ConfigurationModel::SetPlaceholderTexts() {
    for (int band = 1; band <= BandCount; ++band)
        for (int line = 1; line <= LinesPerBand; ++line)
            BandLineText[LineIndex(band, line)] = PlaceholderText(band, line);
}
