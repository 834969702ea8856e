#include "is900/hostkit/Quality.h"

#include "rules/OptionWords.h"
#include "rules/Quaternion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

namespace is900 {
namespace hostkit {

namespace {

using namespace rotation;

const double millimetresPerFoot = optionwords::metresPerFoot * 1000;

// The arrivals of one kind of record of a station.
class Stream {
public:
    void add(double time, const QualitySettings& settings) {
        if (records_ > 0) {
            time = std::max(time, last_);
            const double interval = time - last_;
            settle(time, settings);
            if (pending_ && time - pending_->end <= burstWindow(settings)) ++pending_->caughtUp;
            const std::optional<double> expected = interval > settings.gapPeriods / settings.highestRate
                                                       ? period(settings)
                                                       : std::nullopt;
            if (expected && interval > settings.gapPeriods * *expected) {
                pending_ = Pending{QualityGap{last_, interval, false}, time, interval / *expected - 1, 0};
            } else {
                intervals_[intervalCount_++ % intervals_.size()] = interval;
            }
        } else {
            first_ = time;
        }
        last_ = time;
        ++records_;
        recent_.push_back(time);
        while (recent_.front() < time - settings.rateWindow) recent_.pop_front();
        while (!gaps_.empty() && gaps_.front().start < time - settings.historySeconds) gaps_.pop_front();
    }

    uint64_t records() const { return records_; }

    void describe(double now, const QualitySettings& settings, StationQuality& figures) const {
        figures.records = records_;
        if (records_ == 0) return;
        const double start = std::max(now - settings.rateWindow, first_);
        if (now > start) {
            const auto after = std::upper_bound(recent_.begin(), recent_.end(), start);
            figures.rate = static_cast<double>(recent_.end() - after) / (now - start);
        }
        figures.period = period(settings);
        figures.gapCount = gapCount_;
        figures.longestGap = longestGap_;
        for (const QualityGap& gap : gaps_)
            if (gap.start >= now - settings.historySeconds) figures.gaps.push_back(gap);
        if (pending_ && now - pending_->end > burstWindow(settings) && pending_->missed()) {
            figures.gaps.push_back(pending_->gap);
            ++figures.gapCount;
            figures.longestGap = std::max(figures.longestGap, pending_->gap.length);
        }
        if (figures.period && now - last_ > settings.gapPeriods * *figures.period) {
            figures.ongoingGap = now - last_;
            figures.gaps.push_back(QualityGap{last_, now - last_, true});
            ++figures.gapCount;
            figures.longestGap = std::max(figures.longestGap, now - last_);
        }
    }

private:
    // A pause ends either with the records the tracker sent meanwhile, all at
    // once (the host or the line held them up: they were late, not missing),
    // or with the tracker's records going on at their pace: a gap.
    struct Pending {
        QualityGap gap;
        double end;       // the first record after the pause
        double missing;   // records the pause would have held at the estimated period
        uint64_t caughtUp; // records within the burst window after its end
        bool missed() const { return caughtUp < missing / 2; }
    };

    static double burstWindow(const QualitySettings& settings) { return 2 / settings.highestRate; }

    // Decides a pause whose burst window has passed.
    void settle(double time, const QualitySettings& settings) {
        if (!pending_ || time - pending_->end <= burstWindow(settings)) return;
        if (pending_->missed()) {
            ++gapCount_;
            longestGap_ = std::max(longestGap_, pending_->gap.length);
            gaps_.push_back(pending_->gap);
        }
        pending_.reset();
    }

    std::optional<double> period(const QualitySettings& settings) const {
        const std::size_t count = std::min<std::size_t>(intervalCount_, intervals_.size());
        if (count < 8) return std::nullopt;
        std::array<double, 32> sorted = intervals_;
        std::nth_element(sorted.begin(), sorted.begin() + count / 2, sorted.begin() + count);
        return std::max(sorted[count / 2], 1 / settings.highestRate);
    }

    uint64_t records_ = 0;
    double first_ = 0;
    double last_ = 0;
    std::deque<double> recent_; // within the rate window of the last record
    std::array<double, 32> intervals_{};
    uint64_t intervalCount_ = 0;
    uint64_t gapCount_ = 0;
    double longestGap_ = 0;
    std::deque<QualityGap> gaps_;
    std::optional<Pending> pending_;
};

struct Pose {
    double time;
    std::array<double, 3> position; // feet
    std::array<double, 4> rotation; // unit quaternion
};

// The poses from first on: moving, or still with its noise figures.
void describeStillness(std::deque<Pose>::const_iterator first, std::deque<Pose>::const_iterator end,
                       const QualitySettings& settings, StationQuality& figures) {
    const double count = static_cast<double>(end - first);
    if (count < settings.noisePoses) return;
    std::array<double, 3> meanPosition{};
    std::array<double, 4> meanRotation{};
    for (auto pose = first; pose != end; ++pose) {
        // q and -q are the same orientation: align each with the first.
        const double sign = dot(pose->rotation, first->rotation) < 0 ? -1 : 1;
        for (int i = 0; i < 3; ++i) meanPosition[i] += pose->position[i] / count;
        for (int i = 0; i < 4; ++i) meanRotation[i] += sign * pose->rotation[i];
    }
    const double norm = std::sqrt(dot(meanRotation, meanRotation));
    for (double& component : meanRotation) component /= norm;
    double squaredDistances = 0;
    double squaredAngles = 0;
    for (auto pose = first; pose != end; ++pose) {
        for (int i = 0; i < 3; ++i) squaredDistances += std::pow(pose->position[i] - meanPosition[i], 2);
        const double angle = 2 * std::acos(std::min(1.0, std::fabs(dot(pose->rotation, meanRotation))));
        squaredAngles += angle * angle;
    }
    const double positionMm = std::sqrt(squaredDistances / count) * millimetresPerFoot;
    const double angleDeg = std::sqrt(squaredAngles / count) * rotation::radiansToDegrees;
    figures.moving = positionMm > settings.movingPositionMm || angleDeg > settings.movingAngleDeg;
    if (*figures.moving) return;
    figures.positionNoiseMm = positionMm;
    figures.orientationNoiseDeg = angleDeg;
}

} // namespace

struct QualityMonitor::Device {
    struct Station {
        Stream trackers;
        Stream controllers;
        std::deque<Pose> poses; // within the noise window of the last one
    };
    std::map<int, Station> stations;
    std::optional<double> lastRecord;
    std::deque<DeviceStateChange> states;
    std::deque<DeviceSetUp> setUps;
    uint64_t setUpCount = 0;
};

QualityMonitor::QualityMonitor(QualitySettings settings) : settings_(settings) {}

QualityMonitor::~QualityMonitor() = default;

QualityMonitor::Device& QualityMonitor::device(const std::string& name) {
    std::unique_ptr<Device>& entry = devices_[name];
    if (!entry) entry = std::make_unique<Device>();
    return *entry;
}

void QualityMonitor::addRecord(const RecordView& record, double time) {
    Device& owner = device(record.device);
    owner.lastRecord = std::max(time, owner.lastRecord.value_or(time));
    Device::Station& station = owner.stations[record.station];
    if (record.kind == RecordKind::controller) {
        station.controllers.add(time, settings_);
        return;
    }
    station.trackers.add(time, settings_);
    if (!station.poses.empty()) time = std::max(time, station.poses.back().time);
    const float* pose = record.pose;
    station.poses.push_back(Pose{time, {pose[0], pose[1], pose[2]}, quaternionOf(pose)});
    while (station.poses.front().time < time - settings_.noiseWindow) station.poses.pop_front();
}

void QualityMonitor::noteState(const std::string& name, const std::string& state, double time) {
    Device& owner = device(name);
    owner.states.push_back(DeviceStateChange{time, state});
    while (owner.states.size() > 1 && owner.states[1].time <= time - settings_.historySeconds)
        owner.states.pop_front();
}

void QualityMonitor::noteSetUp(const std::string& name, double time) {
    Device& owner = device(name);
    DeviceSetUp setUp{time, owner.setUpCount++ > 0, std::nullopt};
    if (owner.lastRecord) setUp.sinceRecord = std::max(0.0, time - *owner.lastRecord);
    owner.setUps.push_back(setUp);
    while (owner.setUps.front().time < time - settings_.historySeconds) owner.setUps.pop_front();
}

std::vector<DeviceQuality> QualityMonitor::snapshot(double now) const {
    const double historyStart = now - settings_.historySeconds;
    std::vector<DeviceQuality> snapshots;
    for (const auto& entry : devices_) {
        const Device& owner = *entry.second;
        DeviceQuality quality;
        quality.device = entry.first;
        quality.time = now;
        for (const auto& numbered : owner.stations) {
            const Device::Station& station = numbered.second;
            StationQuality figures;
            figures.station = numbered.first;
            (station.trackers.records() > 0 ? station.trackers : station.controllers)
                .describe(now, settings_, figures);
            const auto first = std::lower_bound(
                station.poses.begin(), station.poses.end(), now - settings_.noiseWindow,
                [](const Pose& pose, double time) { return pose.time < time; });
            describeStillness(first, station.poses.end(), settings_, figures);
            quality.stations.push_back(figures);
        }
        for (std::size_t i = 0; i < owner.states.size(); ++i)
            if (i + 1 == owner.states.size() || owner.states[i + 1].time > historyStart)
                quality.states.push_back(owner.states[i]);
        for (const DeviceSetUp& setUp : owner.setUps)
            if (setUp.time >= historyStart) quality.setUps.push_back(setUp);
        snapshots.push_back(quality);
    }
    return snapshots;
}

} // namespace hostkit
} // namespace is900
