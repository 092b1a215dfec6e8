#include "cli/FailureText.h"

#include "serial/device/Device.h"
#include "serial/net/NetworkAddress.h"

namespace {

constexpr unsigned GroupReadWrite = 060, OwnerReadWrite = 0600;

std::string seconds(int ms) {
    return std::to_string((ms + 999) / 1000) + " s";
}

} // namespace

std::string AccessAdvice(const DeviceAccess& a) {
    const bool groupMay = (a.Mode & GroupReadWrite) == GroupReadWrite;
    if (groupMay && !a.GroupIsRoot) {
        if (a.InSession)
            return a.Device + " é do grupo " + a.Group + ", que tem leitura e escrita nele, e o " +
                   "usuário " + a.User + " faz parte do grupo; o sistema recusou assim mesmo " +
                   "(uma ACL ou uma política de segurança)";
        if (a.InGroupFile)
            return "o usuário " + a.User + " já está no grupo " + a.Group + ", dono de " +
                   a.Device + ", mas esta sessão começou antes: saia e entre de novo na sessão";
        return "o usuário " + a.User + " não está no grupo " + a.Group + ", dono de " + a.Device +
               "; corrija com: sudo usermod -aG " + a.Group + " " + a.User +
               " (depois saia e entre de novo na sessão)";
    }
    const bool ownerMay = (a.Mode & OwnerReadWrite) == OwnerReadWrite;
    std::string who;
    if (ownerMay && groupMay)
        who = "só o dono (" + a.Owner + ") e o grupo " + a.Group + " podem abrir " + a.Device;
    else if (ownerMay)
        who = "só o dono de " + a.Device + " (" + a.Owner + ") pode abrir o dispositivo";
    else if (groupMay)
        who = "só o grupo " + a.Group + " pode abrir " + a.Device;
    else
        who = "nem o dono (" + a.Owner + ") nem o grupo (" + a.Group +
              ") têm leitura e escrita em " + a.Device;
    if (groupMay)
        who += " (entrar no grupo root daria ao usuário bem mais que a porta)";
    return who +
           "; um administrador pode dar o dispositivo a um grupo só para portas seriais, com " +
           "leitura e escrita (por exemplo, uma regra do udev com GROUP=\"dialout\", " +
           "MODE=\"0660\"), e pôr nele o usuário " + a.User;
}

std::optional<std::string> NetworkFailureLine(const NetworkFailure& f) {
    using serial::net::NetworkError;
    const auto is = [&f](NetworkError e) { return f.Code == serial::net::NetworkErrorCode(e); };
    if (f.OutOfMemory)
        return "faltou memória ao falar com o servidor; nada mais foi enviado";
    // qrv always asks for the printer's line (SetPrinterLine): 9600 8N2.
    if (is(NetworkError::Rfc2217BaudRefused))
        return "o servidor recusou a velocidade da impressora (9600 bauds); nada foi enviado";
    if (is(NetworkError::Rfc2217DataBitsRefused))
        return "o servidor recusou os 8 bits de dados da impressora; nada foi enviado";
    if (is(NetworkError::Rfc2217ParityRefused))
        return "o servidor recusou a paridade da impressora (sem paridade); nada foi enviado";
    if (is(NetworkError::Rfc2217StopBitsRefused))
        return "o servidor recusou os 2 bits de parada da impressora; nada foi enviado";
    if (is(NetworkError::Rfc2217LineSilent))
        return "o servidor não respondeu à configuração da linha em " +
               seconds(serial::net::kNegotiationLimitMs) + "; nada foi enviado";
    if (is(NetworkError::Rfc2217Held))
        return "o servidor segurou a linha (pediu pausa no envio) por mais de " +
               seconds(f.WriteLimitMs) + ", o limite de escrita";
    if (is(NetworkError::RawServerSpeaksTelnet)) {
        const auto address = serial::net::ParseNetworkAddress(f.Address);
        return "o servidor fala RFC 2217 nessa porta; use rfc2217://" +
               (address ? address->HostPort() : std::string("HOST:PORTA")) + " (nada foi enviado)";
    }
    // The binding's code for a line setting the server answered with
    // another value, when it does not say which.
    if (!f.WhileSending && f.Code == serial::device::ErrorCode(serial::device::ErrorKind::Other))
        return "o servidor não aceitou a linha da impressora (9600 bauds, 8 bits de dados, sem "
               "paridade, 2 bits de parada); nada foi enviado";
    if (f.ConnectionRefused)
        return "o servidor recusou a conexão: nada atende nessa porta TCP";
    if (f.HostUnreachable)
        return "não há caminho na rede até o servidor (a rede ou o host está fora do alcance)";
    const serial::device::ErrorKind kind = serial::device::Classify(f.Code);
    if (kind == serial::device::ErrorKind::TimedOut)
        return f.WhileSending ? "o servidor não recebeu os bytes em " + seconds(f.WriteLimitMs) +
                                    ", o limite de escrita"
                              : "o servidor não respondeu a tempo; nada foi enviado";
    if (kind == serial::device::ErrorKind::HungUp || f.ConnectionClosed)
        return f.WhileSending ? "o servidor fechou a conexão durante o envio"
                              : "o servidor fechou a conexão logo ao abrir; nada foi enviado "
                                "(ele pode estar atendendo outro cliente)";
    return std::nullopt;
}
