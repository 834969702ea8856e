// A device plug-in that misbehaves as its option line asks, for the host's
// ends that a well-behaved tracker never brings about:
//   misbehave configure   configure fails
//   misbehave hang        recvData says so on standard output and never returns
//   misbehave nodevice    createDev returns no device
//   misbehave portgone    the first init fails, its port (a link) gone as a
//                         USB adapter that is enumerated anew; later inits
//                         succeed (POSIX)
#include "is900/hostkit/CBase.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#if defined(_WIN32)
#define HOST_TEST_EXPORT __declspec(dllexport)
#else
#define HOST_TEST_EXPORT __attribute__((visibility("default")))
#endif

namespace {

enum class Misbehaviour { none, failConfigure, hang, noDevice, portGone };

// The first argument of the option line with that keyword; empty without one.
std::string argumentOf(const is900::hostkit::DevConfig* config, const char* keyword) {
    for (uint32_t i = 0; config && i < config->lineCount && i < is900::hostkit::maxOptionLines; ++i) {
        const is900::hostkit::ConfigLine& line = config->lines[i];
        if (std::strcmp(line.keyword, keyword) == 0 && line.argCount == 1) return line.args[0];
    }
    return "";
}

Misbehaviour askedFor(const is900::hostkit::DevConfig* config) {
    const std::string asked = argumentOf(config, "misbehave");
    if (asked == "configure") return Misbehaviour::failConfigure;
    if (asked == "hang") return Misbehaviour::hang;
    if (asked == "nodevice") return Misbehaviour::noDevice;
    if (asked == "portgone") return Misbehaviour::portGone;
    return Misbehaviour::none;
}

// The port disappears at the first call, which fails; true afterwards.
bool portStaysAfterFirstLosingIt(const std::string& port) {
    static bool lost = false;
    if (lost) return true;
    lost = true;
#if !defined(_WIN32)
    unlink(port.c_str());
#endif
    return false;
}

class MisbehavingDevice : public CBase {
public:
    MisbehavingDevice(Misbehaviour misbehaviour, std::string port) : misbehaviour(misbehaviour), port(std::move(port)) {}
    virtual ~MisbehavingDevice() = default;

    int init(is900::hostkit::DevInitInfo*) override {
        return misbehaviour != Misbehaviour::portGone || portStaysAfterFirstLosingIt(port) ? 1 : -1;
    }
    bool start() override { return true; }
    int configure() override { return misbehaviour == Misbehaviour::failConfigure ? 0 : 2; }
    bool stop() override { return true; }
    bool printInfo() override { return true; }
    int sendData(void*, void*) override { return 0; }

    // Otherwise a silent line: each call ends with its read time-out.
    int recvData(unsigned char*, void*) override {
        if (misbehaviour != Misbehaviour::hang) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return 1;
        }
        std::printf("misbehaving device: recvData will not return\n");
        std::fflush(stdout);
        std::unique_lock<std::mutex> lock(mutex);
        never.wait(lock, [] { return false; });
        return 1;
    }

private:
    const Misbehaviour misbehaviour;
    const std::string port;
    std::mutex mutex;
    std::condition_variable never;
};

} // namespace

extern "C" HOST_TEST_EXPORT CBase* createDev(is900::hostkit::DevConfig* config, is900::hostkit::CLogH*) {
    const Misbehaviour misbehaviour = askedFor(config);
    if (misbehaviour == Misbehaviour::noDevice) return nullptr;
    return new MisbehavingDevice(misbehaviour, argumentOf(config, "port"));
}

extern "C" HOST_TEST_EXPORT bool deleteDev(CBase* device) {
    delete static_cast<MisbehavingDevice*>(device);
    return true;
}
