#include "host/config/ConfigRewrite.h"

#include "rules/OptionWords.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>

namespace {

namespace words = optionwords;

using is900::hostkit::isAnyWord;
using is900::hostkit::isWord;
using LineTest = std::function<bool(const OptionLine&)>;

const double largestLength = 100;
const double largestAngle = 360;
const double leastAxisLength = 1e-6;


// ---- Reading the lines of a write ----

ConfigError refused(const std::string& text, const std::string& why) { return ConfigError("'" + text + "': " + why); }

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value == 0 ? 0.0 : value); // no "-0"
    return text;
}

// A whole argument that reads as a finite number within +-limit.
double boundedNumber(const std::string& line, const std::string& arg, double limit) {
    char* end = nullptr;
    const double value = std::strtod(arg.c_str(), &end);
    if (arg.empty() || *end != '\0' || !std::isfinite(value)) throw refused(line, "'" + arg + "' is not a number");
    if (std::fabs(value) > limit)
        throw refused(line, arg + " is outside -" + numberText(limit) + " to " + numberText(limit));
    return value;
}

int stationNumber(const std::string& line, const std::string& arg) {
    if (arg.size() != 1 || arg[0] < '1' || arg[0] > '0' + is900::hostkit::deviceStationCount)
        throw refused(line, "station '" + arg + "' is not 1 to " + std::to_string(is900::hostkit::deviceStationCount));
    return arg[0] - '0';
}

std::string unitWord(const std::string& line, const std::string& arg) {
    std::string known;
    for (const words::LengthUnit& unit : words::lengthUnits) {
        if (sameKeyword(arg, unit.word)) return unit.word;
        known += (known.empty() ? "" : ", ") + std::string(unit.word);
    }
    throw refused(line, "the unit '" + arg + "' is not one of " + known);
}

// x y z [unit], from args[first].
void addOffset(const std::string& line, const std::vector<std::string>& args, std::size_t first, OptionLine& written) {
    if (args.size() != first + 3 && args.size() != first + 4)
        throw refused(line, "takes X Y Z and optionally a unit");
    for (std::size_t i = first; i < first + 3; ++i)
        written.args.push_back(numberText(boundedNumber(line, args[i], largestLength)));
    if (args.size() == first + 4) written.args.push_back(unitWord(line, args[first + 3]));
}

// ax ay az angle, from args[first].
void addRotation(const std::string& line, const std::vector<std::string>& args, std::size_t first, OptionLine& written) {
    if (args.size() != first + 4) throw refused(line, "takes an axis AX AY AZ and an angle in degrees");
    double squares = 0;
    for (std::size_t i = first; i < first + 3; ++i) {
        const double value = boundedNumber(line, args[i], largestLength);
        squares += value * value;
        written.args.push_back(numberText(value));
    }
    if (std::sqrt(squares) < leastAxisLength) throw refused(line, "the axis is zero");
    written.args.push_back(numberText(boundedNumber(line, args[first + 3], largestAngle)));
}

OptionLine correctionLine(const std::string& text) {
    ConfigFileLine read;
    try {
        read = readConfigLine(text, 0, "");
    } catch (const ConfigError&) {
        throw refused(text, "cannot be read as an option line");
    }
    const std::string& keyword = read.option.keyword;
    if (read.startsSection || !isAnyWord(keyword, {words::transmitterOffset, words::transmitterRotation,
                                               words::sensorOffset, words::sensorRotation}))
        throw refused(text, "only transmitteroffset, transmitterrotation, sensoroffset and sensorrotation lines "
                            "may be written");
    const std::vector<std::string>& args = read.option.args;
    const bool sensor = isAnyWord(keyword, {words::sensorOffset, words::sensorRotation});
    const bool offset = isAnyWord(keyword, {words::transmitterOffset, words::sensorOffset});
    const words::Words& spellings = offset ? (sensor ? words::sensorOffset : words::transmitterOffset)
                                           : (sensor ? words::sensorRotation : words::transmitterRotation);
    OptionLine written{0, spellings.list[0], {}};
    if (sensor) {
        if (args.empty()) throw refused(text, "names no station");
        written.args.push_back(std::to_string(stationNumber(text, args[0])));
    }
    (offset ? addOffset : addRotation)(text, args, sensor ? 1 : 0, written);
    return written;
}

// Two lines are one correction when they set the same thing.
bool sameCorrection(const OptionLine& a, const OptionLine& b) {
    return a.keyword == b.keyword && sensorLineStation(a) == sensorLineStation(b);
}

// ---- Rewriting the text ----

struct TextLine {
    std::string text;    // without its '\n'
    bool newline = true; // '\n' follows it
    ConfigFileLine read;
};

std::vector<TextLine> splitLines(const std::string& text) {
    std::vector<TextLine> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = text.find('\n', begin);
        TextLine line;
        line.newline = end != std::string::npos;
        line.text = text.substr(begin, line.newline ? end - begin : std::string::npos);
        line.read = readConfigLine(line.text, static_cast<uint32_t>(lines.size() + 1), "the configuration");
        lines.push_back(line);
        begin = line.newline ? end + 1 : text.size();
    }
    return lines;
}

std::string joinLines(const std::vector<TextLine>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i].text + (lines[i].newline || i + 1 < lines.size() ? "\n" : "");
    return text;
}

// The lines of a section: [begin, end), and where a new line goes when
// nothing places it: after the last option line.
struct Section {
    std::size_t begin = 0, end = 0, last = 0;
};

Section findSection(const std::vector<TextLine>& lines, const std::string& name) {
    Section section{0, lines.size(), lines.size()};
    if (!name.empty()) {
        while (section.begin < lines.size() &&
               !(lines[section.begin].read.startsSection && lines[section.begin].read.sectionName == name))
            ++section.begin;
        if (section.begin == lines.size()) throw ConfigError("the configuration has no section [device " + name + "]");
        section.end = ++section.begin;
        while (section.end < lines.size() && !lines[section.end].read.startsSection) ++section.end;
        section.last = section.begin;
    }
    for (std::size_t i = section.begin; i < section.end; ++i)
        if (!lines[i].read.option.keyword.empty()) section.last = i + 1;
    return section;
}

// Puts fresh in place of the section's lines that isOld picks: after the
// last line that after picks when there is one, else where the first old
// line stood, else after the section's last option line.
void replaceLines(std::vector<TextLine>& lines, const std::string& name, const LineTest& isOld,
                  const std::vector<TextLine>& fresh, const LineTest& after) {
    const Section section = findSection(lines, name);
    const auto picks = [&](const LineTest& test, std::size_t i) { return test && test(lines[i].read.option); };
    std::size_t at = section.last, firstOld = section.end, lastAfter = section.end;
    for (std::size_t i = section.begin; i < section.end; ++i) {
        if (picks(isOld, i) && firstOld == section.end) firstOld = i;
        if (picks(after, i)) lastAfter = i + 1;
    }
    if (lastAfter != section.end) at = lastAfter;
    else if (firstOld != section.end) at = firstOld;
    std::vector<TextLine> result;
    for (std::size_t i = 0; i <= lines.size(); ++i) {
        if (i == at) result.insert(result.end(), fresh.begin(), fresh.end());
        if (i == lines.size()) break;
        if (i >= section.begin && i < section.end && picks(isOld, i)) continue;
        result.push_back(lines[i]);
    }
    lines.swap(result);
}

LineTest keywordIn(std::initializer_list<words::Words> keywords, int station) {
    const std::vector<words::Words> choices(keywords);
    return [choices, station](const OptionLine& line) {
        for (const words::Words& spellings : choices)
            if (isWord(line.keyword, spellings)) return sensorLineStation(line) == station;
        return false;
    };
}

} // namespace

std::vector<OptionLine> correctionLines(const std::vector<std::string>& texts) {
    if (texts.empty()) throw ConfigError("no lines to write");
    std::vector<OptionLine> lines;
    for (const std::string& text : texts) {
        const OptionLine line = correctionLine(text);
        for (const OptionLine& earlier : lines)
            if (sameCorrection(earlier, line)) throw refused(text, "sets what an earlier line of the write sets");
        lines.push_back(line);
    }
    return lines;
}

int sensorLineStation(const OptionLine& line) {
    const bool sensor = isAnyWord(line.keyword, {words::sensorOffset, words::sensorTranslation, words::sensorRotation,
                                             words::sensorRotationMatrix});
    return sensor && !line.args.empty() ? static_cast<int>(std::strtol(line.args[0].c_str(), nullptr, 0)) : 0;
}

std::string rewriteCorrections(const std::string& text, const std::string& section,
                               const std::vector<OptionLine>& lines) {
    std::vector<TextLine> file = splitLines(text);
    const bool crlf = !file.empty() && !file[0].text.empty() && file[0].text.back() == '\r';
    const auto fresh = [&](const LineTest& picks) {
        std::vector<TextLine> chosen;
        for (const OptionLine& line : lines) {
            if (!picks(line)) continue;
            std::string written = line.keyword;
            for (const std::string& arg : line.args) written += " " + arg;
            chosen.push_back(TextLine{written + (crlf ? "\r" : ""), true, ConfigFileLine{false, "", line}});
        }
        return chosen;
    };
    const auto replace = [&](const LineTest& isOld, const LineTest& after) {
        const std::vector<TextLine> chosen = fresh(isOld);
        if (!chosen.empty()) replaceLines(file, section, isOld, chosen, after);
    };
    replace(keywordIn({words::transmitterOffset, words::transmitterRotation, words::transmitterRotationMatrix}, 0),
            nullptr);
    for (int station = 1; station <= is900::hostkit::deviceStationCount; ++station) {
        const LineTest rotation = keywordIn({words::sensorRotation, words::sensorRotationMatrix}, station);
        replace(rotation, nullptr);
        replace(keywordIn({words::sensorOffset}, station), rotation);
    }
    return joinLines(file);
}

std::vector<OptionLine> withHostLines(std::vector<OptionLine> fromFile, const std::vector<OptionLine>& running) {
    for (const words::Words* hostSets : {&words::port, &words::capture}) {
        const auto isIt = [hostSets](const std::string& keyword) { return isWord(keyword, *hostSets); };
        for (const OptionLine& line : running)
            if (isIt(line.keyword)) overrideOption(fromFile, line, isIt);
    }
    return fromFile;
}
