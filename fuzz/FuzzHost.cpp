#include "FuzzHost.h"

#include <iostream>

namespace fuzzhost {

void silenceConsole() {
    // A stream without a buffer fails every write at once.
    std::ios::sync_with_stdio(false);
    std::cout.rdbuf(nullptr);
}

} // namespace fuzzhost
