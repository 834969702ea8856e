// is900-host --allow-config-write seen from outside: the token it prints,
// the writes it refuses with the file untouched, a write that lands with its
// backup and brings the device up again, and hosts that write nothing.
#include "common/ChildProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const std::string host = "./is900-host";

const std::string original = "# the lab\n"
                             "sensors 1 1   # head, wand\n"
                             "controllers 0 1\n"
                             "transmitteroffset 0 0 0.5  # measured last year\n"
                             "sensorrotation 2 0 0 1 90\n"
                             "\n"
                             "# end\n";

const std::string written = "# the lab\n"
                            "sensors 1 1   # head, wand\n"
                            "controllers 0 1\n"
                            "transmitteroffset 1.5 0 -0.25 m\n"
                            "transmitterrotation 0 1 0 90\n"
                            "sensorrotation 2 0 0 1 90\n"
                            "sensoroffset 2 0 0 0.1 m\n"
                            "\n"
                            "# end\n";

std::string fileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string writeRequest(const std::string& lines) { return "{\"device\":\"is900\",\"lines\":[" + lines + "]}"; }

// What follows lead up to end in the host's standard error, once it is there.
std::string startLine(ChildProcess& child, const std::string& lead, char end) {
    std::string value;
    child.waitUntil(
        [&] {
            const std::size_t begin = child.errors().find(lead);
            if (begin == std::string::npos) return false;
            const std::size_t stop = child.errors().find(end, begin + lead.size());
            if (stop == std::string::npos) return false;
            value = child.errors().substr(begin + lead.size(), stop - begin - lead.size());
            return true;
        },
        15000);
    return value;
}

int webPort(ChildProcess& child) { return std::atoi(startLine(child, "web view at http://127.0.0.1:", '/').c_str()); }

httplib::Result post(int port, const std::string& path, const httplib::Headers& headers, const std::string& body) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10, 0);
    return client.Post(path.c_str(), headers, body, "application/json");
}

// A status line of that state in what the host printed from `from` on; npos when none.
std::size_t stateAfter(const std::string& output, std::size_t from, const std::string& state) {
    return from == std::string::npos ? from : output.find("\"type\":\"status\",\"device\":\"is900\",\"state\":\"" + state, from);
}

} // namespace

TEST(ConfigWriteProcess, OnlyATokenedRequestOfTheViewsOwnPageWritesAndTheDeviceComesUpWithTheNewLines) {
    const std::string path = writeTempFile("config-write.cfg", original);
    // Without -q: the device's report at init names the corrections it runs with.
    ChildProcess child({host, "--simulate", "-c", path, "--web", "127.0.0.1:0", "--allow-config-write", "--format",
                        "jsonl"});
    const int port = webPort(child);
    const std::string token = startLine(child, "configuration writes need the header X-Is900-Token: ", '\n');
    ASSERT_GT(port, 0) << child.errors();
    ASSERT_EQ(token.size(), 32u) << child.errors();
    ASSERT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
    ASSERT_TRUE(child.waitForLine([](const std::string& line) { return contains(line, "\"state\":\"streaming\""); }, 15000));

    const std::string own = "127.0.0.1:" + std::to_string(port);
    const std::string lines = "\"transmitteroffset 1.5 0 -0.25 m\",\"transmitterrotation 0 1 0 90\","
                              "\"sensoroffset 2 0 0 0.1 m\"";
    std::string wrongToken = token;
    wrongToken.back() = wrongToken.back() == '0' ? '1' : '0';
    const httplib::Headers tokened{{"X-Is900-Token", token}};
    struct Refused {
        httplib::Headers headers;
        std::string body;
        int status;
        std::string why;
    };
    const std::vector<Refused> refusals = {
        {{}, writeRequest(lines), 403, "X-Is900-Token is missing or wrong"},
        {{{"X-Is900-Token", wrongToken}}, writeRequest(lines), 403, "X-Is900-Token is missing or wrong"},
        {{{"X-Is900-Token", token}, {"Origin", "http://evil.example"}}, writeRequest(lines), 403,
         "a page from http://evil.example may not write"},
        {{{"X-Is900-Token", token}, {"Host", "evil.example:" + std::to_string(port)}}, writeRequest(lines), 403,
         "addressed to 'evil.example"},
        {tokened, writeRequest("\"cavecoord on\""), 400, "only transmitteroffset"},
        {tokened, writeRequest("\"sensoroffset 2 0 0 101 m\""), 400, "101 is outside -100 to 100"},
        {tokened, writeRequest("\"sensoroffset 3 0 0 1 m\""), 400, "station 3 is not a tracker station"},
    };
    for (const Refused& refusal : refusals) {
        const httplib::Result reply = post(port, "/config", refusal.headers, refusal.body);
        ASSERT_TRUE(reply) << refusal.why;
        EXPECT_EQ(reply->status, refusal.status) << reply->body;
        EXPECT_TRUE(contains(reply->body, refusal.why)) << reply->body;
        EXPECT_EQ(fileText(path), original) << refusal.why;
    }
    const std::string edited = original + "# edited meanwhile\n";
    std::ofstream(path, std::ios::binary) << edited;
    const httplib::Result changed = post(port, "/config", tokened, writeRequest(lines));
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->status, 409);
    EXPECT_TRUE(contains(changed->body, "was changed since the host read it")) << changed->body;
    EXPECT_EQ(fileText(path), edited);
    std::ofstream(path, std::ios::binary) << original;

    const httplib::Result collinear = post(
        port, "/align/room", {},
        R"({"device":"is900","station":1,"points":[{"room":[0,0,0],"poses":[[0,0,0,0,0,0],[0,0,0,0,0,0]]},)"
        R"({"room":[1,0,0],"poses":[[1,0,0,0,0,0],[1,0,0,0,0,0]]},{"room":[2,0,0],"poses":[[2,0,0,0,0,0],[2,0,0,0,0,0]]}]})");
    ASSERT_TRUE(collinear);
    EXPECT_EQ(collinear->status, 422);
    EXPECT_TRUE(contains(collinear->body, "collinear")) << collinear->body;

    const std::size_t before = child.output().size();
    EXPECT_FALSE(contains(child.errors(), "SENSOR OFFSET"));
    const httplib::Result accepted =
        post(port, "/config", {{"X-Is900-Token", token}, {"Origin", "http://" + own}}, writeRequest(lines));
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->status, 200) << accepted->body;
    EXPECT_TRUE(contains(accepted->body, "\"backup\":\"" + path + ".1\"")) << accepted->body;
    EXPECT_EQ(fileText(path + ".1"), original);
    EXPECT_EQ(fileText(path), written);
    // Brought up again: a bring-up after the write, then streaming and records again.
    EXPECT_TRUE(child.waitUntil(
        [&] {
            const std::string& out = child.output();
            return out.find("{\"type\":\"tracker\"", stateAfter(out, stateAfter(out, before, "starting"), "streaming")) !=
                   std::string::npos;
        },
        15000))
        << child.errors();
    const std::size_t restarted = child.errors().find("bringing it up again with its rewritten option lines");
    ASSERT_NE(restarted, std::string::npos) << child.errors();
    EXPECT_NE(child.errors().find("SENSOR OFFSET         : 2", restarted), std::string::npos) << child.errors();
    child.sendSignal(SIGTERM);
    EXPECT_EQ(child.waitForExit(15000), 0) << child.errors();

    ChildProcess withoutFlag({host, "--simulate", "-c", path, "--web", "127.0.0.1:0", "--format", "jsonl", "-q"});
    const int otherPort = webPort(withoutFlag);
    ASSERT_GT(otherPort, 0) << withoutFlag.errors();
    const httplib::Result off = post(otherPort, "/config", tokened, writeRequest(lines));
    ASSERT_TRUE(off);
    EXPECT_EQ(off->status, 403);
    EXPECT_TRUE(contains(off->body, "configuration writes are off")) << off->body;
    EXPECT_EQ(fileText(path), written);

    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"-c", path, "--web", "0.0.0.0:0"}, std::vector<std::string>{"--web", "127.0.0.1:0"},
          std::vector<std::string>{"-c", path}}) {
        std::vector<std::string> command{host, "--simulate", "--allow-config-write"};
        command.insert(command.end(), refused.begin(), refused.end());
        ChildProcess start(command);
        EXPECT_EQ(start.waitForExit(10000), 2);
        EXPECT_TRUE(contains(start.errors(), "--allow-config-write needs -c FILE and --web bound to a loopback address"))
            << start.errors();
    }
    std::remove(path.c_str());
    std::remove((path + ".1").c_str());
}
