// The IS-900 set-up and wind-down commands, written to the tracker's port
// byte for byte. Each step judges success only by the number of bytes the
// port took; nothing is read back. The device owns one and calls its steps
// from configure and stop; the lines are logged as the device's own.
#pragma once

#include <cstdint>
#include <functional>

class CRS232H;
class CLogH;

class IS900CommandSteps {
public:
    typedef std::function<void(unsigned long milliseconds)> SleepFunction;

    static const unsigned long resetWaitMs = 20000;
    static const unsigned long alignmentWaitMs = 1000;

    IS900CommandSteps(CRS232H* port, const CLogH* log);

    bool resetTracker();
    bool setAlignment();
    bool resetAlignment();
    bool setDataFormat(uint32_t station, bool tracker, bool controller);
    bool setBinaryMode();
    bool startContinuous();
    bool stopContinuous();
    // While set, failed steps are reported at debug level only (a set-up
    // that is retried once a second must not flood the log).
    void reportFailuresAtDebug(bool quiet) { quietFailures = quiet; }

    // Blocks for the waits after the reset and the alignments; tests put in
    // one that only records the request.
    SleepFunction sleep;

private:
    struct StepTexts {
        const char* start;
        const char* done;
        const char* couldNot; // null: the failure line alone
        const char* failed;
        unsigned long waitMs;
    };

    bool writeAll(const char* bytes, uint32_t length);
    bool runStep(const StepTexts& texts, const char* bytes, uint32_t length);
    bool finishStep(const StepTexts& texts, bool written);
    bool writeAlignment(const StepTexts& texts, const char* alignment);

    CRS232H* port;
    const CLogH* log;
    bool quietFailures;
};
