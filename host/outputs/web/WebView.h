// The live view of the tracking space: serves one page, its assets and a
// Server-Sent Events stream of the host's JSON lines to a few browsers. An
// output of the hub: the thread that sends turns each record into a line and
// writes it, without waiting, to every viewer that keeps up. A viewer whose
// socket is full gets a bounded queue and its own thread writes what waits;
// one that falls further behind is dropped.
#pragma once

#include "host/outputs/Output.h"

#include <cstddef>
#include <memory>
#include <string>

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

private:
    struct State;
    std::unique_ptr<State> state;
};

// The asset folder beside an executable: ../share/is900/web relative to its
// folder, as laid out in the build tree and in an installed tree alike.
std::string webAssetFolder();

// The file under assetFolder that a request's (decoded) path names, or an
// empty string when the path is not one of the page's plain names: every
// segment of letters, digits, '.', '-' and '_', none starting with '.'.
std::string webAssetPath(const std::string& assetFolder, const std::string& requestPath);
