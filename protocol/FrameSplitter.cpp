#include "protocol/FrameSplitter.h"

#include "protocol/Decoder.h"
#include "protocol/Frame.h"

#include <utility>

namespace protocol {

namespace {

constexpr std::size_t LetterPosition = 2;

} // namespace

void FrameSplitter::takePending(std::vector<Item>& items, const char* why) {
    if (pending.empty())
        return;
    Item item{Item::Kind::Garbage, std::move(pending), firstArrival, {}};
    if (!inFrame) {
        item.Text = "Bytes fora de quadro (" + std::to_string(item.Bytes.size()) + ", sem STX)";
    } else {
        item.ItemKind = Item::Kind::Incomplete;
        const std::string count = std::to_string(item.Bytes.size());
        item.Text = frameLength == 0 ? "Quadro incompleto (" + count + " bytes, sem comando)"
                                     : "Quadro incompleto (" + count + " de " +
                                           std::to_string(frameLength) + " bytes)";
        item.Text += why;
    }
    items.push_back(std::move(item));
    pending.clear();
    inFrame = false;
    frameLength = 0;
}

std::vector<FrameSplitter::Item> FrameSplitter::Feed(std::span<const uint8_t> bytes,
                                                     TimePoint now) {
    std::vector<Item> items = Idle(now);
    for (uint8_t b : bytes) {
        if (!inFrame && b == Stx) {
            takePending(items, "");
            inFrame = true;
        }
        if (pending.empty())
            firstArrival = now;
        pending.push_back(b);

        if (!inFrame) {
            if (pending.size() == MaxGarbage)
                takePending(items, "");
            continue;
        }
        if (pending.size() == LetterPosition + 1)
            frameLength = FrameLength(b).value_or(ShortFrame::FrameSize);
        if (pending.size() == frameLength) {
            items.push_back({Item::Kind::Frame, std::move(pending), firstArrival, {}});
            pending.clear();
            inFrame = false;
            frameLength = 0;
        }
    }
    if (!bytes.empty())
        lastArrival = now;
    return items;
}

std::vector<FrameSplitter::Item> FrameSplitter::Idle(TimePoint now) {
    std::vector<Item> items;
    if (!pending.empty() && now - lastArrival >= Silence)
        takePending(items, " após 100 ms sem dados");
    return items;
}

std::vector<FrameSplitter::Item> FrameSplitter::Flush() {
    std::vector<Item> items;
    takePending(items, " no fim dos dados");
    return items;
}

std::optional<FrameSplitter::TimePoint> FrameSplitter::Deadline() const {
    if (pending.empty())
        return std::nullopt;
    return lastArrival + Silence;
}

} // namespace protocol
