#pragma once

#include "PtyPeer.h"
#include "printer/Plan.h"
#include "settings/SettingsFile.h"

#include <QString>
#include <chrono>
#include <vector>

// Whether frames that arrived at a peer kept a plan's timeline: a frame may
// arrive late, never early: none before its planned time counted from the
// launch of the sender, none more than 500 ms after it counted from the
// first frame (the sender's start-up comes before that one). Empty when it
// did, else what went wrong.
inline QString TimelineFault(const std::vector<PtyPeer::Frame>& arrived, const printer::Plan& plan,
                             PtyPeer::Clock::time_point launched) {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const std::vector<int> times = printer::StepStartTimes(plan);
    for (std::size_t i = 1; i < arrived.size() && i < plan.size(); ++i) {
        const auto sinceLaunch =
            duration_cast<milliseconds>(arrived[i].FirstByte - launched).count();
        const auto sinceFirst =
            duration_cast<milliseconds>(arrived[i].FirstByte - arrived[0].FirstByte).count();
        if (sinceLaunch < times[i] || sinceFirst > times[i] + 500)
            return QStringLiteral("frame %1 at %2 ms after \"e\", plan %3")
                .arg(i)
                .arg(sinceFirst)
                .arg(times[i]);
    }
    return {};
}

// The configuration the window holds after opening `path`, read without qrv.
inline printer::PrinterConfiguration windowConfiguration(const QString& path) {
    return printer::AsWindowHolds(SettingsFile::Read(SettingsFile::Load(path.toStdString())));
}

// The bytes of each frame of a plan, and of each frame that arrived.
inline std::vector<std::vector<uint8_t>> framesOf(const printer::Plan& plan) {
    std::vector<std::vector<uint8_t>> frames;
    for (const printer::PlanStep& step : plan)
        frames.push_back(step.Frame);
    return frames;
}

inline std::vector<std::vector<uint8_t>> framesOf(const std::vector<PtyPeer::Frame>& arrived) {
    std::vector<std::vector<uint8_t>> frames;
    for (const PtyPeer::Frame& f : arrived)
        frames.push_back(f.Bytes);
    return frames;
}
