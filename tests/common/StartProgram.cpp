#include "common/StartProgram.h"

#include <fcntl.h>
#include <unistd.h>

pid_t startProgram(const std::vector<std::string>& command, int outputFd, int errorFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int nowhere = open("/dev/null", O_WRONLY);
    dup2(outputFd >= 0 ? outputFd : nowhere, STDOUT_FILENO);
    dup2(errorFd >= 0 ? errorFd : nowhere, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : command) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}
