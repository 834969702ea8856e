// The host's entry in the directory of devices on rt/<prefix>/devices:
// reliable and transient local, keyed by host name and process ID, so a
// reader that starts late gets every running host's entry. It is written at
// start and at every change, and unregistered when the host ends. Another
// host's entry under the same prefix draws one warning per host.
#pragma once

#include "host/outputs/DdsDevices.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class DdsDirectory {
public:
    // Throws std::runtime_error when the topic cannot be created.
    DdsDirectory(int32_t participant, const std::string& prefix, const std::string& frame);
    ~DdsDirectory();
    DdsDirectory(const DdsDirectory&) = delete;
    DdsDirectory& operator=(const DdsDirectory&) = delete;

    void publish(const std::vector<DdsDevice>& devices);
    // Takes the entry off the directory.
    void withdraw();
    const std::string& hostName() const { return host; }
    int32_t processId() const { return pid; }

private:
    static void readOthers(int32_t reader, void* self);

    std::string prefix;
    std::string frame;
    std::string host;
    int32_t pid;
    int32_t writer = 0;
    int32_t reader = 0;
    std::mutex mutex;
    std::set<std::pair<std::string, int32_t>> warned;
    bool withdrawn = false;
};
