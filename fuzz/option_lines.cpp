// The device, tracker and controller option lines: the input is the text of
// up to 32 lines, one keyword and up to 64 arguments each, split at blanks
// (so empty arguments and any other bytes come through). The device goes
// through createDev, init, printInfo, stop and deleteDev; init either
// succeeds or fails, and nothing it opened or loaded outlives the device.
#include "FuzzHost.h"

#include "boundary/CBase.h"
#include "boundary/HostRecords.h"
#include "platform/memory/MemoryLine.h"
#include "common/KitRecords.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

namespace {

// The option lines as the host hands them over, keeping their texts alive.
struct FuzzConfig {
    DevConfig config{};
    std::deque<std::string> texts;

    char* keep(std::string text) {
        texts.push_back(std::move(text));
        return &texts.back()[0];
    }
};

void readLines(const uint8_t* data, size_t size, FuzzConfig& out) {
    DevConfig& config = out.config;
    config.name = out.keep("fuzz");
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t lineStart = 0;
    while (lineStart <= text.size() && config.lineCount < maxOptionLines) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        ConfigLine& line = config.lines[config.lineCount];
        line.lineNumber = config.lineCount + 1;
        size_t wordStart = lineStart;
        bool keyword = true;
        while (wordStart <= lineEnd) {
            size_t wordEnd = text.find(' ', wordStart);
            if (wordEnd == std::string::npos || wordEnd > lineEnd) wordEnd = lineEnd;
            char* word = out.keep(text.substr(wordStart, wordEnd - wordStart));
            if (keyword)
                line.keyword = word;
            else if (line.argCount < maxOptionArgs)
                line.args[line.argCount++] = word;
            keyword = false;
            wordStart = wordEnd + 1;
        }
        ++config.lineCount;
        lineStart = lineEnd + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhost::silenceConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::memory::setLineInput(nullptr, 0, false);
    auto lines = std::make_unique<FuzzConfig>();
    readLines(data, size, *lines);
    is900::hostkit::HostStorage trackers(is900::hostkit::StorageKind::tracker);
    is900::hostkit::HostStorage controllers(is900::hostkit::StorageKind::controller);
    int32_t runFlag = 1;
    is900::hostkit::DevInitInfo kitInfo = is900::hostkit::deviceInitInfo(trackers, controllers, &runFlag);
    DevInitInfo& info = *kitrecords::plugin(&kitInfo);

    CBase* device = createDev(&lines->config, nullptr);
    FUZZ_CHECK(device != nullptr, "createDev gave no device");
    const int result = device->init(&info);
    FUZZ_CHECK(result == 1 || result == -1, "init returned %d", result);
    if (result == 1) {
        for (uint32_t i = 0; i < lines->config.lineCount; ++i)
            FUZZ_CHECK(lines->config.lines[i].used, "init accepted line %u that no parser took", i + 1);
        FUZZ_CHECK(kitrecords::plugin(trackers.storage())->getTraNumber() <= 32 && kitrecords::plugin(controllers.storage())->getConNumber() <= 32,
                   "more records reserved than a storage holds");
    }
    device->printInfo();
    // stop is what ends the calibration library's session; after a failed
    // init there is nothing to end.
    FUZZ_CHECK(device->stop() == (result == 1), "stop after an init that returned %d", result);
    FUZZ_CHECK(deleteDev(device), "deleteDev refused the device");
    FUZZ_CHECK(platform::memory::openLineCount() == 0, "a serial line outlived its device");
    FUZZ_CHECK(platform::memory::loadedLibraryCount() == 0, "a library outlived its device");
    return 0;
}
