#include "sim/CaptureFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace is900sim {

namespace {

const char* const formatName = "is900-capture";
const std::size_t chunkHeadSize = 13;
const uint32_t maxChunkBytes = 65536;
const std::size_t maxHeaderBytes = 1 << 20;

[[noreturn]] void refuse(const std::string& name, uint64_t offset, const std::string& what) {
    throw CaptureError(name + ": byte offset " + std::to_string(offset) + ": " + what);
}

uint64_t littleEndian(const std::string& bytes, std::size_t at, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// %XX back to the byte; false for a '%' without two hex digits.
bool unescape(const std::string& text, std::string& plain) {
    plain.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            plain += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        plain += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool wholeNumber(const std::string& text, unsigned long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoul(text);
    return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// One header field: its byte offset in the file for messages.
void readField(Capture& capture, const std::string& field, uint64_t offset, const std::string& name) {
    const std::size_t equals = field.find('=');
    const std::string key = field.substr(0, equals), value = equals == std::string::npos ? "" : field.substr(equals + 1);
    std::string plain;
    unsigned long number = 0;
    if (equals == std::string::npos) refuse(name, offset, "damaged header: field without '='");
    if (key == "port" && unescape(value, plain)) {
        capture.port = plain;
    } else if (key == "baud" && wholeNumber(value, number)) {
        capture.baudRate = static_cast<int>(number);
    } else if (key == "read-timeout-ms" && wholeNumber(value, number) && number > 0) {
        capture.readTimeoutMs = number;
    } else if (key == "option" && !value.empty()) {
        std::vector<std::string> line;
        for (const std::string& word : split(value, ' ')) {
            if (!unescape(word, plain)) refuse(name, offset, "damaged header: bad escape in an option line");
            line.push_back(plain);
        }
        capture.optionLines.push_back(line);
    } else if (key == "port" || key == "baud" || key == "read-timeout-ms" || key == "option") {
        refuse(name, offset, "damaged header: bad value of " + key);
    } // fields of later revisions of the same version are skipped
}

std::size_t readHeader(Capture& capture, const std::string& bytes, const std::string& name) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string::npos || end > maxHeaderBytes) refuse(name, 0, "damaged header: no end of line");
    const std::vector<std::string> fields = split(bytes.substr(0, end), '\t');
    if (fields[0] != formatName) refuse(name, 0, "damaged header: not an is900-capture file");
    unsigned long version = 0;
    if (fields.size() < 2 || !wholeNumber(fields[1], version))
        refuse(name, fields[0].size() + 1, "damaged header: no format version");
    if (version != static_cast<unsigned long>(Capture::formatVersion))
        throw CaptureError(name + ": capture format version " + std::to_string(version) + "; this program reads version " +
                           std::to_string(Capture::formatVersion));
    uint64_t offset = fields[0].size() + fields[1].size() + 2;
    for (std::size_t i = 2; i < fields.size(); ++i) {
        readField(capture, fields[i], offset, name);
        offset += fields[i].size() + 1;
    }
    return end + 1;
}

bool knownKind(char kind) { return kind != '\0' && std::strchr("RWTLO", kind) != nullptr; }

} // namespace

Capture parseCapture(const std::string& bytes, const std::string& name) {
    Capture capture;
    std::size_t at = readHeader(capture, bytes, name);
    uint64_t lastMicros = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < chunkHeadSize) {
            capture.lastChunkCutShort = true;
            capture.cutShortOffset = at;
            break;
        }
        CaptureChunk chunk;
        chunk.kind = bytes[at];
        chunk.micros = littleEndian(bytes, at + 1, 8);
        chunk.offset = at;
        const uint64_t length = littleEndian(bytes, at + 9, 4);
        if (!knownKind(chunk.kind)) refuse(name, at, "damaged chunk: unknown kind");
        if (length > maxChunkBytes) refuse(name, at, "damaged chunk: claims " + std::to_string(length) + " bytes");
        if (chunk.micros < lastMicros) refuse(name, at, "time stamp goes backwards");
        const bool events = chunk.kind == 'T' || chunk.kind == 'L' || chunk.kind == 'O';
        if (events && length != 0) refuse(name, at, "damaged chunk: an event with bytes");
        const std::size_t available = bytes.size() - at - chunkHeadSize;
        if (length > available) {
            capture.lastChunkCutShort = true;
            capture.cutShortOffset = at;
        }
        const std::size_t taken = length > available ? available : static_cast<std::size_t>(length);
        chunk.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + chunkHeadSize),
                           bytes.begin() + static_cast<std::ptrdiff_t>(at + chunkHeadSize + taken));
        lastMicros = chunk.micros;
        capture.chunks.push_back(std::move(chunk));
        at += chunkHeadSize + taken;
    }
    return capture;
}

Capture readCapture(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw CaptureError("cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return parseCapture(bytes.str(), path);
}

} // namespace is900sim
