// Mapping runs for every sample on the host's receiving thread and must not
// touch the heap; a counting global operator new watches it.
#include "ControllerTestKit.h"

#include "storage/ConData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<long> heapAllocations{0};
// Called through a pointer so that the compiler does not pair this free with
// the operator new of the caller and warn about a mismatch.
void (*volatile releaseBlock)(void*) = std::free;
} // namespace

void* operator new(std::size_t size) {
    ++heapAllocations;
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* block) noexcept { releaseBlock(block); }
void operator delete(void* block, std::size_t) noexcept { ::operator delete(block); }
void operator delete[](void* block) noexcept { ::operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { ::operator delete(block); }

TEST(ControllerMapping, AllocatesNothingPerSample) {
    auto controller = deviceController({1, 2});
    applyOptions(*controller, {"valuatorscale 1 [1,0,0.5,0] all", "buttonorder 2 8 7 6 5 4 3 2 1"});
    ConData record;
    std::memset(&record, 0, sizeof record);
    unsigned char masks[8];
    controller->mapSample(1, 0, 0, 0, record);

    const long before = heapAllocations;
    for (int sample = 0; sample < 256; ++sample) {
        const unsigned char raw = static_cast<unsigned char>(sample);
        CConCommonH::clearUpdateMask(masks + 4);
        ASSERT_TRUE(controller->mapSample(1 + sample % 2, raw, raw, static_cast<unsigned char>(255 - raw), record));
        CConCommonH::markUpdated(masks + 4, controller->recordId(1 + sample % 2));
    }
    EXPECT_EQ(heapAllocations - before, 0);

    // The counter itself works: a set-up call that does allocate is seen.
    controller->createLookup(2, true);
    EXPECT_GT(heapAllocations - before, 0);
}
