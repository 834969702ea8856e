// Controls of the in-memory serial line and library loader that the fuzz
// build puts behind the platform interface: a fuzz target hands the line the
// bytes the tracker would send, and no input can open a real device or load
// a real library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/serial.h"

namespace platform {
namespace memory {

// What every line opened from now on delivers: the bytes, then either
// silence (each read times out) or, with failAtEnd, a failed read.
void setLineInput(const uint8_t* bytes, size_t size, bool failAtEnd);
// Bytes handed out so far.
size_t lineReadPosition();
// True once a read has failed at the end of the input.
bool lineFailed();
// Lines opened and not yet closed.
size_t openLineCount();
// Lines opened since the start of the process.
size_t openedLineCount();

// A far end that answers what is written (a tracker model). While one is
// set, it replaces the bytes of setLineInput.
class LinePeer {
public:
    virtual ~LinePeer() {}
    virtual void written(const uint8_t* bytes, size_t size) = 0;
    // Up to size bytes. With none to give within timeoutMs the peer lets that
    // time pass and returns 0; a timeoutMs of 0 stands for a line without a
    // read time-out, whose read would wait for ever.
    virtual size_t read(uint8_t* buffer, size_t size, unsigned long timeoutMs) = 0;
    // Drops what the line holds and was not read yet.
    virtual void discard() = 0;
};
void setLinePeer(LinePeer* peer);

// Faults of the line: its settings cannot be applied; writes fail; reads fail.
void failSettings(bool fail);
void failWrites(bool fail);
void failReads(bool fail);
// The line settings a named line holds; they stay with the line across
// closes and opens, as with a real port. A new name starts at 9600 baud.
SerialControlBlock lineControl(const char* name);
// A new adapter appears under the name: its settings start afresh (no read
// time-out). Only while no line of that name is open.
void replaceLine(const char* name);

// The one library the in-memory loader knows: a calibration library whose
// entry points leave the pose as it is.
const char calibrationLibraryName[] = "memory-calibration";
// Libraries loaded and not yet freed.
size_t loadedLibraryCount();

} // namespace memory
} // namespace platform
