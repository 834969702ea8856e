// An IS-900 tracker on the far side of a pseudo-terminal. The simulator owns
// the master side and runs on a thread of its own; the plug-in (or a test)
// opens the slave side as its serial port. It answers the commands the
// plug-in sends and, in continuous mode, streams output records in the
// layout each station's output list selects. Linux/POSIX only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace is900sim {

struct Recording;
struct Capture;

// What is live on a station. tracker: a head sensor that moves slowly, its
// buttons idle (0) and joystick at rest (127). wand: buttons and joystick
// change over time, the sensor moves faster. both: a wand that is also used
// as a tracked sensor. The kind also picks the output list the station has
// after a start or a reset: 2,4,1 / 22,23,1 / 2,4,22,23,1.
enum class StationKind { tracker, wand, both };

struct StationSetup {
    int number = 1; // 1 to 12; sent as '1'..'9', 'A', 'B', 'C'
    StationKind kind = StationKind::tracker;
};

// A station's reference frame: origin and unit axes (rows), both in the
// tracker's default frame, centimetres.
struct AlignmentFrame {
    double origin[3] = {0, 0, 0};
    double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

// A station held still at a pose instead of moving: position in
// centimetres, azimuth, elevation and roll in degrees, in the tracker's
// default frame.
struct StillPose {
    int station = 1;
    double position[3] = {0, 0, 0};
    double angles[3] = {0, 0, 0};
};

// Motions that follow a script on the simulator's clock, so that the true
// pose at any moment is known; each repeats for as long as the run lasts.
//  headTurn: still 0.5 s, a turn of 90 degrees of azimuth in 0.4 s about a
//    neck the sensor sits 10 cm ahead of and 8 cm above, still 0.6 s, the
//    turn back, still 0.1 s (2 s).
//  wandSwing: still 0.5 s, a swing of 50 cm along x at up to 2 m/s with a
//    45-degree turn, held 0.53 s, the swing back, held 0.03 s (2 s).
//  walk: 4.2 m along x, 3 s of it at 1.2 m/s between half-second ramps,
//    with a step's 2-cm bob, standing 1.5 s, and back (10 s).
//  holds: held 1.5 s at each of the points in turn (the first 5 s longer
//    at the start), moving 0.5 s to the next; a wand's first button is down
//    from 1.2 s to 1.4 s into each hold, so that a press takes the point
//    after a still second.
//  swivel: turned about the pivot, a cone of up to 30 degrees every 3 s with
//    a roll, the pose held at the pivot (its position stays).
enum class MotionScript { headTurn, wandSwing, walk, holds, swivel };

// A pose in the room: centimetres and degrees.
struct RoomPose {
    double position[3] = {0, 0, 0};
    double angles[3] = {0, 0, 0};
};

struct ScriptedMotion {
    int station = 1;
    MotionScript script = MotionScript::headTurn;
    std::vector<RoomPose> points; // holds: the poses held; swivel: the pivot's pose first
};

// The scripted pose at seconds into the script: centimetres and degrees,
// tracker's default frame. The first form is for the scripts that take no points.
void scriptedPose(MotionScript script, double seconds, double position[3], double angles[3]);
void scriptedPose(const ScriptedMotion& motion, double seconds, double position[3], double angles[3]);
// Whether a holds script's wand has its first button down then.
bool scriptedPress(const ScriptedMotion& motion, double seconds);

// Where the transmitter stands in the room: a point p of the tracker's
// frame is at p . M + offset (centimetres), M the turn by angle degrees about
// axis, right-handed, as row vectors. The poses the stations move through
// are the room's; the tracker measures them from where it stands.
struct TransmitterPlacement {
    double offset[3] = {0, 0, 0};
    double axis[3] = {0, 0, 1};
    double angleDegrees = 0;
};

// A station whose moving or held point is a tip at offset (centimetres, in
// the sensor's frame) from the sensor: the sensor sits that far back.
struct SensorTip {
    int station = 1;
    double offset[3] = {0, 0, 0};
};

// Gaussian noise on every station's pose, drawn once a sample from the
// seeded generator: the standard deviation of each of x, y and z, and of
// each component of a small rotation vector that turns the orientation
// about the sensor's axes.
struct SensorNoise {
    double positionMm = 1.5;
    double angleDegrees = 0;
};

// No records of the station (0: of every station) from at seconds after the
// start, for length seconds; the line, the other stations and the commands
// carry on.
struct RecordGap {
    double at = 0;
    double length = 0;
    int station = 0;
};

struct SimulatorOptions {
    std::vector<StationSetup> stations{StationSetup{}};
    double updateRate = 120.0;           // records per second per station, at most
    int baudRate = 0;                    // 0: read the rate the slave side is set to
    unsigned long resetSilenceMs = 20000; // silence after Ctrl-Y
    bool centimetres = false;            // positions in centimetres instead of inches
    uint32_t seed = 1;                   // seeds motion noise, buttons and joystick
    bool startStreaming = false;         // start in binary continuous mode
    std::vector<StillPose> stillPoses;   // stations held still; one naming no station is ignored
    std::vector<ScriptedMotion> scripts; // stations that follow a script
    SensorNoise noise;
    TransmitterPlacement transmitter;
    std::vector<SensorTip> tips;
    std::vector<RecordGap> gaps;         // on the simulator's clock, from start()
    std::string linkPath;                // when set, a symbolic link to the slave side
    std::string commandLogPath;          // when set, every command is appended as a line
    bool logToStderr = false;            // say what happens on stderr
    // When set, the stations play this recording back instead of moving
    // (the stations and the unit are the recording's), from each start of
    // continuous output; loop repeats it.
    std::shared_ptr<const Recording> replay;
    bool loop = false;
    // When set, the tracker's side of this capture of a plug-in's line is
    // played back byte for byte instead, from the moment the streaming
    // set-up arrived, its spacing divided by captureSpeed; each captured read
    // time-out is a silence longer than the read time-out at any speed; a
    // captured lost line or reopen only marks time. loop repeats it.
    std::shared_ptr<const Capture> capture;
    double captureSpeed = 1.0;
    unsigned long bootMs = 3000;        // after a power cycle's off time, silent and deaf for this long
    std::size_t keptRecords = 1000;     // the last records sent that sentRecords() keeps
    // The simulator's time; the steady clock when empty. Tests share one with the device.
    std::function<std::chrono::steady_clock::time_point()> clock;
};

// One record as it went out on the line, with the values it carries.
struct SentRecord {
    uint64_t sequence = 0;  // position in the whole output, from 0
    int station = 0;
    bool binary = true;     // false: ASCII ('F') record
    bool truncated = false; // cut short on request; has no CR LF
    bool crLfInside = false; // a float's bytes contain 0D 0A
    bool hasPosition = false, hasAngles = false, hasButtons = false, hasJoystick = false;
    float position[3] = {0, 0, 0}; // x, y, z in the simulator's unit
    float angles[3] = {0, 0, 0};   // azimuth, elevation, roll in degrees
    uint8_t buttons = 0;
    uint8_t joystick[2] = {127, 127};
    std::vector<uint8_t> bytes; // exactly what was written
    // Just before the record went to the line: a reader on another core may
    // have it before the write returns, so a time taken after it is too late.
    std::chrono::steady_clock::time_point writeStartedAt;
    // The moment on the simulator's clock (seconds since its start) the
    // record's pose stands for: the true pose of a scripted motion then is
    // scriptedPose(script, sampledAt).
    double sampledAt = 0;
    AlignmentFrame frame; // the station's frame the record was sent in
};

class Simulator {
public:
    explicit Simulator(SimulatorOptions options = SimulatorOptions());
    ~Simulator(); // stops the thread, closes the master, removes the link
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pseudo-terminal (slave side raw, 38400 baud), makes the link
    // and starts the thread. False with errorText() set when anything fails.
    bool start();
    void stop();
    std::string slavePath() const;
    std::string errorText() const;

    // Commands in the order received: "^Y", "R1", "A1,0,0,0,0,0,-200,200,0,0",
    // "O1,2,4,1", "f", "F", "C", "c", "P"; a command that arrives while the
    // tracker restarts is logged as "ignored " + command; an unknown byte as
    // "?xx" (two hex digits).
    std::vector<std::string> commandLog() const;
    // Every byte received, in order.
    std::vector<uint8_t> receivedBytes() const;
    // Waits up to timeoutMs until at least count commands / records are there.
    bool waitForCommands(std::size_t count, unsigned long timeoutMs) const;
    bool waitForRecords(std::size_t count, unsigned long timeoutMs) const;

    // The last records sent (at most options.keptRecords), oldest first; a
    // full log of a long run goes through setRecordCallback.
    std::vector<SentRecord> sentRecords() const;
    std::vector<SentRecord> sentRecords(int station) const;
    uint64_t recordsSent() const; // all records sent so far
    // Called on the simulator's thread after each record was written.
    void setRecordCallback(std::function<void(const SentRecord&)> callback);

    // Tracker state as the commands have set it.
    bool binaryMode() const;
    bool continuousMode() const;
    std::vector<int> outputList(int station) const; // empty for an unknown station
    int lineBaudRate() const; // the rate in use for pacing
    bool hungUp() const;

    // Faults, applied to the output in the order requested.
    void injectGarbage(const std::vector<uint8_t>& bytes); // before the next record
    void truncateNextRecord(std::size_t keepBytes);        // next record cut to keepBytes
    void forceCrLfInNextRecord(); // next record with a position: x = bytes 0D 0A A0 41
    void silence(unsigned long milliseconds);              // no output for that long
    void hangUp();                                         // closes the master now
    // The cable is pulled: the pseudo-terminal closes and the link path
    // disappears; after that long a new pseudo-terminal appears under the
    // same link path, the tracker's settings unchanged. Returns once the line
    // is down.
    void unplug(unsigned long milliseconds);
    // Waits until an unplugged line is back; true when it is.
    bool waitForLineBack(unsigned long timeoutMs) const;
    // The tracker is switched off and on: silent and deaf for that long and
    // for the boot time, then in its power-up state (ASCII, not continuous,
    // alignment reset) with an empty command buffer.
    void powerCycle(unsigned long milliseconds);
    // While off: the tracker comes on (power-up state, no boot time) right
    // after the count-th byte it receives from now, so that a test puts the
    // moment anywhere inside a set-up.
    void powerOnAfterBytes(std::size_t count);
    bool poweredOn() const;
    // When the tracker last came on (the simulator's clock); only while on.
    std::chrono::steady_clock::time_point poweredOnAt() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

// "tracker", "wand", "both" (any letter case); false for anything else.
bool parseStationKind(const std::string& text, StationKind& kind);
const char* stationKindName(StationKind kind);

} // namespace is900sim
