#include "host/platform/HostPlatform.h"
#include "host/platform/QuietFilter.h"

#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <thread>
#include <io.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace hostplatform {

PathKind pathKind(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::folder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? PathKind::other : PathKind::file;
}

bool standardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void prepareTerminal() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

namespace {

// Points the C runtime's standard output at the quiet filter; -1 when it cannot.
int startQuietFilter() {
    int ends[2];
    if (_pipe(ends, 4096, _O_TEXT | _O_NOINHERIT) != 0) return -1;
    std::FILE* input = _fdopen(ends[0], "r");
    if (!input) return -1;
    quietFilter.start();
    std::thread([input] { quietFilter.run(input); }).detach();
    return ends[1];
}

} // namespace

// The plug-in shares the C runtime's standard output with the host, so
// redirecting its descriptor moves the plug-in's log lines off the data.
std::FILE* keepStandardOutputForData(bool quiet) {
    std::cout.flush();
    std::fflush(stdout);
    const int copy = _dup(_fileno(stdout));
    const int target = quiet ? startQuietFilter() : _dup(_fileno(stderr));
    if (copy < 0 || target < 0 || _dup2(target, _fileno(stdout)) != 0) return stdout;
    _close(target);
    std::FILE* file = _fdopen(copy, "w");
    return file ? file : stdout;
}

// An anonymous pipe cannot say whether it has room without a write.
bool lineGoesOutNow(std::FILE*) { return false; }

// An anonymous pipe cannot be waited on for room: a write waits itself.
RoomForLines::RoomForLines(std::FILE*) {}
RoomForLines::~RoomForLines() {}
RoomForLines::Outcome RoomForLines::wait(int) { return Outcome::room; }
void RoomForLines::wake() {}

void nameThisThread(const char*) {}

} // namespace hostplatform
