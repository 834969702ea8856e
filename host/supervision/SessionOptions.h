// How the host runs its devices and shows what they publish.
#pragma once

#include "host/supervision/Display.h"

class OutputHub;
class TableOutput;
class SupervisorClock;

struct SessionOptions {
    double durationSeconds = 0;   // 0: until interrupted
    double silenceSeconds = 10;   // a device that publishes nothing for this long is brought up anew
    double refreshSeconds = 0.1;  // table refresh on a terminal
    OutputFormat format = OutputFormat::table;
    bool terminal = false;        // the table may redraw itself in place
    bool once = false;            // the first failure ends the run with its status
    OutputHub* outputs = nullptr; // when set, records and states go through it (table, JSON lines, record file, network)
    const TableOutput* table = nullptr; // the table's output in the hub, drawn with the format table
    SupervisorClock* clock = nullptr; // time and sleeps of the control thread; null: the steady clock
};
