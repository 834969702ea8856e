// Recovery of the tracker's line with the reconnect option on: a line that
// fails under a read is closed and opened again once a second by the same
// name, and a tracker that stays silent (it was switched off and on, and
// came back in its power-up state) gets the streaming set-up again. Every
// set-up is judged by the one rule of when a set-up is trusted; at the first
// valid record after an untrusted one (start-up's, a repeated one, one after
// a reopen) the stream is stopped and set up once more, and only records
// read after that are published. The record IDs, storages and processors
// stay as init made them. stop ends recovery for good.
#include "plugin/CISX00.h"

#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
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
    return repeatSetUpWhenSilent();
}

// The first loss of a spell is a warning; a line that fails again before it
// delivered a valid record is still the same spell.
int CISX00::loseLine() {
    if (!lineFailing) {
        log->warning("CISX00: Lost the line on ", false);
        std::cout << portName << "; opening it again once a second." << std::endl;
        reopenAttempts = 0;
        lineBackTold = false;
    } else {
        log->debug("CISX00: Lost the line again.", true);
    }
    lineFailing = true;
    port->abandonPort();
    lineDown = true;
    nextReopen = clock.now() + reopenInterval;
    return 1;
}

void CISX00::quietFailures(bool quiet) {
    port->reportFailuresAtDebug(quiet);
    commands->reportFailuresAtDebug(quiet);
}

// Waits for the next attempt without spinning and without missing the
// host's run flag, then tries the port once. Only the first failure of a
// spell is an error line; later ones, of the port and of the set-up, and the
// reads of a line opened again, are debug lines until a valid record ends
// the spell. A line whose settings do not apply counts as not opened.
int CISX00::reopenWhenDue() {
    for (DeviceClock::TimePoint now = clock.now(); now < nextReopen; now = clock.now()) {
        if (!RecordReader::running(runFlag)) return -1;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextReopen - now);
        clock.sleep(static_cast<unsigned long>(std::min(wait, runFlagCheck).count()) + 1);
    }
    if (!RecordReader::running(runFlag)) return -1;
    quietFailures(reopenAttempts > 0);
    const bool lineUp = setUpLine(true);
    const SetUp setUp = lineUp && streaming ? setUpStreaming(true, false) : SetUp::done;
    quietFailures(true);
    ++reopenAttempts;
    nextReopen = clock.now() + reopenInterval;
    if (!lineUp || setUp == SetUp::failed) {
        port->abandonPort();
        return 1;
    }
    lineDown = false;
    watchSilenceFromNow();
    if (setUp == SetUp::stopped) return -1;
    if (!lineBackTold) {
        log->info("CISX00: The line on ", false);
        std::cout << portName << " is back; streaming again." << std::endl;
        lineBackTold = true;
    }
    return 1;
}

int CISX00::repeatSetUpWhenSilent() {
    if (!streaming || clock.now() < nextSetUpRepeat) return 1;
    if (!RecordReader::running(runFlag)) return -1;
    if (!silentSpell) {
        log->warning("CISX00: No record from the tracker on ", false);
        std::cout << portName << " for " << silenceLimitSeconds << " s; repeating the streaming set-up."
                  << std::endl;
        silentSpell = true;
    }
    const SetUp setUp = setUpStreaming(true, false);
    nextSetUpRepeat = clock.now() + std::chrono::seconds(silenceLimitSeconds);
    if (setUp == SetUp::stopped) return -1;
    // A line that takes no commands is gone, also where reads only time out
    // (a removed adapter under some systems).
    if (setUp == SetUp::failed) return loseLine();
    return 1;
}

// The tracker answers after a set-up that it may have got only in part
// (it came on in the middle of it): stop it, empty the line and set it up
// once more, so that every record published from now on is in the
// configured frame. The record in hand is not published.
int CISX00::confirmSetUp() {
    log->info("CISX00: The tracker on ", false);
    std::cout << portName << " answers; setting it up once more before its records are used." << std::endl;
    const SetUp setUp = setUpStreaming(true, true);
    if (setUp == SetUp::stopped) return -1;
    if (setUp == SetUp::failed) return loseLine();
    watchSilenceFromNow();
    return 1;
}

// A valid record proves the tracker on and the line working.
void CISX00::noteValidRecord() {
    validRecordSeen = true;
    lastValidRecordAt = clock.now();
    if (lineFailing) {
        lineFailing = false;
        quietFailures(false);
    }
    watchSilenceFromNow();
}

void CISX00::watchSilenceFromNow() {
    silentSpell = false;
    nextSetUpRepeat = clock.now() + std::chrono::seconds(silenceLimitSeconds);
}

// A record of an accepted length for a station that is on for its kind;
// anything else (an ASCII record, a fragment) leaves the tracker silent.
bool CISX00::validRecord() const {
    const int32_t station = RecordReader::station(received);
    const uint32_t count = received.count;
    const bool controllerRecord = controller && (count == 8 || count == 32) && stationFlag(controllerOn, station);
    const bool trackerRecord = tracker && (count == 29 || count == 32) && stationFlag(sensorOn, station);
    return controllerRecord || trackerRecord;
}
