#include "journal/Journal.h"

#include "journal/AppendFile.h"
#include "journal/Sha256.h"
#include "journal/System.h"
#include "model/Utf8Path.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace journal {

namespace {

// The lines of a file from its last to its first, read in blocks from the
// end, so that the newest records come without reading the whole file.
class LinesBackwards {
public:
    explicit LinesBackwards(const std::string& path) : in_(Utf8Path(path), std::ios::binary) {
        if (!in_)
            return;
        in_.seekg(0, std::ios::end);
        pos_ = static_cast<uint64_t>(in_.tellg());
        fill();
        if (!buffer_.empty() && buffer_.back() == '\n')
            buffer_.pop_back();
        else
            tornTail_ = !buffer_.empty();
    }
    // The next line back, and whether it is the file's unfinished last line.
    bool Next(std::string& line, bool& torn) {
        for (;;) {
            const std::size_t k = buffer_.rfind('\n');
            if (k == std::string::npos) {
                if (pos_ > 0) {
                    fill();
                    continue;
                }
                if (done_)
                    return false;
                done_ = true;
                line = std::move(buffer_);
                buffer_.clear();
            } else {
                line = buffer_.substr(k + 1);
                buffer_.resize(k);
            }
            torn = tornTail_;
            tornTail_ = false;
            if (!line.empty())
                return true;
        }
    }

private:
    void fill() {
        const uint64_t size = pos_ < Block ? pos_ : Block;
        pos_ -= size;
        std::string block(static_cast<std::size_t>(size), '\0');
        in_.seekg(static_cast<std::streamoff>(pos_));
        in_.read(block.data(), static_cast<std::streamsize>(size));
        buffer_.insert(0, block);
    }
    static constexpr uint64_t Block = 256 * 1024;
    std::ifstream in_;
    uint64_t pos_ = 0;
    std::string buffer_;
    bool tornTail_ = false;
    bool done_ = false;
};

std::string idOf(const std::string& line) {
    return Sha256Hex(line).substr(0, 8);
}

// The port filter as it appears inside a JSON string of a line.
std::string jsonText(const std::string& text) {
    const std::string quoted =
        nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return quoted.substr(1, quoted.size() - 2);
}

std::string normalisedSince(std::string since) {
    if (since.size() > 10 && since[10] == ' ')
        since[10] = 'T';
    return since;
}

bool digits(const std::string& text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

} // namespace

std::optional<std::string> AppendLine(const std::string& path, const std::string& line,
                                      uint64_t rotateBytes) {
    return detail::AppendLocked(path, line + "\n", rotateBytes);
}

std::optional<std::string> Append(const Record& record) {
    const std::string path = JournalPath();
    if (path.empty())
        return std::string("a pasta do usuário não é conhecida");
    const std::string folder = Utf8Text(Utf8Path(path).parent_path());
    if (auto error = detail::MakeFolder(folder))
        return error;
    return AppendLine(path, ToJson(record));
}

std::vector<std::string> JournalFiles(const std::string& path) {
    return {path, path + ".1", path + ".2"};
}

std::optional<std::string> CheckSince(const std::string& since) {
    const std::string s = normalisedSince(since);
    const bool date = s.size() >= 10 && digits(s, 0, 4) && s[4] == '-' && digits(s, 5, 2) &&
                      s[7] == '-' && digits(s, 8, 2);
    const bool time =
        s.size() == 10 ||
        (s.size() >= 16 && s[10] == 'T' && digits(s, 11, 2) && s[13] == ':' && digits(s, 14, 2) &&
         (s.size() == 16 || (s.size() == 19 && s[16] == ':' && digits(s, 17, 2))));
    if (date && time)
        return std::nullopt;
    return "data inválida \"" + since +
           "\": use AAAA-MM-DD, AAAA-MM-DD HH:MM ou AAAA-MM-DDTHH:MM:SS";
}

Reading Read(const std::vector<std::string>& files, const Filter& filter) {
    Reading reading;
    const std::string since = normalisedSince(filter.Since);
    const std::string needle = jsonText(filter.Port);
    static const std::string startedKey = "{\"started\":\"";
    for (const std::string& file : files) {
        LinesBackwards lines(file);
        std::string line;
        bool torn = false;
        while (lines.Next(line, torn)) {
            // Cheap looks first: most lines of a long journal fail them.
            if (!needle.empty() && line.find(needle) == std::string::npos)
                continue;
            if (!since.empty() && line.compare(0, startedKey.size(), startedKey) == 0 &&
                line.compare(startedKey.size(), since.size(), since) < 0)
                continue;
            std::optional<Record> record = FromJson(line);
            if (!record) {
                reading.Notes.push_back(
                    torn ? "a última linha de " + file +
                               " está incompleta (gravação interrompida): ignorada"
                         : "uma linha de " + file + " não é um registro: ignorada");
                continue;
            }
            const PortTrail& p = record->Port;
            if (!filter.Port.empty() && p.Named != filter.Port && p.Device != filter.Port &&
                p.Stable != filter.Port)
                continue;
            if (!since.empty() && record->Started.compare(0, since.size(), since) < 0)
                continue;
            reading.Entries.push_back({idOf(line), line, std::move(*record)});
            if (filter.Limit != 0 && reading.Entries.size() == filter.Limit)
                return reading;
        }
    }
    return reading;
}

std::vector<Entry> FindById(const std::vector<std::string>& files, const std::string& id) {
    std::vector<Entry> found;
    for (const std::string& file : files) {
        LinesBackwards lines(file);
        std::string line;
        bool torn = false;
        while (lines.Next(line, torn)) {
            const std::string own = idOf(line);
            if (own.compare(0, id.size(), id) != 0)
                continue;
            if (std::optional<Record> record = FromJson(line))
                found.push_back({own, line, std::move(*record)});
        }
    }
    return found;
}

} // namespace journal
