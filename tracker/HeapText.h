#pragma once

#include <cstring>

// A heap copy of a NUL-terminated text (an empty one for null); free with delete[].
inline char* heapCopy(const char* text) {
    if (!text) text = "";
    const size_t size = std::strlen(text) + 1;
    char* copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}
