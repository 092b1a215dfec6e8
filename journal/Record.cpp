#include "journal/Record.h"

#include <nlohmann/json.hpp>

namespace journal {

namespace {

using nlohmann::ordered_json;

const char* outcomeName(Outcome::Kind kind) {
    switch (kind) {
    case Outcome::Failed:
        return "failed";
    case Outcome::Interrupted:
        return "interrupted";
    case Outcome::Completed:
        break;
    }
    return "completed";
}

const char* sourceName(Source::Kind kind) {
    switch (kind) {
    case Source::File:
        return "file";
    case Source::Window:
        return "window";
    case Source::None:
        break;
    }
    return "none";
}

} // namespace

std::string ToJson(const Record& r) {
    ordered_json frames = ordered_json::array();
    for (const SentFrame& f : r.Frames)
        frames.push_back({{"at", f.AtMs}, {"hex", f.Hex}});
    ordered_json source = {{"from", sourceName(r.Configuration.From)}};
    if (r.Configuration.From != Source::None)
        source["path"] = r.Configuration.Path;
    if (r.Configuration.From == Source::File)
        source["sha256"] = r.Configuration.Sha256;
    ordered_json outcome = {
        {"result", outcomeName(r.Result.What)}, {"step", r.Result.Step}, {"steps", r.Result.Steps}};
    if (r.Result.What == Outcome::Failed)
        outcome["error"] = r.Result.Error;
    const ordered_json line = {
        {"started", r.Started},
        {"durationMs", r.DurationMs},
        {"program", r.Program},
        {"version", r.Version},
        {"user", r.User},
        {"host", r.Host},
        {"command", r.Command},
        {"port", {{"named", r.Port.Named}, {"device", r.Port.Device}, {"stable", r.Port.Stable}}},
        {"bands", r.Bands},
        {"configuration", std::move(source)},
        {"frames", std::move(frames)},
        {"outcome", std::move(outcome)}};
    // Paths and error texts are the strings not known to be UTF-8.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<Record> FromJson(const std::string& text) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (!j.is_object())
        return std::nullopt;
    try {
        Record r;
        r.Started = j.at("started").get<std::string>();
        r.DurationMs = j.at("durationMs").get<int64_t>();
        r.Program = j.at("program").get<std::string>();
        r.Version = j.at("version").get<std::string>();
        r.User = j.at("user").get<std::string>();
        r.Host = j.at("host").get<std::string>();
        r.Command = j.at("command").get<std::string>();
        const nlohmann::json& port = j.at("port");
        r.Port = {port.at("named").get<std::string>(), port.at("device").get<std::string>(),
                  port.value("stable", std::string())};
        r.Bands = j.at("bands").get<std::vector<int>>();
        const nlohmann::json& source = j.at("configuration");
        const std::string from = source.at("from").get<std::string>();
        r.Configuration.From = from == "file"     ? Source::File
                               : from == "window" ? Source::Window
                                                  : Source::None;
        r.Configuration.Path = source.value("path", std::string());
        r.Configuration.Sha256 = source.value("sha256", std::string());
        for (const nlohmann::json& f : j.at("frames"))
            r.Frames.push_back({f.at("at").get<int64_t>(), f.at("hex").get<std::string>()});
        const nlohmann::json& outcome = j.at("outcome");
        const std::string result = outcome.at("result").get<std::string>();
        if (result == "failed")
            r.Result.What = Outcome::Failed;
        else if (result == "interrupted")
            r.Result.What = Outcome::Interrupted;
        else if (result != "completed")
            return std::nullopt;
        r.Result.Step = outcome.at("step").get<int>();
        r.Result.Steps = outcome.at("steps").get<int>();
        r.Result.Error = outcome.value("error", std::string());
        return r;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::optional<std::vector<uint8_t>> FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        return std::nullopt;
    const auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return bytes;
}

} // namespace journal
