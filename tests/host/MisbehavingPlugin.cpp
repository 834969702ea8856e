// A device plug-in that misbehaves as its option line asks, for the host's
// ends that a well-behaved tracker never brings about:
//   misbehave configure   configure fails
//   misbehave hang        recvData says so on standard output and never returns
#include "is900/hostkit/CBase.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#define HOST_TEST_EXPORT __declspec(dllexport)
#else
#define HOST_TEST_EXPORT __attribute__((visibility("default")))
#endif

namespace {

enum class Misbehaviour { none, failConfigure, hang };

Misbehaviour askedFor(const is900::hostkit::DevConfig* config) {
    for (uint32_t i = 0; config && i < config->lineCount && i < is900::hostkit::maxOptionLines; ++i) {
        const is900::hostkit::ConfigLine& line = config->lines[i];
        if (std::strcmp(line.keyword, "misbehave") != 0 || line.argCount != 1) continue;
        if (std::strcmp(line.args[0], "configure") == 0) return Misbehaviour::failConfigure;
        if (std::strcmp(line.args[0], "hang") == 0) return Misbehaviour::hang;
    }
    return Misbehaviour::none;
}

class MisbehavingDevice : public CBase {
public:
    explicit MisbehavingDevice(Misbehaviour misbehaviour) : misbehaviour(misbehaviour) {}
    virtual ~MisbehavingDevice() = default;

    int init(is900::hostkit::DevInitInfo*) override { return 1; }
    bool start() override { return true; }
    int configure() override { return misbehaviour == Misbehaviour::failConfigure ? 0 : 2; }
    bool stop() override { return true; }
    bool printInfo() override { return true; }
    int sendData(void*, void*) override { return 0; }

    int recvData(unsigned char*, void*) override {
        if (misbehaviour != Misbehaviour::hang) return 1;
        std::printf("misbehaving device: recvData will not return\n");
        std::fflush(stdout);
        std::unique_lock<std::mutex> lock(mutex);
        never.wait(lock, [] { return false; });
        return 1;
    }

private:
    const Misbehaviour misbehaviour;
    std::mutex mutex;
    std::condition_variable never;
};

} // namespace

extern "C" HOST_TEST_EXPORT CBase* createDev(is900::hostkit::DevConfig* config, is900::hostkit::CLogH*) {
    return new MisbehavingDevice(askedFor(config));
}

extern "C" HOST_TEST_EXPORT bool deleteDev(CBase* device) {
    delete static_cast<MisbehavingDevice*>(device);
    return true;
}
