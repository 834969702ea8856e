#include "storage/CDataStorage.h"
#include "common/KitRecords.h"

#include "common/CoutCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using is900::hostkit::HostStorage;
using is900::hostkit::StorageKind;

std::string errorPrefix(const char* text) { return std::string("STORE: ERROR: ") + text; }
std::string errorLine(const char* text) { return errorPrefix(text) + "\n"; }

struct Outcome {
    bool result;
    std::string output;
};

// A failed system call: the message, the system's own text, the line end.
void expectSystemFailure(const Outcome& outcome, const char* text) {
    const std::string prefix = errorPrefix(text);
    EXPECT_FALSE(outcome.result);
    ASSERT_GT(outcome.output.size(), prefix.size() + 1) << outcome.output;
    EXPECT_EQ(outcome.output.substr(0, prefix.size()), prefix);
    EXPECT_EQ(outcome.output.back(), '\n');
}

template <typename Operation>
Outcome run(Operation operation) {
    CoutCapture capture;
    const bool result = operation();
    return {result, capture.text()};
}

Outcome setTra(CDataStorage& storage, uint32_t number) {
    return run([&] { return storage.setTraNumber(number); });
}

Outcome setCon(CDataStorage& storage, uint32_t number) {
    return run([&] { return storage.setConNumber(number); });
}

class StorageTest : public testing::Test {
protected:
    is900::hostkit::HostLog log{"STORE"};
    HostStorage trackers{StorageKind::tracker, log.record()};
    HostStorage controllers{StorageKind::controller, log.record()};
};

TEST_F(StorageTest, SetNumberChecksRunInOrderAndTheFirstFailureSpeaks) {
    CDataStorage& tracker = *kitrecords::plugin(trackers.storage());
    CDataStorage& controller = *kitrecords::plugin(controllers.storage());
    const Outcome accepted = setTra(tracker, 3);
    EXPECT_TRUE(accepted.result);
    EXPECT_EQ(accepted.output, "");

    CDataStorage empty{};
    empty.log = kitrecords::plugin(log.record());
    CDataStorage trackerNoMutex = tracker;
    trackerNoMutex.mutex = nullptr;
    CDataStorage trackerNoNumber = tracker;
    trackerNoNumber.dataNumber = nullptr;
    CDataStorage controllerNoMutex = controller;
    controllerNoMutex.mutex = nullptr;
    const char* const tooBig = "CDataStorage: The new number is too big.";
    const char* const noMutex = "CDataStorage: Mutex has not been set up yet.";
    const char* const zero = "CDataStorage: the number of data is zero.";
    const struct {
        CDataStorage* storage;
        bool trackerNumber;
        uint32_t number;
        const char* message;
    } refusals[] = {
        {&empty, true, 33, tooBig},
        {&empty, true, 1, "CDataStorage: Data storage has not been created yet."},
        {&empty, false, 40, tooBig},
        {&empty, false, 3, "CDataStorage: Datt Storage has not been created yet."},
        {&controllerNoMutex, true, 33, tooBig},
        {&controllerNoMutex, true, 0, "Delete controller data list first."},
        {&trackerNoMutex, false, 0, "CDataStorage: Delete tracker data list first."},
        {&trackerNoMutex, true, 0, noMutex},
        {&controllerNoMutex, false, 0, noMutex},
        {&trackerNoNumber, true, 1, "CDataStorage: Data storage has not been created yet."},
        {&tracker, true, 0, zero},
        {&tracker, true, 33, tooBig},
        {&controller, false, 0, zero},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.message);
        const Outcome outcome = refusal.trackerNumber ? setTra(*refusal.storage, refusal.number)
                                                      : setCon(*refusal.storage, refusal.number);
        EXPECT_FALSE(outcome.result);
        EXPECT_EQ(outcome.output, errorLine(refusal.message));
    }
    EXPECT_EQ(trackers.recordCount(), 3u) << "a refusal leaves the number";
    EXPECT_EQ(controllers.recordCount(), 0u);

    EXPECT_TRUE(setTra(tracker, 32).result);
    EXPECT_EQ(tracker.getTraNumber(), 32u);
    EXPECT_TRUE(setCon(controller, 32).result);
    EXPECT_EQ(controllers.recordCount(), 32u);
}

TEST_F(StorageTest, LookupsYieldOnlyRecordsInUse) {
    CDataStorage& tracker = *kitrecords::plugin(trackers.storage());
    CDataStorage& controller = *kitrecords::plugin(controllers.storage());
    EXPECT_EQ(tracker.getTraData(1), nullptr) << "nothing reserved yet";
    tracker.setTraNumber(5);
    controller.setConNumber(2);

    EXPECT_EQ(tracker.getTraData(5), kitrecords::plugin(trackers.traSlots()) + 4);
    EXPECT_EQ(tracker.getTraData(1), kitrecords::plugin(trackers.traSlots()));
    EXPECT_EQ(tracker.getTraData(6), nullptr);
    EXPECT_EQ(tracker.getTraData(0), nullptr);
    EXPECT_EQ(tracker.getConData(1), nullptr);
    EXPECT_EQ(tracker.getConNumber(), 0u);

    EXPECT_EQ(controller.getConData(2), kitrecords::plugin(controllers.conSlots()) + 1);
    EXPECT_EQ(controller.getConData(3), nullptr);
    EXPECT_EQ(controller.getTraData(1), nullptr);
    EXPECT_EQ(controller.getTraNumber(), 0u);

    *tracker.dataNumber = 40;
    EXPECT_EQ(tracker.getTraData(33), nullptr) << "the list holds 32 records whatever the number says";
    EXPECT_EQ(tracker.getTraData(32), kitrecords::plugin(trackers.traSlots()) + 31);

    CDataStorage noNumber = tracker;
    noNumber.dataNumber = nullptr;
    EXPECT_EQ(noNumber.getTraNumber(), 0u);
    EXPECT_EQ(noNumber.getTraData(1), nullptr);
}

TEST_F(StorageTest, PublishedRecordReachesTheHost) {
    CDataStorage& tracker = *kitrecords::plugin(trackers.storage());
    tracker.lock();
    tracker.setTraNumber(tracker.getTraNumber() + 2);
    tracker.unlock();

    TraData working{};
    working.clear();
    working.setId(2);
    working.stampTime();
    working.setX(1.5f);
    ASSERT_TRUE(tracker.lock());
    *tracker.getTraData(2) = working;
    ASSERT_TRUE(tracker.unlock());

    TraData seen{};
    ASSERT_TRUE(kitrecords::readTraData(trackers, 2, seen));
    EXPECT_EQ(std::memcmp(&seen, &working, sizeof seen), 0);
    EXPECT_FALSE(kitrecords::readTraData(trackers, 3, seen));
    ConData unused{};
    EXPECT_FALSE(kitrecords::readConData(trackers, 1, unused));
}

TEST_F(StorageTest, LockingWorksOnTheHostsMutexAndReportsFailures) {
    CDataStorage& tracker = *kitrecords::plugin(trackers.storage());
    EXPECT_TRUE(tracker.lock());
    EXPECT_TRUE(tracker.lock()) << "the host's mutex is recursive";
    EXPECT_TRUE(trackers.lock());
    EXPECT_TRUE(trackers.unlock());
    EXPECT_TRUE(tracker.unlock());
    EXPECT_TRUE(tracker.unlock());

    expectSystemFailure(run([&] { return tracker.unlock(); }), "CMutexH: Unlocking mutex: ");

    CMutexH broken = *reinterpret_cast<CMutexH*>(trackers.mutexRecord());
    broken.mutexHandle = nullptr;
    expectSystemFailure(run([&] { return broken.lock(); }), "CMutexH: Locking mutex: ");
    expectSystemFailure(run([&] { return broken.unlock(); }), "CMutexH: Unlocking mutex: ");

    CDataStorage noMutex = tracker;
    noMutex.mutex = nullptr;
    EXPECT_EQ(run([&] { return noMutex.lock(); }).output, errorLine("CDataStorage: Mutex has not been set up yet."));
    const Outcome unlocked = run([&] { return noMutex.unlock(); });
    EXPECT_FALSE(unlocked.result);
    EXPECT_EQ(unlocked.output, errorLine("CDataStorage: Mutex has not been set up yet."));

    noMutex.log = nullptr;
    const Outcome unlogged = run([&] { return noMutex.lock(); });
    EXPECT_FALSE(unlogged.result);
    EXPECT_NE(unlogged.output.find("CDataStorage: Mutex has not been set up yet.\n"), std::string::npos);
}

} // namespace
