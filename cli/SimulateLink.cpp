#include "cli/SimulateLink.h"

#include "cli/Command.h"

namespace simulator {

std::optional<std::string> PortLink::Place(int n, const std::string& device, bool force) {
    number = n;
    const std::string name = ports::ComName(n);
    if (auto refused = MakePortMapFolder())
        return refused;
    using Refusal = ports::VirtualLink::Refusal;
    const ports::VirtualLink::Placed placed = link.Place(n, device, force);
    switch (placed.Why) {
    case Refusal::None:
        return std::nullopt;
    case Refusal::Busy:
        return name + " já é de outra impressora virtual, que ainda está em execução";
    case Refusal::ClaimFailed:
        return "não foi possível marcar " + name + " como da impressora virtual: " + placed.Error;
    case Refusal::Taken:
        return name + " já está no mapa de portas (abre " + ports::DeviceOf(n) +
               "); use --force para pôr a impressora virtual no lugar até o fim";
    case Refusal::IsFolder:
        return ports::Folder() + "/" + name + " é uma pasta; não foi trocada";
    case Refusal::AsideTaken:
        return ports::AsidePath(n) + " já existe (guardado por uma simulação anterior?); " +
               "devolva-o a " + name + " ou apague-o antes";
    case Refusal::Failed:
        break;
    }
    return "não foi possível ligar " + name + " a " + device + ": " + placed.Error;
}

std::string PortLink::Remove() {
    const std::string name = ports::ComName(number);
    using Undone = ports::VirtualLink::Undone;
    const ports::VirtualLink::Removal removal = link.Remove();
    switch (removal.What) {
    case Undone::Nothing:
        return {};
    case Undone::Removed:
        return name + " saiu do mapa de portas.";
    case Undone::Restored:
        return name + " voltou a abrir " + ports::DeviceOf(number) + ".";
    case Undone::ChangedMeanwhile: {
        std::string text = name + " foi trocada durante a simulação e ficou como está.";
        if (removal.KeptAside)
            text += " O que havia antes está em " + ports::AsidePath(number) + ".";
        SayError(text);
        return {};
    }
    case Undone::Failed:
        break;
    }
    SayError("não foi possível desfazer " + ports::Folder() + "/" + name + ": " + removal.Error);
    return {};
}

} // namespace simulator
