// The live view of the tracking space: serves one page, its assets and a
// Server-Sent Events stream of the host's JSON lines to a few browsers. An
// output of the hub: the thread that sends turns each record into a line and
// writes it, without waiting, to every viewer that keeps up. A viewer whose
// socket is full gets a bounded queue and its own thread writes what waits;
// one that falls further behind is dropped.
// Its POST requests fit a room's alignment from poses a page collected, and,
// when allowed, write a device's corrections into the configuration file.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/outputs/Output.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ConfigWriter;

class WebView : public Output {
public:
    static const std::size_t maxViewers = 16;

    // Serves assetFolder at "/" and the stream at "/events".
    explicit WebView(std::string assetFolder);
    ~WebView() override; // stops the server and ends every stream
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    // Binds "[ADDRESS:]PORT" (127.0.0.1 unless an address is given; port 0
    // picks a free one) and starts serving. False with errorText() set when
    // the address is bad or the port cannot be had.
    bool start(const std::string& where);
    std::string url() const; // http://ADDRESS:PORT/
    std::string errorText() const;

    // One JSON object (without line end). key names what the line describes,
    // so a viewer that connects later first gets the newest line of each key.
    void publish(const std::string& key, const std::string& jsonLine);
    bool send(const PublishedRecord& record) override;
    void sendStatus(const DeviceStatus& status) override;
    void sendQuality(const is900::hostkit::DeviceQuality& quality) override;
    bool lossless() const override { return false; }
    // A full viewer's events wait in its queue, for its own thread.
    bool mayWait() const override { return false; }
    std::string describe() const override { return "web view " + url(); }
    std::size_t viewerCount() const;

    // The devices that POST /align/... and /config name, with the option
    // lines and set-ups they run with; a write replaces its device's.
    void serveDevices(const std::vector<DeviceSection>& devices);
    // Before start: lets POST /config write through writer, for requests
    // that carry the token in the header X-Is900-Token and come from the
    // view's own page to its own address; restart then brings the device up
    // with its new option lines. Without it POST /config is refused (403).
    using RestartDevice = std::function<void(const std::string& device, const std::vector<OptionLine>& options)>;
    void allowConfigWrites(std::unique_ptr<ConfigWriter> writer, const std::string& token, RestartDevice restart);

private:
    struct State;
    std::unique_ptr<State> state;
};

// The address of "[ADDRESS:]PORT": 127.0.0.1 when it gives none.
std::string webAddress(const std::string& where);

// The asset folder beside an executable: ../share/is900/web relative to its
// folder, as laid out in the build tree and in an installed tree alike.
std::string webAssetFolder();

// The file under assetFolder that a request's (decoded) path names, or an
// empty string when the path is not one of the page's plain names: every
// segment of letters, digits, '.', '-' and '_', none starting with '.'.
std::string webAssetPath(const std::string& assetFolder, const std::string& requestPath);
