#include "storage/CDataStorage.h"
#include "common/KitRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using is900::hostkit::HostStorage;
using is900::hostkit::StorageKind;

const uint32_t writerCount = 3;
const uint32_t recordsPerWriter = 2;
const int samplesPerWriter = 4096;
// Long enough for many thousand publishes, short enough for slow emulated mutexes.
const auto publishingTime = std::chrono::milliseconds(250);

// Reserves a block of IDs the way a device does when it is initialised.
uint32_t reserveIds(CDataStorage& storage, uint32_t count) {
    storage.lock();
    const uint32_t base = storage.getTraNumber();
    std::this_thread::yield();
    storage.setTraNumber(base + count);
    storage.unlock();
    return base;
}

void publish(CDataStorage& storage, const TraData& working, uint32_t id) {
    storage.lock();
    if (TraData* slot = storage.getTraData(id)) *slot = working;
    storage.unlock();
}

void publish(CDataStorage& storage, const ConData& working, uint32_t id) {
    storage.lock();
    if (ConData* slot = storage.getConData(id)) *slot = working;
    storage.unlock();
}

TraData trackerSample(uint32_t id, float value) {
    TraData record{};
    record.clear();
    record.setId(id);
    record.stampTime();
    for (auto setter : {&TraData::setX, &TraData::setY, &TraData::setZ, &TraData::setAzim, &TraData::setElev,
                        &TraData::setRoll})
        (record.*setter)(value);
    return record;
}

ConData controllerSample(uint32_t id, float value) {
    ConData record{};
    record.clear();
    record.setId(id);
    record.stampTime();
    record.setValNumber(maxValuators);
    record.setButNumber(maxButtons);
    for (uint32_t i = 1; i <= maxValuators; ++i) record.setVal(i, value);
    for (uint32_t n = 1; n <= maxButtons; ++n) record.setBut(n, static_cast<int32_t>(value) & 1);
    return record;
}

// Whole when every field a publish writes belongs to the same sample.
bool isWhole(const TraData& record, uint32_t id) {
    if (record.id == 0) return record.x == 0 && record.roll == 0; // never published
    const uint32_t pose[] = {record.y, record.z, record.azim, record.elev, record.roll};
    return fixedpoint::fromNetworkOrder(record.id) == id &&
           std::all_of(std::begin(pose), std::end(pose), [&](uint32_t field) { return field == record.x; });
}

bool isWhole(const ConData& record, uint32_t id) {
    if (record.id == 0) return record.val[0] == 0 && record.val[31] == 0;
    const bool sameValues = std::all_of(std::begin(record.val), std::end(record.val),
                                        [&](uint32_t field) { return field == record.val[0]; });
    const bool sameButtons = std::all_of(std::begin(record.but), std::end(record.but),
                                         [&](uint8_t byte) { return byte == record.but[0]; });
    return fixedpoint::fromNetworkOrder(record.id) == id && sameValues && sameButtons &&
           record.valuatorCount() == maxValuators;
}

bool readRecord(HostStorage& host, uint32_t id, TraData& copy) { return kitrecords::readTraData(host, id, copy); }
bool readRecord(HostStorage& host, uint32_t id, ConData& copy) { return kitrecords::readConData(host, id, copy); }

// Writers publish into every ID in turn, so that they also contend for the
// same slots, while the host copies records out under the same mutex.
template <typename Record, typename Sample>
void checkWholeRecords(HostStorage& host, uint32_t count, Sample sample) {
    std::atomic<uint32_t> writersDone{0};
    std::vector<std::thread> writers;
    for (uint32_t writer = 0; writer < writerCount; ++writer) {
        std::vector<Record> samples;
        for (int n = 0; n < samplesPerWriter; ++n) {
            const uint32_t id = 1 + (writer + static_cast<uint32_t>(n)) % count;
            samples.push_back(sample(id, static_cast<float>(writer * 100000 + n) / 8.0f));
        }
        writers.emplace_back([&host, &writersDone, samples = std::move(samples)] {
            const auto end = std::chrono::steady_clock::now() + publishingTime;
            for (size_t n = 0; std::chrono::steady_clock::now() < end; n = (n + 1) % samples.size())
                publish(*kitrecords::plugin(host.storage()), samples[n], fixedpoint::fromNetworkOrder(samples[n].id));
            ++writersDone;
        });
    }
    int reads = 0;
    int torn = 0;
    while (writersDone < writerCount || reads == 0) {
        for (uint32_t id = 1; id <= count; ++id) {
            Record copy{};
            ++reads;
            if (!readRecord(host, id, copy) || !isWhole(copy, id)) ++torn;
        }
    }
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

TEST(StorageThreads, DevicesReserveDistinctIdBlocks) {
    HostStorage host(StorageKind::tracker);
    std::vector<uint32_t> bases(writerCount);
    std::vector<std::thread> devices;
    for (uint32_t device = 0; device < writerCount; ++device)
        devices.emplace_back([&, device] { bases[device] = reserveIds(*kitrecords::plugin(host.storage()), recordsPerWriter); });
    for (auto& device : devices) device.join();
    std::sort(bases.begin(), bases.end());
    for (uint32_t device = 0; device < writerCount; ++device) EXPECT_EQ(bases[device], device * recordsPerWriter);
    EXPECT_EQ(host.recordCount(), writerCount * recordsPerWriter);
}

TEST(StorageThreads, HostReadsOnlyWholeTrackerRecords) {
    HostStorage host(StorageKind::tracker);
    reserveIds(*kitrecords::plugin(host.storage()), recordsPerWriter);
    checkWholeRecords<TraData>(host, recordsPerWriter, trackerSample);
}

TEST(StorageThreads, HostReadsOnlyWholeControllerRecords) {
    HostStorage host(StorageKind::controller);
    CDataStorage& storage = *kitrecords::plugin(host.storage());
    storage.lock();
    storage.setConNumber(recordsPerWriter);
    storage.unlock();
    checkWholeRecords<ConData>(host, recordsPerWriter, controllerSample);
}

} // namespace
