// is900-report: reads captures of the tracker's line (is900-host --capture)
// and record files (is900-host --record) and writes one self-contained HTML
// page on what went wrong in each run. Exit 0; 2 for a file that is neither,
// or a page that cannot be written.
#include "report/Page.h"
#include "report/RunReading.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    CLI::App app("Writes a self-contained HTML page on the tracking quality of IS-900 captures and record files");
    std::vector<std::string> files;
    std::string out = "is900-report.html";
    double silenceSeconds = 2;
    app.add_option("FILE", files, "capture files (*.is900cap) or record files (JSON lines)")->required();
    app.add_option("-o,--output", out, "the page to write (default is900-report.html)");
    app.add_option("--silence", silenceSeconds, "seconds without bytes or records that count as a silence (default 2)")
        ->check(CLI::PositiveNumber);
    CLI11_PARSE(app, argc, argv);

    std::vector<is900report::Run> runs;
    try {
        for (const std::string& file : files) runs.push_back(is900report::readRun(file, silenceSeconds));
    } catch (const is900report::RunError& error) {
        std::cerr << "is900-report: not a capture or record file: " << error.what() << std::endl;
        return 2;
    }
    std::ofstream page(out, std::ios::binary);
    page << is900report::htmlPage(runs);
    if (!page.flush()) {
        std::cerr << "is900-report: cannot write " << out << std::endl;
        return 2;
    }
    std::cerr << "is900-report: wrote " << out << std::endl;
    return 0;
}
