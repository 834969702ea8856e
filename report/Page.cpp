#include "report/Page.h"

#include "is900/hostkit/Quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <sstream>

namespace is900report {

using namespace is900::hostkit;

namespace {

const double snapshotStep = 1; // seconds between the plotted snapshots
const double rateWindow = 2;   // seconds: short, so that the plot shows a drop soon
const char* const colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

struct Point {
    double time = 0;
    std::optional<double> rate, positionMm, angleDeg;
};

struct StationSeries {
    std::string device;
    int station = 0;
    std::vector<Point> points;
    StationQuality last;
};

struct Analysis {
    std::vector<StationSeries> stations;
    std::vector<DeviceSetUp> setUps;
};

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string clockText(const Run& run, double time) {
    if (run.startEpoch <= 0) return "+" + format("%.1f", time) + " s";
    const std::time_t whole = static_cast<std::time_t>(std::floor(run.startEpoch + time));
    char text[16] = "";
    if (const std::tm* local = std::localtime(&whole)) std::strftime(text, sizeof text, "%H:%M:%S", local);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

std::string figure(const std::optional<double>& value, const char* pattern) {
    return value ? format(pattern, *value) : "&ndash;";
}

// Feeds the monitor the run's records, set-ups and states in time order and
// takes a snapshot every snapshotStep seconds and at the end.
Analysis analyse(const Run& run) {
    QualitySettings settings;
    settings.historySeconds = run.end + 60;
    settings.rateWindow = rateWindow;
    QualityMonitor monitor(settings);
    const std::string device = run.records.empty() ? std::string() : run.records.front().record.device;
    std::vector<std::pair<double, std::size_t>> events; // index: records, then set-ups, then states
    for (std::size_t i = 0; i < run.records.size(); ++i) events.push_back({run.records[i].time, i});
    for (std::size_t i = 0; i < run.setUps.size(); ++i) events.push_back({run.setUps[i], run.records.size() + i});
    for (std::size_t i = 0; i < run.states.size(); ++i)
        events.push_back({run.states[i].first, run.records.size() + run.setUps.size() + i});
    std::stable_sort(events.begin(), events.end(),
                     [](const std::pair<double, std::size_t>& a, const std::pair<double, std::size_t>& b) {
                         return a.first < b.first;
                     });
    std::map<std::pair<std::string, int>, StationSeries> series;
    std::vector<DeviceQuality> devices;
    std::size_t next = 0;
    for (double now = snapshotStep;; now = std::min(now + snapshotStep, run.end)) {
        for (; next < events.size() && events[next].first <= now; ++next) {
            const double time = events[next].first;
            const std::size_t index = events[next].second;
            if (index < run.records.size()) monitor.addRecord(run.records[index].record, time);
            else if (index < run.records.size() + run.setUps.size()) monitor.noteSetUp(device, time);
            else monitor.noteState(device, run.states[index - run.records.size() - run.setUps.size()].second, time);
        }
        devices = monitor.snapshot(now);
        for (const DeviceQuality& quality : devices)
            for (const StationQuality& station : quality.stations) {
                StationSeries& line = series[{quality.device, station.station}];
                line.device = quality.device, line.station = station.station, line.last = station;
                line.points.push_back({now, station.rate, station.positionNoiseMm, station.orientationNoiseDeg});
            }
        if (now >= run.end) break;
    }
    Analysis analysis;
    for (auto& entry : series) analysis.stations.push_back(entry.second);
    for (const DeviceQuality& quality : devices)
        analysis.setUps.insert(analysis.setUps.end(), quality.setUps.begin(), quality.setUps.end());
    return analysis;
}

std::string stationList(const std::vector<int>& stations) {
    std::string text = stations.size() == 1 ? "station " : "stations ";
    for (std::size_t i = 0; i < stations.size(); ++i)
        text += (i == 0 ? "" : i + 1 == stations.size() ? " and " : ", ") + std::to_string(stations[i]);
    return text;
}

std::string silenceSentence(const Run& run, const Analysis& analysis, const Silence& silence) {
    const double end = silence.start + silence.length;
    std::vector<int> silent;
    for (const StationSeries& station : analysis.stations) silent.push_back(station.station);
    std::string text = (silent.empty() ? std::string("The tracker") : "The tracker (" + stationList(silent) + ")") +
                       " was silent " + format("%.1f", silence.length) + " s from " + clockText(run, silence.start);
    const auto record = std::find_if(run.records.begin(), run.records.end(),
                                     [&](const TimedRecord& timed) { return timed.time >= end; });
    if (record == run.records.end() || end >= run.end) return text + " until the end of the run.";
    if (!run.capture) return text + "; records came again at " + clockText(run, record->time) + ".";
    std::vector<double> setUps;
    for (double setUp : run.setUps)
        if (setUp > silence.start && setUp <= record->time) setUps.push_back(setUp);
    if (setUps.empty())
        return text + "; it sent records again at " + clockText(run, record->time) + " without being set up again.";
    // In the order they happened: a tracker that answers before the set-up
    // has come back from a power cycle; one that answers after it, to it.
    if (end < setUps.back())
        text += "; the tracker answered again at " + clockText(run, end) +
                " in its power-up state, sending no records, and was set up again at " + clockText(run, setUps.back());
    else
        text += "; the tracker was set up again at " + clockText(run, setUps.back()) + " and answered again at " +
                clockText(run, end);
    if (setUps.size() > 1)
        text += " (" + std::to_string(setUps.size()) + " set-ups after the silence began, the first at " +
                clockText(run, setUps.front()) + ")";
    return text + "; its records came again at " + clockText(run, record->time) + ".";
}

bool withinSilence(const Run& run, const QualityGap& gap) {
    for (const Silence& silence : run.silences)
        if (gap.start >= silence.start - 1 && gap.start <= silence.start + silence.length) return true;
    return false;
}

std::vector<std::string> summaryOf(const Run& run, const Analysis& analysis) {
    std::vector<std::string> sentences;
    for (const Silence& silence : run.silences) sentences.push_back(silenceSentence(run, analysis, silence));
    for (const StationSeries& station : analysis.stations)
        for (const QualityGap& gap : station.last.gaps)
            if (!withinSilence(run, gap))
                sentences.push_back("Station " + std::to_string(station.station) + " had a gap of " +
                                    format("%.2f", gap.length) + " s from " + clockText(run, gap.start) + ".");
    if (analysis.stations.empty()) sentences.push_back("The tracker sent no record the report could read.");
    if (!sentences.empty()) return sentences;
    std::string text = "Nothing went wrong: ";
    for (const StationSeries& station : analysis.stations)
        text += "station " + std::to_string(station.station) + " streamed at " +
                figure(station.last.rate, "%.0f") + " records/s, ";
    return {text + "with no gap and no silence."};
}

// One plot of a figure of every station over time, the silences shaded.
std::string plot(const Run& run, const Analysis& analysis, const char* title, const char* unit,
                 std::optional<double> Point::*value) {
    const double width = 760, height = 200, left = 50, bottom = 30, top = 10;
    double highest = 0;
    for (const StationSeries& station : analysis.stations)
        for (const Point& point : station.points)
            if (point.*value) highest = std::max(highest, *(point.*value));
    highest = highest > 0 ? highest * 1.1 : 1;
    const double span = std::max(run.end, 1.0);
    const auto x = [&](double time) { return left + (width - left - 10) * time / span; };
    const auto y = [&](double v) { return top + (height - top - bottom) * (1 - v / highest); };
    std::ostringstream svg;
    svg << "<h4>" << title << " (" << unit << ")</h4><svg width=\"" << width << "\" height=\"" << height
        << "\" class=\"plot\">";
    for (const Silence& silence : run.silences)
        svg << "<rect x=\"" << x(silence.start) << "\" y=\"" << top << "\" width=\"" << x(silence.length) - left
            << "\" height=\"" << height - top - bottom << "\" class=\"silence\"><title>silent "
            << format("%.1f", silence.length) << " s</title></rect>";
    for (int tick = 0; tick <= 4; ++tick) {
        const double v = highest * tick / 4, t = span * tick / 4;
        svg << "<text x=\"" << left - 4 << "\" y=\"" << y(v) + 4 << "\" text-anchor=\"end\">" << format("%.3g", v)
            << "</text><text x=\"" << x(t) << "\" y=\"" << height - 10 << "\" text-anchor=\""
            << (tick == 0 ? "start" : tick == 4 ? "end" : "middle") << "\">"
            << clockText(run, t) << "</text>";
    }
    svg << "<line x1=\"" << left << "\" y1=\"" << y(0) << "\" x2=\"" << width - 10 << "\" y2=\"" << y(0)
        << "\" class=\"axis\"/>";
    for (std::size_t n = 0; n < analysis.stations.size(); ++n) {
        std::string path;
        char move = 'M';
        for (const Point& point : analysis.stations[n].points) {
            if (!(point.*value)) {
                move = 'M';
                continue;
            }
            path += move + format("%.1f", x(point.time)) + "," + format("%.1f", y(*(point.*value))) + " ";
            move = 'L';
        }
        svg << "<path d=\"" << path << "\" stroke=\"" << colours[n % 8] << "\"><title>station "
            << analysis.stations[n].station << "</title></path>";
    }
    return svg.str() + "</svg>";
}

std::string runSection(const Run& run, const Analysis& analysis) {
    std::ostringstream html;
    html << "<section><h2>" << escaped(run.file) << "</h2><p>"
         << (run.capture ? "A capture of the tracker's line" : "A host's record file") << ", "
         << format("%.1f", run.end) << " s from " << clockText(run, 0) << ".</p>";
    html << "<h3>The device's options</h3><table><tr><th>Line</th><th>Option</th></tr>";
    for (const OptionLine& line : run.options) {
        std::string words = line.keyword;
        for (const std::string& arg : line.args) words += " " + arg;
        html << "<tr><td>" << line.lineNumber << "</td><td><code>" << escaped(words) << "</code></td></tr>";
    }
    html << "</table>";
    if (run.capture) {
        html << "<h3>The set-up the tracker was sent</h3><pre>";
        for (const std::string& command : run.setUpCommands) html << escaped(command) << "\n";
        html << "</pre><p>" << run.setUps.size() << " set-up(s) at:";
        for (const DeviceSetUp& setUp : analysis.setUps)
            html << " " << clockText(run, setUp.time) << (setUp.repeated ? " (repeated)" : "");
        html << ".</p>";
    }
    if (!run.states.empty()) {
        html << "<h3>The device's states</h3><p>";
        for (const auto& state : run.states) html << clockText(run, state.first) << " " << escaped(state.second) << "; ";
        html << "</p>";
    }
    html << "<h3>Stations</h3><table><tr><th>Station</th><th>Records</th><th>Rate at the end (/s)</th>"
            "<th>Gaps</th><th>Longest gap (s)</th><th>Position noise (mm)</th><th>Orientation noise (&deg;)</th></tr>";
    for (const StationSeries& station : analysis.stations) {
        const StationQuality& last = station.last;
        html << "<tr><td>" << station.station << "</td><td>" << last.records << "</td><td>"
             << figure(last.rate, "%.1f") << "</td><td>" << last.gapCount << "</td><td>"
             << format("%.2f", last.longestGap) << "</td><td>" << figure(last.positionNoiseMm, "%.2f")
             << "</td><td>" << figure(last.orientationNoiseDeg, "%.3f") << "</td></tr>";
    }
    // The seconds into the run as well: a capture's clock time is known only
    // to the second its file name gives.
    html << "</table><h3>Gaps and silences</h3><table><tr><th>What</th><th>From</th><th>Seconds into the run</th>"
            "<th>Length (s)</th></tr>";
    const auto row = [&](const std::string& what, double start, double length) {
        html << "<tr><td>" << what << "</td><td>" << clockText(run, start) << "</td><td>" << format("%.3f", start)
             << "</td><td>" << format("%.3f", length) << "</td></tr>";
    };
    for (const Silence& silence : run.silences) row("silence of the tracker", silence.start, silence.length);
    for (const StationSeries& station : analysis.stations)
        for (const QualityGap& gap : station.last.gaps)
            row("gap of station " + std::to_string(station.station), gap.start, gap.length);
    html << "</table><h3>Over time</h3><p class=\"legend\">";
    for (std::size_t n = 0; n < analysis.stations.size(); ++n)
        html << "<span style=\"color:" << colours[n % 8] << "\">&#9632; station " << analysis.stations[n].station
             << "</span> ";
    html << "<span class=\"shade\">&#9632; silence</span></p>";
    html << plot(run, analysis, "Rate", "records per second", &Point::rate)
         << plot(run, analysis, "Position noise while still", "mm RMS", &Point::positionMm)
         << plot(run, analysis, "Orientation noise while still", "degrees RMS", &Point::angleDeg);
    return html.str() + "</section>";
}

const char* const style =
    "body{font-family:sans-serif;margin:2em;max-width:60em}table{border-collapse:collapse;margin:.5em 0}"
    "td,th{border:1px solid #ccc;padding:2px 8px;text-align:left}.summary{background:#fff4e0;padding:.5em 1em}"
    ".ok{background:#e8f6e8}svg.plot{border:1px solid #ddd;font-size:11px}svg.plot path{fill:none;stroke-width:1.5}"
    ".silence{fill:#f4c7c3}.shade{color:#f4c7c3}.axis{stroke:#888}pre{background:#f6f6f6;padding:.5em}";

} // namespace

std::string htmlPage(const std::vector<Run>& runs) {
    std::ostringstream head, body;
    bool wrong = false;
    for (const Run& run : runs) {
        const Analysis analysis = analyse(run);
        const std::vector<std::string> sentences = summaryOf(run, analysis);
        wrong = wrong || sentences.front().rfind("Nothing went wrong", 0) != 0;
        head << "<li><b>" << escaped(run.file) << ":</b><ul>";
        for (const std::string& sentence : sentences) head << "<li>" << escaped(sentence) << "</li>";
        head << "</ul></li>";
        body << runSection(run, analysis);
    }
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>IS-900 tracking report</title><style>" +
           std::string(style) + "</style></head><body><h1>IS-900 tracking report</h1><div class=\"summary" +
           (wrong ? "" : " ok") + "\"><h2>Summary</h2><ul>" + head.str() +
           "</ul></div><p>Poses of a capture are decoded in the tracker's own frame, converted to feet by the "
           "capture's unit option; rate, gaps and noise are unchanged by the rigid transforms the device "
           "applies. Rates are over the last 2 s, noise over the last 10 s. "
           "A silence is a span of at least the --silence limit without bytes (capture) or records (record "
           "file); a set-up is the device writing its set-up commands, from its first command to starting the "
           "stream.</p>" +
           body.str() + "</body></html>\n";
}

} // namespace is900report
