// The table on the host's screen, as an output of the hub like the others:
// each record updates the board that the control thread draws the table from.
#pragma once

#include "host/outputs/Output.h"
#include "is900/table/RecordTable.h"

class TableOutput final : public Output {
public:
    static constexpr const char* name = "table";

    bool send(const PublishedRecord& record) override {
        board.update(record.view, Clock::now());
        return true;
    }
    // The board counts every record, also one the hub passes over.
    void passOver(const PublishedRecord& record) override { send(record); }
    bool mayWait() const override { return false; }
    bool lossless() const override { return false; }
    std::string describe() const override { return name; }

    std::string rows() const { return is900::hostkit::formatTable(board.snapshot(Clock::now())); }

private:
    using Clock = is900::hostkit::LiveBoard::Clock;

    is900::hostkit::LiveBoard board;
};
