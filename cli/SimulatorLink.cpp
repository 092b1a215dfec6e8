#include "cli/SimulatorLink.h"

#include "cli/Command.h"

namespace simulate {

std::optional<std::string> PortLink::Place(int n, const std::string& device, bool force) {
    number = n;
    const std::string name = portmap::ComName(n);
    if (auto refused = MakePortMapFolder())
        return refused;
    using Refusal = portmap::VirtualLink::Refusal;
    const portmap::VirtualLink::Placed placed = link.Place(n, device, force);
    switch (placed.Why) {
    case Refusal::None:
        return std::nullopt;
    case Refusal::Busy:
        return name + " já é de outra impressora virtual, que ainda está em execução";
    case Refusal::ClaimFailed:
        return "não foi possível marcar " + name + " como da impressora virtual: " + placed.Error;
    case Refusal::Taken:
        return name + " já está no mapa de portas (abre " + portmap::DeviceOf(n) +
               "); use --force para pôr a impressora virtual no lugar até o fim";
    case Refusal::IsFolder:
        return portmap::Folder() + "/" + name + " é uma pasta; não foi trocada";
    case Refusal::AsideTaken:
        return portmap::AsidePath(n) + " já existe (guardado por uma simulação anterior?); " +
               "devolva-o a " + name + " ou apague-o antes";
    case Refusal::Failed:
        break;
    }
    return "não foi possível ligar " + name + " a " + device + ": " + placed.Error;
}

std::string PortLink::Remove() {
    const std::string name = portmap::ComName(number);
    using Undone = portmap::VirtualLink::Undone;
    const portmap::VirtualLink::Removal removal = link.Remove();
    switch (removal.What) {
    case Undone::Nothing:
        return {};
    case Undone::Removed:
        return name + " saiu do mapa de portas.";
    case Undone::Restored:
        return name + " voltou a abrir " + portmap::DeviceOf(number) + ".";
    case Undone::ChangedMeanwhile: {
        std::string text = name + " foi trocada durante a simulação e ficou como está.";
        if (removal.KeptAside)
            text += " O que havia antes está em " + portmap::AsidePath(number) + ".";
        SayError(text);
        return {};
    }
    case Undone::Failed:
        break;
    }
    SayError("não foi possível desfazer " + portmap::Folder() + "/" + name + ": " + removal.Error);
    return {};
}

} // namespace simulate
