// The few operating-system services the host needs, one backend per system.
#pragma once

#include <cstdio>
#include <string>

namespace hostplatform {

// What a path names.
enum class PathKind { missing, file, folder, other };
PathKind pathKind(const std::string& path);

bool standardOutputIsTerminal();
// Lets the terminal understand the cursor and clearing sequences of the table.
void prepareTerminal();
// Keeps a copy of standard output for the host's data and points the
// process's standard output (where the plug-in logs) at standard error, or,
// when quiet, at a filter that drops every line but the plug-in's error
// lines while a PluginErrorsShown lives.
std::FILE* keepStandardOutputForData(bool quiet);

// Marks the plug-in's lines written during its life (init) whose errors
// must reach standard error with -q; waits at its end until they have.
class PluginErrorsShown {
public:
    PluginErrorsShown();
    ~PluginErrorsShown();
    PluginErrorsShown(const PluginErrorsShown&) = delete;
    PluginErrorsShown& operator=(const PluginErrorsShown&) = delete;
};
// True when a line of up to 4096 bytes written to file now would go out
// whole without waiting: file is a pipe with room (a pipe takes so short a
// write whole or not at all). False for anything else, or where it cannot
// be told.
bool lineGoesOutNow(std::FILE* file);

// Waits until a line of up to 4096 bytes written to a file would go out
// without waiting for its reader; another thread can cut a wait short.
class RoomForLines {
public:
    enum class Outcome { room, timedOut, woken };

    explicit RoomForLines(std::FILE* file);
    ~RoomForLines();
    RoomForLines(const RoomForLines&) = delete;
    RoomForLines& operator=(const RoomForLines&) = delete;

    // limitMs -1 waits without a limit. woken: wake() was called since the
    // last wait. Where it cannot be told, there is always room.
    Outcome wait(int limitMs);
    void wake();

private:
    int descriptor = -1;
    int wakeEnds[2] = {-1, -1};
};

// Names the calling thread, so that tools can tell the receiving thread apart.
void nameThisThread(const char* name);

} // namespace hostplatform
