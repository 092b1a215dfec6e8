#include "cli/HelpText.h"

namespace helptext {

const char* const MapCommand = "Faz COMn abrir DEVICE (um link no mapa de portas)";
const char* const MapDevice = "Dispositivo, por exemplo /dev/serial/by-id/..., ou porta de rede "
                              "rfc2217://HOST:PORTA, socket://HOST:PORTA";
const char* const UnmapCommand = "Tira COMn do mapa de portas (remove só um link simbólico)";

bool Listed(const std::string&) {
    return true;
}

} // namespace helptext
