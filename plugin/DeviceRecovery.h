// Recovery of the tracker's line with the reconnect option on: a line that
// fails under a read is closed and opened again once a second by the same
// name, and a tracker that stays silent (it was switched off and on, and
// came back in its power-up state) gets the streaming set-up again. Every
// set-up is judged by the one rule of when a set-up is trusted; at the first
// valid record after an untrusted one (start-up's, a repeated one, one after
// a reopen) the stream is stopped and set up once more, and only records
// read after that are published. The record IDs, storages and processors
// stay as init made them. The device owns the recovery and has it redo the
// device's own steps through DeviceSteps; end ends recovery for good.
#pragma once

#include "protocol/RecordReader.h"
#include "support/DeviceClock.h"

#include <cstdint>
#include <functional>

class CLogH;
class CRS232H;
class IS900CommandSteps;

// How a streaming set-up ended: stopped when the host's run flag was cleared.
enum class SetUp { done, failed, stopped };

class DeviceRecovery {
public:
    // The reconnect option: how long a silent tracker is waited for before
    // the streaming set-up is repeated.
    struct Settings {
        bool on = false;
        int32_t silenceLimitSeconds = 3;
    };

    // The line init opened and the host's run flag.
    struct Line {
        CRS232H* port = nullptr;
        IS900CommandSteps* commands = nullptr;
        const char* name = nullptr;
        const int32_t* runFlag = nullptr;
    };

    // What the recovery has the device do again: open its line with its
    // settings, and set the tracker up for streaming while watching the run
    // flag (restart: continuous output is stopped and the line emptied first).
    struct DeviceSteps {
        std::function<bool()> reopenLine;
        std::function<SetUp(bool restart)> setUpStreaming;
    };

    // judgeRead's answer when the record in hand is the device's to use;
    // any other answer is recvData's.
    static constexpr int useRecord = 0;

    DeviceRecovery(const CLogH* log, const DeviceClock& clock, DeviceSteps steps);

    // init's line, until forgetLine.
    void attach(const Line& openedLine) { line = openedLine; }
    // A new init starts from no line, no set-up and no record.
    void forgetLine();
    // A streaming set-up is done: whether the tracker can be taken to have
    // heard all of it (began: its first byte).
    void judgeSetUp(DeviceClock::TimePoint began, bool sendsAlignment, bool alignmentFailed);
    // configure's set-up is done: from now on a silent tracker is set up again.
    void streamingStarted();
    void end() { ended = true; }

    bool active() const { return settings.on && !ended; }
    bool lineIsDown() const { return lineDown; }
    // 1 to be called again, -1 when the host ended reception.
    int reopenWhenDue();
    // After a read; validRecord: the record read is one the tracker's set-up asked for.
    int judgeRead(ReadOutcome outcome, bool validRecord);

    Settings settings;

private:
    int recover(ReadOutcome outcome);
    int loseLine();
    int repeatSetUpWhenSilent();
    int confirmSetUp();
    void noteValidRecord();
    void watchSilenceFromNow();
    void quietFailures(bool quiet);

    const CLogH* log;
    const DeviceClock& clock;
    DeviceSteps steps;
    Line line;
    bool streaming;
    bool ended;
    bool lineDown;
    bool silentSpell;
    // From a lost line until a valid record comes on the line opened again:
    // the loss is told once, later failures of the spell are debug lines.
    bool lineFailing;
    bool lineBackTold;
    // The last set-up may have reached a tracker that was still off; the
    // first valid record after it calls for one more.
    bool setUpUntrusted;
    bool validRecordSeen;
    DeviceClock::TimePoint lastValidRecordAt;
    uint32_t reopenAttempts; // in the present spell of a failing line
    DeviceClock::TimePoint nextReopen;
    DeviceClock::TimePoint nextSetUpRepeat;
};
