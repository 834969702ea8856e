// Recovery of the tracker's line with the reconnect option on: a line that
// fails under a read is closed and opened again once a second by the same
// name, and a tracker that stays silent (it was switched off and on, and
// came back in its power-up state) gets the streaming set-up again. The
// record IDs, storages and processors stay as init made them.
#include "plugin/CISX00.h"

#include "platform/platform.h"
#include "protocol/CRS232H.h"
#include "support/CLogH.h"

#include <algorithm>
#include <iostream>

namespace {

const std::chrono::seconds reopenInterval(1);
const std::chrono::milliseconds runFlagCheck(50);

} // namespace

// Reading failed or timed out: 1 to be called again, -1 when the host ended reception.
int CISX00::recover(ReadOutcome outcome) {
    if (outcome == ReadOutcome::stopped) return -1;
    if (outcome == ReadOutcome::failed) return loseLine();
    repeatSetUpWhenSilent();
    return 1;
}

int CISX00::loseLine() {
    log->warning("CISX00: Lost the line on ", false);
    std::cout << portName << "; opening it again once a second." << std::endl;
    port->abandonPort();
    lineDown = true;
    failedReopens = 0;
    nextReopen = Clock::now() + reopenInterval;
    return 1;
}

// Waits for the next attempt without spinning and without missing the
// host's run flag, then tries the port once. Only the first failure of an
// outage is an error line; later ones are debug lines.
int CISX00::reopenWhenDue() {
    for (Clock::time_point now = Clock::now(); now < nextReopen; now = Clock::now()) {
        if (!RecordReader::running(runFlag)) return -1;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextReopen - now);
        platform::sleepMilliseconds(static_cast<unsigned long>(std::min(wait, runFlagCheck).count()) + 1);
    }
    if (!RecordReader::running(runFlag)) return -1;
    port->reportFailuresAtDebug(failedReopens > 0);
    const bool opened = setUpLine() && (!streaming || setUpStreaming());
    port->reportFailuresAtDebug(false);
    nextReopen = Clock::now() + reopenInterval;
    if (!opened) {
        port->abandonPort();
        ++failedReopens;
        return 1;
    }
    lineDown = false;
    watchSilenceFromNow();
    log->info("CISX00: The line on ", false);
    std::cout << portName << " is back; streaming again." << std::endl;
    return 1;
}

void CISX00::repeatSetUpWhenSilent() {
    if (!streaming || Clock::now() < nextSetUpRepeat) return;
    if (!silentSpell) {
        log->warning("CISX00: No record from the tracker on ", false);
        std::cout << portName << " for " << silenceLimitSeconds << " s; repeating the streaming set-up."
                  << std::endl;
        silentSpell = true;
    }
    nextSetUpRepeat = Clock::now() + std::chrono::seconds(silenceLimitSeconds);
    // A line that takes no commands is gone, also where reads only time out
    // (a removed adapter under some systems).
    if (!setUpStreaming()) loseLine();
}

void CISX00::watchSilenceFromNow() {
    silentSpell = false;
    nextSetUpRepeat = Clock::now() + std::chrono::seconds(silenceLimitSeconds);
}
