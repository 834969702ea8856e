#include "plugin/DeviceRecovery.h"

#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "rules/SetUpTrust.h"
#include "support/CLogH.h"

#include <algorithm>
#include <iostream>
#include <utility>

namespace {

const std::chrono::seconds reopenInterval(1);
const std::chrono::milliseconds runFlagCheck(50);

} // namespace

DeviceRecovery::DeviceRecovery(const CLogH* deviceLog, const DeviceClock& deviceClock, DeviceSteps deviceSteps)
    : log(deviceLog), clock(deviceClock), steps(std::move(deviceSteps)), streaming(false), ended(false),
      lineDown(false), silentSpell(false), lineFailing(false), lineBackTold(false), setUpUntrusted(false),
      validRecordSeen(false), reopenAttempts(0) {}

void DeviceRecovery::forgetLine() {
    line = Line();
    streaming = ended = lineDown = lineFailing = setUpUntrusted = validRecordSeen = false;
}

void DeviceRecovery::judgeSetUp(DeviceClock::TimePoint began, bool sendsAlignment, bool alignmentFailed) {
    setUpUntrusted = !setuptrust::trusted(sendsAlignment, alignmentFailed, validRecordSeen, began - lastValidRecordAt);
}

void DeviceRecovery::streamingStarted() {
    streaming = true;
    watchSilenceFromNow();
}

int DeviceRecovery::judgeRead(ReadOutcome outcome, bool validRecord) {
    if (outcome != ReadOutcome::complete) return recover(outcome);
    if (validRecord) {
        noteValidRecord();
        return setUpUntrusted ? confirmSetUp() : useRecord;
    }
    return repeatSetUpWhenSilent() < 0 ? -1 : useRecord;
}

// Reading failed or timed out: 1 to be called again, -1 when the host ended reception.
int DeviceRecovery::recover(ReadOutcome outcome) {
    if (outcome == ReadOutcome::stopped) return -1;
    if (outcome == ReadOutcome::failed) return loseLine();
    return repeatSetUpWhenSilent();
}

// The first loss of a spell is a warning; a line that fails again before it
// delivered a valid record is still the same spell.
int DeviceRecovery::loseLine() {
    if (!lineFailing) {
        log->warning("CISX00: Lost the line on ", false);
        std::cout << line.name << "; opening it again once a second." << std::endl;
        reopenAttempts = 0;
        lineBackTold = false;
    } else {
        log->debug("CISX00: Lost the line again.", true);
    }
    lineFailing = true;
    line.port->abandonPort();
    lineDown = true;
    nextReopen = clock.now() + reopenInterval;
    return 1;
}

void DeviceRecovery::quietFailures(bool quiet) {
    line.port->reportFailuresAtDebug(quiet);
    line.commands->reportFailuresAtDebug(quiet);
}

// Waits for the next attempt without spinning and without missing the
// host's run flag, then tries the port once. Only the first failure of a
// spell is an error line; later ones, of the port and of the set-up, and the
// reads of a line opened again, are debug lines until a valid record ends
// the spell. A line whose settings do not apply counts as not opened.
int DeviceRecovery::reopenWhenDue() {
    for (DeviceClock::TimePoint now = clock.now(); now < nextReopen; now = clock.now()) {
        if (!RecordReader::running(line.runFlag)) return -1;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextReopen - now);
        clock.sleep(static_cast<unsigned long>(std::min(wait, runFlagCheck).count()) + 1);
    }
    if (!RecordReader::running(line.runFlag)) return -1;
    quietFailures(reopenAttempts > 0);
    const bool lineUp = steps.reopenLine();
    const SetUp setUp = lineUp && streaming ? steps.setUpStreaming(false) : SetUp::done;
    quietFailures(true);
    ++reopenAttempts;
    nextReopen = clock.now() + reopenInterval;
    if (!lineUp || setUp == SetUp::failed) {
        line.port->abandonPort();
        return 1;
    }
    lineDown = false;
    watchSilenceFromNow();
    if (setUp == SetUp::stopped) return -1;
    if (!lineBackTold) {
        log->info("CISX00: The line on ", false);
        std::cout << line.name << " is back; streaming again." << std::endl;
        lineBackTold = true;
    }
    return 1;
}

int DeviceRecovery::repeatSetUpWhenSilent() {
    if (!streaming || clock.now() < nextSetUpRepeat) return 1;
    if (!RecordReader::running(line.runFlag)) return -1;
    if (!silentSpell) {
        log->warning("CISX00: No record from the tracker on ", false);
        std::cout << line.name << " for " << settings.silenceLimitSeconds << " s; repeating the streaming set-up."
                  << std::endl;
        silentSpell = true;
    }
    const SetUp setUp = steps.setUpStreaming(false);
    nextSetUpRepeat = clock.now() + std::chrono::seconds(settings.silenceLimitSeconds);
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
int DeviceRecovery::confirmSetUp() {
    log->info("CISX00: The tracker on ", false);
    std::cout << line.name << " answers; setting it up once more before its records are used." << std::endl;
    const SetUp setUp = steps.setUpStreaming(true);
    if (setUp == SetUp::stopped) return -1;
    if (setUp == SetUp::failed) return loseLine();
    watchSilenceFromNow();
    return 1;
}

// A valid record proves the tracker on and the line working.
void DeviceRecovery::noteValidRecord() {
    validRecordSeen = true;
    lastValidRecordAt = clock.now();
    if (lineFailing) {
        lineFailing = false;
        quietFailures(false);
    }
    watchSilenceFromNow();
}

void DeviceRecovery::watchSilenceFromNow() {
    silentSpell = false;
    nextSetUpRepeat = clock.now() + std::chrono::seconds(settings.silenceLimitSeconds);
}
