#include "is900/signals/StopSignals.h"

#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <thread>

namespace is900 {
namespace hostkit {

void handleStopSignals(std::function<void()> onStop, std::function<void()> beforeExit) {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, signalNumber);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread([stopSignals, onStop, beforeExit] {
        pthread_setname_np(pthread_self(), "is900-signals");
        int signalNumber = 0;
        for (int received = 0; sigwait(&stopSignals, &signalNumber) == 0; ++received) {
            if (received == 0) {
                onStop();
                continue;
            }
            if (beforeExit) beforeExit();
            std::_Exit(130);
        }
    }).detach();
}

} // namespace hostkit
} // namespace is900
