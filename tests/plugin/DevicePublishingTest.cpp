#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "storage/FixedPoint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// A tracker on station 1 at full line speed, without CAVE coordinates.
std::unique_ptr<DeviceRig> streamingRig() {
    std::unique_ptr<DeviceRig> rig(new DeviceRig({{1, is900sim::StationKind::tracker}}, 115200, 120.0));
    rig->lines.add("sensors", {"1"}).add("cavecoord", {"off"});
    CoutCapture quiet;
    EXPECT_EQ(rig->init(), 1);
    EXPECT_EQ(rig->device()->configure(), 2);
    EXPECT_TRUE(rig->receiveUntil({1}, {}, 3000));
    return rig;
}

void appendFloat(std::vector<uint8_t>& bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

// A 29-byte tracker record of station 1 with the pose (12, 24, 36) inches, (10, 20, 30) degrees.
std::vector<uint8_t> fixedRecord() {
    std::vector<uint8_t> bytes = {'0', '1', ' '};
    for (float value : {12.0f, 24.0f, 36.0f, 10.0f, 20.0f, 30.0f}) appendFloat(bytes, value);
    bytes.push_back(0x0D);
    bytes.push_back(0x0A);
    return bytes;
}

} // namespace

// While the host holds the tracker storage's mutex, the receiving thread
// waits in its copy: the slot stays as it was and the call does not return
// until the host lets go.
TEST(DevicePublishing, TheCopyWaitsForTheStorageMutexTheHostHolds) {
    auto rig = streamingRig();
    CoutCapture quiet;
    ASSERT_TRUE(rig->trackers.lock());
    TraData before;
    std::memcpy(&before, &rig->trackers.traSlots()[0], sizeof before);
    const uint64_t sentBefore = rig->simulator().recordsSent();
    std::atomic<bool> published{false};
    std::thread receiver([&] {
        unsigned char masks[8];
        while (!published) {
            if (rig->device()->recvData(masks, nullptr) != 1) break;
            published = maskHas(masks, 1);
        }
    });
    // The tracker moves with every sample: with no lock in the way a changed
    // sample would be published many times over while these 60 go out.
    EXPECT_TRUE(rig->simulator().waitForRecords(sentBefore + 60, 30000));
    EXPECT_FALSE(published) << "a record was published while the host held the mutex";
    EXPECT_EQ(std::memcmp(&before, &rig->trackers.traSlots()[0], sizeof before), 0)
        << "the slot was written while the host held the mutex";
    ASSERT_TRUE(rig->trackers.unlock());
    receiver.join();
    EXPECT_TRUE(published) << "the waiting copy went ahead once the mutex was free";
    rig->device()->stop();
}

// A sample equal to the last one published for its station is not copied
// into the slot (a mark the host leaves there survives) and not marked.
TEST(DevicePublishing, AnUnchangedSampleIsNeitherCopiedNorMarked) {
    auto rig = streamingRig();
    CoutCapture quiet;
    std::vector<uint8_t> twice = fixedRecord();
    const std::vector<uint8_t> once = fixedRecord();
    twice.insert(twice.end(), once.begin(), once.end());
    rig->simulator().injectGarbage(twice);

    const int32_t oneFoot = 100000;
    unsigned char masks[8];
    bool first = false;
    for (int call = 0; call < 500 && !first; ++call) {
        ASSERT_EQ(rig->device()->recvData(masks, nullptr), 1);
        TraData slot;
        first = maskHas(masks, 1) && kitrecords::readTraData(rig->trackers, 1, slot) &&
                static_cast<int32_t>(fixedpoint::fromNetworkOrder(slot.x)) == oneFoot;
    }
    ASSERT_TRUE(first) << "the injected record was published";
    const uint32_t hostMark = 0xDEADBEEF;
    {
        is900::hostkit::HostLock hold(rig->trackers);
        rig->trackers.traSlots()[0].reserved1 = hostMark;
    }

    ASSERT_EQ(rig->device()->recvData(masks, nullptr), 1) << "the same record again";
    EXPECT_FALSE(maskHas(masks, 1));
    TraData slot;
    ASSERT_TRUE(kitrecords::readTraData(rig->trackers, 1, slot));
    EXPECT_EQ(slot.reserved1, hostMark) << "the unchanged sample was copied over the slot";
    rig->device()->stop();
}
