#include "host/config/CaptureOption.h"

#include "rules/OptionWords.h"

#include <algorithm>
#include <cctype>

namespace {

bool isCaptureKeyword(const std::string& keyword) {
    return optionwords::isOneOf(keyword, optionwords::capture, sameKeyword);
}

} // namespace

std::string captureFilePath(const std::string& folder, const std::string& deviceName, std::time_t start) {
    std::string name;
    for (unsigned char c : deviceName) name += std::isalnum(c) || c == '-' || c == '.' ? static_cast<char>(c) : '_';
    char stamp[32] = "";
    // Called once, before any thread of the run starts.
    if (const std::tm* local = std::localtime(&start)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    const bool separator = !folder.empty() && folder.back() != '/' && folder.back() != '\\';
    return folder + (separator ? "/" : "") + name + "-" + stamp + ".is900cap";
}

void overrideCaptureOption(std::vector<OptionLine>& options, const std::string& path) {
    overrideOption(options, OptionLine{0, optionwords::capture.list[0], {path}}, isCaptureKeyword);
}

std::vector<OptionLine> withoutCaptureOption(std::vector<OptionLine> options) {
    options.erase(std::remove_if(options.begin(), options.end(),
                                 [](const OptionLine& option) { return isCaptureKeyword(option.keyword); }),
                  options.end());
    return options;
}
