// Narrow interface for loading shared libraries by file name.
#pragma once

namespace platform {

using LibraryHandle = void*;
// Generic entry-point address; callers cast it to the entry point's real type.
using ProcAddress = void (*)();

// Loads a library by its file name; null on failure. On POSIX a name
// without a '/' is tried beside the plug-in's own file first.
LibraryHandle loadLibrary(const char* fileName);
// Address of an exported symbol, or null.
ProcAddress findProc(LibraryHandle library, const char* name);
void freeLibrary(LibraryHandle library);

} // namespace platform
