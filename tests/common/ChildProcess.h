// Runs a program as a separate process and collects its standard output and
// error while the test waits for lines or for the exit.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& command);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True once the standard output holds a complete line that passes.
    bool waitForLine(const std::function<bool(const std::string&)>& wanted, int timeoutMs);
    // The exit status, or -1 when it did not end in time (it is then killed).
    int waitForExit(int timeoutMs);
    void sendSignal(int signalNumber);
    // False once the child has taken every signal sent to it (none pending).
    bool signalPending() const;
    // Stops reading the standard output, as `| head` does once it has its lines.
    void closeOutput();
    // Leaves the standard output unread with the pipe open, as a paused
    // pager does; the pipe is cut to one page so that it fills soon.
    void pauseOutput();
    // True once condition, a state outside the child, holds; reads what the
    // child writes meanwhile, so that it never waits for the test.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

    const std::string& output() const { return out; }
    const std::string& errors() const { return err; }
    std::vector<std::string> outputLines() const;

private:
    void pump(int timeoutMs);
    int readOutFd() const { return outputPaused ? -1 : outFd; }

    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    int status = -1;
    bool outputPaused = false;
    std::string out;
    std::string err;
};

// The lines of a text file, without their line ends.
std::vector<std::string> fileLines(const std::string& path);

bool contains(const std::string& text, const std::string& part);

// Writes text to a file of the test's temporary folder, named apart per process.
std::string writeTempFile(const std::string& name, const std::string& text);

// A pseudo-terminal that nobody writes to: a port that opens and stays
// silent. path() is empty when none could be made.
class SilentPort {
public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    const std::string& path() const { return slave; }

private:
    int master = -1;
    std::string slave;
};
