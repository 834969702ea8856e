#include "storage/CDataStorage.h"
#include "tools/hostkit/HostStorage.h"

#include "common/CoutCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using hostkit::HostStorage;
using hostkit::StorageKind;

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
    hostkit::HostLog log{"STORE"};
    HostStorage trackers{StorageKind::tracker, log.record()};
    HostStorage controllers{StorageKind::controller, log.record()};
};

TEST_F(StorageTest, SetTraNumberChecksInOrder) {
    CDataStorage empty{};
    empty.log = log.record();
    EXPECT_EQ(setTra(empty, 33).output, errorLine("CDataStorage: The new number is too big."));
    EXPECT_EQ(setTra(empty, 1).output, errorLine("CDataStorage: Data storage has not been created yet."));

    CDataStorage controller = *controllers.storage();
    controller.mutex = nullptr;
    EXPECT_EQ(setTra(controller, 33).output, errorLine("CDataStorage: The new number is too big."));
    EXPECT_EQ(setTra(controller, 0).output, errorLine("Delete controller data list first."));

    CDataStorage noMutex = *trackers.storage();
    noMutex.mutex = nullptr;
    EXPECT_EQ(setTra(noMutex, 0).output, errorLine("CDataStorage: Mutex has not been set up yet."));
    CDataStorage noNumber = *trackers.storage();
    noNumber.dataNumber = nullptr;
    EXPECT_EQ(setTra(noNumber, 1).output, errorLine("CDataStorage: Data storage has not been created yet."));

    CDataStorage& tracker = *trackers.storage();
    EXPECT_EQ(setTra(tracker, 3).output, "");
    EXPECT_EQ(trackers.recordCount(), 3u);
    const Outcome zero = setTra(tracker, 0);
    EXPECT_FALSE(zero.result);
    EXPECT_EQ(zero.output, errorLine("CDataStorage: the number of data is zero."));
    EXPECT_FALSE(setTra(tracker, 33).result);
    EXPECT_EQ(trackers.recordCount(), 3u) << "a refusal leaves the number";
    EXPECT_TRUE(setTra(tracker, 32).result);
    EXPECT_EQ(tracker.getTraNumber(), 32u);
}

TEST_F(StorageTest, SetConNumberChecksInOrder) {
    CDataStorage empty{};
    empty.log = log.record();
    EXPECT_EQ(setCon(empty, 40).output, errorLine("CDataStorage: The new number is too big."));
    EXPECT_EQ(setCon(empty, 3).output, errorLine("CDataStorage: Datt Storage has not been created yet."));

    CDataStorage tracker = *trackers.storage();
    tracker.mutex = nullptr;
    EXPECT_EQ(setCon(tracker, 0).output, errorLine("CDataStorage: Delete tracker data list first."));

    CDataStorage noMutex = *controllers.storage();
    noMutex.mutex = nullptr;
    EXPECT_EQ(setCon(noMutex, 0).output, errorLine("CDataStorage: Mutex has not been set up yet."));

    CDataStorage& controller = *controllers.storage();
    EXPECT_EQ(setCon(controller, 0).output, errorLine("CDataStorage: the number of data is zero."));
    const Outcome accepted = setCon(controller, 32);
    EXPECT_TRUE(accepted.result);
    EXPECT_EQ(accepted.output, "");
    EXPECT_EQ(controller.getConNumber(), 32u);
    EXPECT_EQ(controllers.recordCount(), 32u);
}

TEST_F(StorageTest, LookupsYieldOnlyRecordsInUse) {
    CDataStorage& tracker = *trackers.storage();
    CDataStorage& controller = *controllers.storage();
    EXPECT_EQ(tracker.getTraData(1), nullptr) << "nothing reserved yet";
    tracker.setTraNumber(5);
    controller.setConNumber(2);

    EXPECT_EQ(tracker.getTraData(5), trackers.traSlots() + 4);
    EXPECT_EQ(tracker.getTraData(1), trackers.traSlots());
    EXPECT_EQ(tracker.getTraData(6), nullptr);
    EXPECT_EQ(tracker.getTraData(0), nullptr);
    EXPECT_EQ(tracker.getConData(1), nullptr);
    EXPECT_EQ(tracker.getConNumber(), 0u);

    EXPECT_EQ(controller.getConData(2), controllers.conSlots() + 1);
    EXPECT_EQ(controller.getConData(3), nullptr);
    EXPECT_EQ(controller.getTraData(1), nullptr);
    EXPECT_EQ(controller.getTraNumber(), 0u);

    *tracker.dataNumber = 40;
    EXPECT_EQ(tracker.getTraData(33), nullptr) << "the list holds 32 records whatever the number says";
    EXPECT_EQ(tracker.getTraData(32), trackers.traSlots() + 31);

    CDataStorage noNumber = tracker;
    noNumber.dataNumber = nullptr;
    EXPECT_EQ(noNumber.getTraNumber(), 0u);
    EXPECT_EQ(noNumber.getTraData(1), nullptr);
}

TEST_F(StorageTest, PublishedRecordReachesTheHost) {
    CDataStorage& tracker = *trackers.storage();
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
    ASSERT_TRUE(trackers.readTraData(2, seen));
    EXPECT_EQ(std::memcmp(&seen, &working, sizeof seen), 0);
    EXPECT_FALSE(trackers.readTraData(3, seen));
    ConData unused{};
    EXPECT_FALSE(trackers.readConData(1, unused));
}

TEST_F(StorageTest, LockingWorksOnTheHostsMutexAndReportsFailures) {
    CDataStorage& tracker = *trackers.storage();
    EXPECT_TRUE(tracker.lock());
    EXPECT_TRUE(tracker.lock()) << "the host's mutex is recursive";
    EXPECT_TRUE(trackers.lock());
    EXPECT_TRUE(trackers.unlock());
    EXPECT_TRUE(tracker.unlock());
    EXPECT_TRUE(tracker.unlock());

    expectSystemFailure(run([&] { return tracker.unlock(); }), "CMutexH: Unlocking mutex: ");

    CMutexH broken = *trackers.mutexRecord();
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
