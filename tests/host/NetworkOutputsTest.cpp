// The network outputs behind the hub, in-process: OSC addresses, and the web
// view's files and event stream.
#include "host/outputs/OscOutput.h"
#include "host/outputs/OutputHub.h"
#ifdef IS900_HOST_WEB
#include "host/outputs/web/WebView.h"
#include <httplib.h>
#endif

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

} // namespace

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
