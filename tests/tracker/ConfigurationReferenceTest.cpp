// The worked example of the configuration reference is checked here against
// the pose pipeline, so the documentation cannot drift from the code.
#include "TrackerTestSupport.h"

#include "tracker/CTraCommonH.h"

#include "common/PoseMatchers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ExampleRow {
    std::vector<std::vector<std::string>> optionLines; // each: keyword, then arguments
    float pose[6];
};

std::vector<std::string> cellsOf(const std::string& row) {
    std::vector<std::string> cells;
    std::stringstream stream(row);
    std::string cell;
    std::getline(stream, cell, '|'); // before the first bar
    while (std::getline(stream, cell, '|')) cells.push_back(cell);
    return cells;
}

// Every `...` span of the first cell is one option line.
std::vector<std::vector<std::string>> optionLinesOf(const std::string& cell) {
    std::vector<std::vector<std::string>> lines;
    for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open + 1)) {
        const std::size_t close = cell.find('`', open + 1);
        std::stringstream words(cell.substr(open + 1, close - open - 1));
        std::vector<std::string> line;
        for (std::string word; words >> word;) line.push_back(word);
        lines.push_back(line);
        open = close;
    }
    return lines;
}

std::vector<ExampleRow> readWorkedExample() {
    std::ifstream file(CONFIGURATION_REFERENCE);
    std::vector<ExampleRow> rows;
    bool inside = false;
    for (std::string line; std::getline(file, line);) {
        if (line.find("worked-example: begin") != std::string::npos) inside = true;
        else if (line.find("worked-example: end") != std::string::npos) break;
        else if (inside && line.rfind("| ", 0) == 0 && line.find("---") == std::string::npos) {
            const std::vector<std::string> cells = cellsOf(line);
            if (cells.size() < 7 || cells[1].find_first_of("0123456789-") == std::string::npos) continue;
            ExampleRow row{optionLinesOf(cells[0]), {}};
            for (int i = 0; i < 6; ++i) row.pose[i] = std::stof(cells[i + 1]);
            rows.push_back(row);
        }
    }
    return rows;
}

} // namespace

TEST(ConfigurationReference, WorkedExampleMatchesThePosePipeline) {
    const std::vector<ExampleRow> rows = readWorkedExample();
    ASSERT_GE(rows.size(), 3u) << "no worked example in " << CONFIGURATION_REFERENCE;
    const CLogH quietLog = plainLogger();
    const ExampleRow& record = rows.front();
    for (std::size_t r = 1; r < rows.size(); ++r) {
        CTraCommonH tracker(&quietLog);
        tracker.createLookup(8);
        tracker.setStation(1, 1);
        tracker.caveCoordinates = true;
        OptionLinesBuilder lines;
        for (const std::vector<std::string>& line : rows[r].optionLines)
            lines.add(line[0], std::vector<std::string>(line.begin() + 1, line.end()));
        ASSERT_TRUE(tracker.parseOptions(lines.get())) << "row " << r;
        float pose[6];
        std::copy(record.pose, record.pose + 6, pose);
        ASSERT_TRUE(tracker.processPose(1, 'U', pose));
        EXPECT_THAT(pose, PoseNear(rows[r].pose, 1e-4f, 1e-4f)) << "row " << r;
    }
}
