// Starts a program as a separate process, for tests and benchmarks alike.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// command[0] is the program's path. Its standard output and error go to the
// descriptors given, or nowhere with -1; descriptors the caller keeps for
// itself should be close-on-exec (pipe2 with O_CLOEXEC), so that the child
// holds no end of a pipe it does not write. The process id, or -1.
pid_t startProgram(const std::vector<std::string>& command, int outputFd = -1, int errorFd = -1);
