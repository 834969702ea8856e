// The network outputs behind the hub, in-process: OSC addresses, and the web
// view's files and event stream.
#include "host/outputs/OscOutput.h"
#include "host/outputs/OutputHub.h"
#ifdef IS900_HOST_WEB
#include "host/outputs/web/WebView.h"
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#endif

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <vector>

namespace {

RecordView recordAt(RecordKind kind, uint32_t id, int station) {
    RecordView view;
    view.kind = kind;
    view.id = id;
    view.station = station;
    view.device = "wand-room";
    view.buttons = {true, false};
    view.valuators = {0.5f};
    return view;
}

int collectPath(const char* path, const char*, lo_arg**, int, lo_message, void* paths) {
    static_cast<std::vector<std::string>*>(paths)->push_back(path);
    return 0;
}

} // namespace

TEST(NetworkOutputs, OscAddressesCarryTheRecordIdNotTheStation) {
    std::vector<std::string> paths;
    lo_server server = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    ASSERT_NE(server, nullptr);
    lo_server_add_method(server, nullptr, nullptr, collectPath, &paths);
    {
        OutputHub hub;
        hub.add(std::unique_ptr<Output>(new OscOutput("osc.udp://127.0.0.1:" + std::to_string(lo_server_get_port(server)))));
        hub.publish("wand-room", recordAt(RecordKind::tracker, 2, 5));
        hub.publish("wand-room", recordAt(RecordKind::controller, 1, 7));
    }
    while (paths.size() < 2 && lo_server_recv_noblock(server, 5000) > 0) {
    }
    lo_server_free(server);
    EXPECT_EQ(paths, (std::vector<std::string>{"/is900/tracker/2", "/is900/controller/1"}));
}

#ifdef IS900_HOST_WEB
namespace {

// A page folder with one asset below it and a file beside it that must stay unreachable.
struct PageFolder {
    std::string root = "/tmp/is900-web-test-" + std::to_string(getpid());
    std::string pages = root + "/pages";
    PageFolder() {
        mkdir(root.c_str(), 0700);
        mkdir(pages.c_str(), 0700);
        mkdir((pages + "/vendor").c_str(), 0700);
        std::ofstream(pages + "/index.html") << "<html>page</html>";
        std::ofstream(pages + "/vendor/lib.js") << "export {};";
        std::ofstream(pages + "/.hidden") << "hidden";
        std::ofstream(root + "/secret.txt") << "SECRET";
    }
    ~PageFolder() { std::system(("rm -rf " + root).c_str()); }
};

// A viewer of the event stream on a bare socket with a small receive
// buffer, so that the web view's socket to it fills soon.
struct BareViewer {
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string received;
    std::atomic<std::size_t> size{0};

    explicit BareViewer(int port) {
        const int small = 4096;
        setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const timeval patience{10, 0}; // a stream cut short fails the test instead of hanging it
        setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        const std::string request = "GET /events HTTP/1.1\r\nHost: test\r\n\r\n";
        ::send(socket, request.data(), request.size(), MSG_NOSIGNAL);
    }
    ~BareViewer() { close(socket); }

    // The stream after the response's header, once it holds length bytes or has ended.
    std::string stream(std::size_t length) {
        char buffer[65536];
        ssize_t count;
        std::size_t body;
        while (((body = received.find("\r\n\r\n")) == std::string::npos || received.size() < body + 4 + length) &&
               (count = ::read(socket, buffer, sizeof buffer)) > 0)
            size = received.append(buffer, static_cast<std::size_t>(count)).size();
        return body == std::string::npos ? std::string() : received.substr(body + 4);
    }
};

template <typename Condition> bool waitFor(Condition condition) {
    for (int n = 0; n < 5000 && !condition(); ++n) usleep(1000);
    return condition();
}

} // namespace

// Events go to a viewer's socket directly while it takes them and through
// the viewer's queue when it is full; the stream is the same either way.
TEST(NetworkOutputs, AViewerGetsEveryEventInOrderWhileAnotherThatStopsReadingIsDropped) {
    PageFolder folder;
    WebView web(folder.pages);
    ASSERT_TRUE(web.start("0")) << web.errorText();
    const int port = std::atoi(web.url().substr(web.url().rfind(':') + 1).c_str());
    BareViewer stalled(port), reader(port);
    ASSERT_TRUE(waitFor([&] { return web.viewerCount() == 2; }));

    // The reader starts late: its socket fills and the rest waits in its
    // queue, then events go to it directly again.
    const std::size_t count = 3000, eventSize = 4017;
    std::string expected;
    for (std::size_t n = 0; n < count; ++n)
        expected += "data: {\"n\":" + std::to_string(n + 1000) + ",\"pad\":\"" + std::string(3990, 'x') + "\"}\n\n";
    ASSERT_EQ(expected.size(), count * eventSize);
    std::string got;
    std::thread reading;
    for (std::size_t n = 0; n < count; ++n) {
        web.publish("tracker", expected.substr(n * eventSize + 6, eventSize - 8));
        if (n == count / 2) reading = std::thread([&] { got = reader.stream(expected.size()); });
        if (n > count / 2 && n % 100 == 0) waitFor([&] { return reader.size + 1000 * eventSize > n * eventSize; });
    }
    reading.join();
    EXPECT_TRUE(got == expected) << "the stream differs from the events published";

    ASSERT_TRUE(waitFor([&] { return web.viewerCount() == 1; })) << "a viewer that stopped reading was kept";
    const std::string partial = stalled.stream(expected.size());
    EXPECT_FALSE(partial.empty());
    EXPECT_EQ(expected.compare(0, partial.size(), partial), 0) << "a stalled viewer got a broken stream";
}

TEST(NetworkOutputs, TheWebViewServesOnlyItsPagesFilesAndStreamsWhatTheHubPublishes) {
    PageFolder folder;
    OutputHub hub;
    WebView* web = new WebView(folder.pages);
    ASSERT_TRUE(web->start("0")) << web->errorText();
    const int port = std::atoi(web->url().substr(web->url().rfind(':') + 1).c_str());
    hub.add(std::unique_ptr<Output>(web));

    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    const auto page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body, "<html>page</html>");
    const auto script = client.Get("/vendor/lib.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript");
    for (const char* path : {"/%2e%2e/secret.txt", "/vendor/%2E%2E/%2e%2e/secret.txt", "/..%2fsecret.txt",
                             "/vendor/..%2f..%2fsecret.txt", "/.hidden", "/vendor/", "/vendor"}) {
        const auto refused = client.Get(path);
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 404) << path;
        EXPECT_EQ(refused->body.find("SECRET"), std::string::npos) << path;
    }

    // A viewer that connects later first gets the newest line of each record.
    hub.publish("wand-room", recordAt(RecordKind::tracker, 3, 6));
    hub.close();
    std::string stream;
    client.Get("/events", [&](const char* data, std::size_t length) {
        stream.append(data, length);
        return stream.find("\n\n") == std::string::npos;
    });
    EXPECT_EQ(stream.compare(0, 6, "data: "), 0) << stream;
    EXPECT_NE(stream.find("\"id\":3,\"station\":6"), std::string::npos) << stream;
    EXPECT_NE(stream.find("\"device\":\"wand-room\""), std::string::npos) << stream;
}
#endif
