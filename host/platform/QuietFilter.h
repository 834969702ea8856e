// With -q the process's standard output, where the plug-in logs, runs
// through a pipe to this filter. The plug-in writes in one stream, so markers
// written into it between its lines tell exactly which lines came during
// init; of those, the error lines go on to standard error.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace hostplatform {

class QuietFilter {
public:
    // Reads the pipe's end until it closes; call on a thread of its own.
    void run(std::FILE* input);
    // Writes a marker that switches error lines on or off and waits (at
    // most 2 s) until the filter has read every line before it.
    void showErrors(bool show);
    void start() { active = true; }

private:
    bool active = false;
    std::mutex mutex;
    std::condition_variable caughtUp;
    unsigned long marksWritten = 0; // under mutex
    unsigned long marksSeen = 0;    // under mutex
};

extern QuietFilter quietFilter;

} // namespace hostplatform
