#include "cli/HelpText.h"

namespace helptext {

// The Windows map holds network ports only; a local port is the system's COMn.
const char* const MapCommand = "Faz COMn abrir a porta de rede DEVICE (uma entrada no mapa de "
                               "portas, na pasta de dados do usuário)";
const char* const MapDevice = "Porta de rede rfc2217://HOST:PORTA ou socket://HOST:PORTA";
const char* const UnmapCommand = "Tira COMn do mapa de portas (o COMn do sistema volta a valer)";

bool Listed(const std::string& command) {
    return command != "simulate";
}

} // namespace helptext
