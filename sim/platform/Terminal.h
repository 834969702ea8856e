// The simulator's line: a pseudo-terminal whose master side the simulator
// serves the tracker on, and a way for other threads to wake the line's
// thread. POSIX only, as the simulator: one backend, TerminalPosix.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace simplatform {

// What one write to the line did.
struct LineWrite {
    enum Outcome { wrote, interrupted, full, failed } outcome = failed;
    std::size_t count = 0; // bytes written, for wrote
};

class Terminal {
public:
    Terminal();
    ~Terminal(); // closes the line
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Opens a pseudo-terminal; its slave side is held open, so that the line
    // stays up between the opens of the other end, and starts raw at 38400
    // baud, as a freshly set-up port. False with error set when anything
    // fails; slavePath() is the new one's as soon as there is one, even when
    // a later step fails.
    bool open(std::string& error);
    const std::string& slavePath() const;
    // Makes path a symbolic link to the slave side, in place of what is there.
    bool link(const std::string& path, std::string& error) const;
    void removeLink(const std::string& path) const;
    // Only while the link still points at this slave side.
    void removeLinkIfOurs(const std::string& path) const;
    // Closes both sides: the line hangs up.
    void close();

    // The baud rate the other end set the slave side to; 0 when not known.
    int baudRate() const;

    // Waits up to limitMs (-1: without a limit) for a wake or, when
    // watchLine, input, and reads at most size bytes of what is there.
    // Returns how many it read.
    std::size_t readWithin(int limitMs, bool watchLine, uint8_t* bytes, std::size_t size);
    // One write that never waits.
    LineWrite writeSome(const uint8_t* bytes, std::size_t size);
    // Waits until the line takes bytes again or another thread wakes the
    // line's thread.
    void waitUntilWritableOrWoken();
    // Cuts the line's thread's wait short; any thread may call it.
    void wake();

private:
    void drainWakes();

    int master = -1;
    int slaveHold = -1;
    std::string slave;
    int wakeEnds[2] = {-1, -1};
};

} // namespace simplatform
