#include "host/outputs/web/WebView.h"

#include "host/outputs/web/ConfigWriter.h"
#include "host/outputs/web/WebLines.h"
#include "host/outputs/web/WebRequests.h"
#include "is900/hostkit/LibraryLoader.h"
#include "is900/hostkit/RecordSchema.h"

#include "host/platform/HostPlatform.h"
#include "host/platform/Network.h"

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace {

const std::size_t viewerQueueLimit = 2048; // lines; a viewer further behind is dropped
const std::size_t serverWorkers = WebView::maxViewers + 8;
const std::size_t largestRequestBytes = 4 << 20; // poses of a few minutes at 120 Hz
const int forbidden = 403;
// A stream with nothing to say sends a comment this often, so that a viewer
// that left is noticed and its place freed.
const auto keepAliveInterval = std::chrono::seconds(15);

// One event of the stream, "data: <JSON line>" and a blank line, shared by
// every viewer it goes to.
using Event = std::shared_ptr<const std::string>;

// A viewer's stream has two writers that take turns. While the viewer keeps
// up, the thread that publishes writes each event to the connection's socket
// itself, without waiting, as soon as it is published. When the socket is
// full, what it did not take, and every event after, waits for the viewer's
// own thread, which writes through the library and may wait for the viewer.
struct Viewer {
    std::mutex mutex;
    std::condition_variable ready;
    std::string unsent; // the rest of an event the socket took only in part
    std::deque<Event> queue;
    int socket = -1;      // set while the stream is open and may be written to directly
    bool writing = false; // the viewer's thread is writing
    bool dropped = false;

    void offer(const Event& event) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (dropped) return;
            if (socket >= 0 && !writing && queue.empty() && unsent.empty()) {
                if (writeNow(*event)) return;
            } else if (queue.size() >= viewerQueueLimit) {
                dropped = true;
                queue.clear();
            } else {
                queue.push_back(event);
            }
        }
        ready.notify_one();
    }

    // True when the socket took the whole event; otherwise the rest is left
    // for the viewer's thread, or the viewer is dropped when it is gone.
    bool writeNow(const std::string& event) {
        const hostplatform::SocketWrite write = hostplatform::writeWithoutWaiting(socket, event);
        if (write.sent == event.size()) return true;
        if (write.failed) dropped = true;
        else unsent = event.substr(write.sent);
        return false;
    }

    // On the viewer's thread: waits a while for events and takes them all,
    // or a keep-alive comment when none came; false once the viewer is dropped.
    // The stream's headers are out by now, so events may go to the socket directly.
    bool take(std::string& chunk, int connection) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!dropped) socket = connection;
        ready.wait_for(lock, keepAliveInterval, [this] { return dropped || !queue.empty() || !unsent.empty(); });
        chunk.swap(unsent);
        for (const Event& event : queue) chunk += *event;
        queue.clear();
        if (chunk.empty()) chunk = ": keep-alive\n\n";
        writing = true;
        return !dropped;
    }

    void wrote() {
        std::lock_guard<std::mutex> lock(mutex);
        writing = false;
    }

    // Before the library closes the socket: nothing may be written to it after.
    void drop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            dropped = true;
            socket = -1;
        }
        ready.notify_one();
    }
};

// The socket of the request's connection: the library does not hand it out.
int connectionSocket(const httplib::Request& request) {
    return hostplatform::connectionSocket(request.remote_addr, request.remote_port, request.local_addr,
                                          request.local_port);
}

bool splitAddress(const std::string& where, std::string& address, int& port) {
    const std::size_t colon = where.rfind(':');
    address = webAddress(where);
    const std::string number = colon == std::string::npos ? where : where.substr(colon + 1);
    if (address.empty() || number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(number);
    return port <= 65535;
}

bool plainSegment(const std::string& segment) {
    return !segment.empty() && segment[0] != '.' &&
           segment.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") ==
               std::string::npos;
}

std::string contentType(const std::string& path) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html"}, {".css", "text/css"}, {".js", "text/javascript"},
        {".json", "application/json"}, {".png", "image/png"}, {".svg", "image/svg+xml"}};
    const std::size_t dot = path.rfind('.');
    const auto type = types.find(dot == std::string::npos ? std::string() : path.substr(dot));
    return type == types.end() ? "text/plain" : type->second;
}

bool readFile(const std::string& path, std::string& content) {
    if (hostplatform::pathKind(path) != hostplatform::PathKind::file) return false;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    content = text.str();
    return static_cast<bool>(file);
}

void reply(httplib::Response& response, const WebReply& reply) {
    response.status = reply.status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(reply.body, "application/json");
}

// Compares in a time that tells nothing of where the texts differ.
bool sameSecret(const std::string& given, const std::string& secret) {
    unsigned char differ = given.size() != secret.size();
    for (std::size_t i = 0; i < secret.size(); ++i)
        differ |= static_cast<unsigned char>(secret[i] ^ (i < given.size() ? given[i] : 0));
    return differ == 0;
}

} // namespace

std::string webAssetPath(const std::string& assetFolder, const std::string& requestPath) {
    const std::string path = requestPath == "/" ? "/index.html" : requestPath;
    if (path.empty() || path[0] != '/') return std::string();
    for (std::size_t begin = 1; begin <= path.size();) {
        const std::size_t end = std::min(path.find('/', begin), path.size());
        if (!plainSegment(path.substr(begin, end - begin))) return std::string();
        begin = end + 1;
    }
    return assetFolder + path;
}

struct WebView::State {
    explicit State(std::string folder) : assetFolder(std::move(folder)) {}

    void route();
    void routeRequests();
    WebReply serveConfigWrite(const httplib::Request& request);
    std::string writeRefusal(const httplib::Request& request) const;
    void written(const ConfigWritten& done);
    bool findDevice(const std::string& name, DeviceSection& device) const;
    std::string hostAndPort() const;
    void serveEvents(const httplib::Request& request, httplib::Response& response);
    void serveAsset(const httplib::Request& request, httplib::Response& response) const;
    std::shared_ptr<Viewer> addViewer();
    void publish(const std::string& key, const std::string& jsonLine);

    std::string assetFolder;
    httplib::Server server;
    std::thread thread;
    std::string address;
    int port = 0;
    std::string error;

    mutable std::mutex mutex;
    std::set<std::shared_ptr<Viewer>> viewers;
    std::map<std::string, Event> newest; // by key, in key order

    mutable std::mutex devicesMutex;
    std::map<std::string, DeviceSection> devices; // by name, under devicesMutex
    std::unique_ptr<ConfigWriter> writer;         // null: writes are off
    std::string token;
    WebView::RestartDevice restart;
};

void WebView::State::publish(const std::string& key, const std::string& jsonLine) {
    const Event event = std::make_shared<const std::string>("data: " + jsonLine + "\n\n");
    std::lock_guard<std::mutex> lock(mutex);
    newest[key] = event;
    for (const auto& viewer : viewers) viewer->offer(event);
}

void WebView::State::route() {
    server.new_task_queue = [] { return new httplib::ThreadPool(serverWorkers); };
    // The library's default also shares the port (SO_REUSEPORT), which would
    // let a second host listen beside a running one; a busy port must fail.
    server.set_socket_options([](socket_t socket) { hostplatform::reuseAddressOnly(socket); });
    server.set_write_timeout(2, 0);
    // One request per connection: an idle kept-alive connection would have
    // a worker checking it many times a second.
    server.set_keep_alive_max_count(1);
    // Each line goes out at once, not held back to fill a packet.
    server.set_tcp_nodelay(true);
    server.Get("/events", [this](const httplib::Request& request, httplib::Response& response) {
        serveEvents(request, response);
    });
    server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        serveAsset(request, response);
    });
    server.set_payload_max_length(largestRequestBytes);
    routeRequests();
    const auto refuse = [](const httplib::Request&, httplib::Response& response) {
        response.status = 405;
        response.set_header("Allow", "GET, HEAD");
    };
    server.Post(".*", refuse).Put(".*", refuse).Patch(".*", refuse).Delete(".*", refuse).Options(".*", refuse);
}

void WebView::State::routeRequests() {
    const DeviceLookup lookup = [this](const std::string& name, DeviceSection& device) {
        return findDevice(name, device);
    };
    const auto fit = [lookup](WebReply (*request)(const std::string&, const DeviceLookup&)) {
        return [lookup, request](const httplib::Request& in, httplib::Response& out) {
            reply(out, request(in.body, lookup));
        };
    };
    server.Post("/align/room", fit(alignRoom)).Post("/align/pivot", fit(alignPivot)).Post("/align/eyes", fit(alignEyes));
    server.Post("/config", [this](const httplib::Request& in, httplib::Response& out) {
        reply(out, serveConfigWrite(in));
    });
}

bool WebView::State::findDevice(const std::string& name, DeviceSection& device) const {
    std::lock_guard<std::mutex> lock(devicesMutex);
    const auto found = devices.find(name);
    if (found == devices.end()) return false;
    device = found->second;
    return true;
}

WebReply WebView::State::serveConfigWrite(const httplib::Request& request) {
    if (!writer)
        return errorReply(forbidden, "configuration writes are off: the host was started without --allow-config-write");
    const std::string refusal = writeRefusal(request);
    if (!refusal.empty()) return errorReply(forbidden, refusal);
    return writeConfig(
        request.body, [this](const std::string& name, DeviceSection& device) { return findDevice(name, device); },
        *writer, [this](const ConfigWritten& done) { written(done); });
}

// A request writes only when it is addressed to the view by its own address
// or localhost (a name rebound to this machine arrives with its own Host),
// comes from the view's own page if from a page at all, and carries the token.
std::string WebView::State::writeRefusal(const httplib::Request& request) const {
    const std::string own = hostAndPort(), local = "localhost:" + std::to_string(port);
    const std::string host = request.get_header_value("Host");
    if (host != own && host != local)
        return "the request is addressed to '" + host + "', not to this view at " + own + " or " + local;
    const std::string origin = request.get_header_value("Origin");
    if (request.has_header("Origin") && origin != "http://" + own && origin != "http://" + local)
        return "a page from " + origin + " may not write the configuration";
    if (!sameSecret(request.get_header_value("X-Is900-Token"), token))
        return "the header X-Is900-Token is missing or wrong (the host printed the token on standard error at its "
               "start)";
    return "";
}

// The device runs with its new lines from now on: the page sees its new
// transmitter placement, and the control thread brings it up with them.
void WebView::State::written(const ConfigWritten& done) {
    const DeviceSection& device = done.device;
    {
        std::lock_guard<std::mutex> lock(devicesMutex);
        devices[device.name] = device;
    }
    publish("setup/" + device.name, webSetupLine(device.name, device.setup));
    restart(device.name, device.options);
}

std::string WebView::State::hostAndPort() const {
    const bool ipv6 = address.find(':') != std::string::npos;
    return (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

// Only the page's own files: the library has decoded the path, so a
// percent-encoded ".." arrives here as ".." and is refused like any other.
void WebView::State::serveAsset(const httplib::Request& request, httplib::Response& response) const {
    const std::string path = webAssetPath(assetFolder, request.path);
    std::string content;
    if (path.empty() || !readFile(path, content)) {
        response.status = 404;
        response.set_content("Not found\n", "text/plain");
        return;
    }
    response.set_header("Cache-Control", "no-cache");
    response.set_content(content, contentType(path));
}

std::shared_ptr<Viewer> WebView::State::addViewer() {
    std::lock_guard<std::mutex> lock(mutex);
    if (viewers.size() >= maxViewers) return nullptr;
    std::shared_ptr<Viewer> viewer = std::make_shared<Viewer>();
    for (const auto& entry : newest) viewer->queue.push_back(entry.second);
    viewers.insert(viewer);
    return viewer;
}

void WebView::State::serveEvents(const httplib::Request& request, httplib::Response& response) {
    std::shared_ptr<Viewer> viewer = addViewer();
    if (!viewer) {
        response.status = 503;
        response.set_content("Too many viewers\n", "text/plain");
        return;
    }
    response.set_header("Cache-Control", "no-cache");
    // The stream is the events' bytes as they are, with no chunk framing,
    // so that they may go to the socket directly; it ends when the
    // connection closes.
    response.set_content_provider(
        "text/event-stream",
        [viewer, socket = connectionSocket(request)](std::size_t, httplib::DataSink& sink) {
            std::string chunk;
            const bool alive = viewer->take(chunk, socket) && sink.write(chunk.data(), chunk.size());
            viewer->wrote();
            return alive;
        },
        [this, viewer](bool) {
            viewer->drop();
            std::lock_guard<std::mutex> lock(mutex);
            viewers.erase(viewer);
        });
}

WebView::WebView(std::string assetFolder) : state(new State(std::move(assetFolder))) {}

WebView::~WebView() {
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        for (const auto& viewer : state->viewers) viewer->drop();
    }
    state->server.stop();
    if (state->thread.joinable()) state->thread.join();
}

bool WebView::start(const std::string& where) {
    State& s = *state;
    if (!splitAddress(where, s.address, s.port)) {
        s.error = "'" + where + "' is not [ADDRESS:]PORT";
        return false;
    }
    if (!std::ifstream(s.assetFolder + "/index.html")) {
        s.error = "the web view's pages are missing: no folder " + s.assetFolder;
        return false;
    }
    s.route();
    const bool bound = s.port == 0 ? (s.port = s.server.bind_to_any_port(s.address)) > 0
                                   : s.server.bind_to_port(s.address, s.port);
    if (!bound) {
        s.error = "cannot listen on " + s.address + ":" + std::to_string(s.port) +
                  " (in use, or not an address of this machine)";
        return false;
    }
    s.thread = std::thread([&s] { s.server.listen_after_bind(); });
    return true;
}

std::string WebView::url() const { return "http://" + state->hostAndPort() + "/"; }

std::string WebView::errorText() const { return state->error; }

void WebView::publish(const std::string& key, const std::string& jsonLine) { state->publish(key, jsonLine); }

bool WebView::send(const PublishedRecord& record) {
    state->publish(webRecordKey(record.view), webRecordLine(record));
    return true;
}

void WebView::sendStatus(const DeviceStatus& status) { state->publish("status/" + status.device, statusJsonLine(status)); }

void WebView::sendQuality(const is900::hostkit::DeviceQuality& quality) {
    state->publish("quality/" + quality.device, is900::hostkit::qualityJsonLine(quality));
}

std::size_t WebView::viewerCount() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->viewers.size();
}

void WebView::serveDevices(const std::vector<DeviceSection>& devices) {
    std::lock_guard<std::mutex> lock(state->devicesMutex);
    for (const DeviceSection& device : devices) state->devices[device.name] = device;
}

void WebView::allowConfigWrites(std::unique_ptr<ConfigWriter> writer, const std::string& token,
                                RestartDevice restart) {
    state->writer = std::move(writer);
    state->token = token;
    state->restart = std::move(restart);
}

std::string webAddress(const std::string& where) {
    const std::size_t colon = where.rfind(':');
    return colon == std::string::npos ? "127.0.0.1" : where.substr(0, colon);
}

std::string webAssetFolder() { return is900::hostkit::executableFolder() + "../share/is900/web"; }
