// Controls of the in-memory serial line and library loader that the fuzz
// build puts behind the platform interface: a fuzz target hands the line the
// bytes the tracker would send, and no input can open a real device or load
// a real library.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The one library the in-memory loader knows: a calibration library whose
// entry points leave the pose as it is.
const char calibrationLibraryName[] = "memory-calibration";
// Libraries loaded and not yet freed.
size_t loadedLibraryCount();

} // namespace memory
} // namespace platform
