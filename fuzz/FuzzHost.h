// What the fuzz targets share: a quiet console, the plug-in's two exports,
// and a check that stops the run with a message when an invariant breaks.
#pragma once

#include <cstdio>
#include <cstdlib>

class CBase;
class CLogH;
namespace is900 {
namespace hostkit {
struct DevConfig;
}
} // namespace is900

extern "C" CBase* createDev(is900::hostkit::DevConfig* config, CLogH* log);
extern "C" bool deleteDev(CBase* device);

namespace fuzzhost {

// The plug-in's log lines and reports go nowhere: the targets check results,
// and writing the console would cost most of the time.
void silenceConsole();

} // namespace fuzzhost

// libFuzzer keeps the input of any abort as a crash file.
#define FUZZ_CHECK(condition, ...)                                                                                 \
    do {                                                                                                           \
        if (!(condition)) {                                                                                        \
            std::fprintf(stderr, "broken invariant: " __VA_ARGS__);                                                \
            std::fprintf(stderr, "\n");                                                                            \
            std::abort();                                                                                          \
        }                                                                                                          \
    } while (0)
