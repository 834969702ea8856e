// The client's reader of the device directory, from the bytes on the wire:
// a 4-byte encapsulation header (XCDR1 or XCDR2, either byte order) and a
// serialized HostEntry. Bytes Cyclone DDS would refuse are dropped as it
// drops them; what it accepts is decoded and read as the client reads it.
// An entry is taken whole, with the devices it names, or refused whole.
#include "DirectoryEntry.h"
#include "FuzzHost.h"

#include <dds/ddsi/ddsi_cdrstream.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace is900::hostkit;

namespace {

// The encapsulation identifiers of CDR (0, 1), PL_CDR (2, 3), CDR2 (6, 7),
// D_CDR2 (8, 9) and PL_CDR2 (10, 11); an odd one is little-endian.
bool readEncapsulation(const uint8_t* header, uint32_t& xcdrVersion, bool& littleEndian) {
    const unsigned identifier = header[0] << 8 | header[1];
    if (identifier > 11 || identifier == 4 || identifier == 5) return false;
    xcdrVersion = identifier < 4 ? 1 : 2;
    littleEndian = identifier & 1;
    return true;
}

void checkAccepted(const is900_dds_HostEntry& entry, const std::vector<DeviceInfo>& devices) {
    FUZZ_CHECK(entry.version == directoryVersion, "an entry of version %u read", entry.version);
    FUZZ_CHECK(devices.size() == entry.devices._length, "%zu of %u devices read", devices.size(), entry.devices._length);
    for (const DeviceInfo& device : devices) {
        FUZZ_CHECK(!device.name.empty() && device.host == entry.host && device.pid == entry.pid, "a device unnamed or of another host");
        FUZZ_CHECK(knownState(device.state.c_str()), "state %s", device.state.c_str());
        for (const TrackerInfo& tracker : device.trackers)
            FUZZ_CHECK(tracker.recordId != 0 && !tracker.unit.empty() && !tracker.frame.empty(), "a tracker without ID, unit or frame");
        for (const ControllerInfo& controller : device.controllers)
            FUZZ_CHECK(controller.recordId != 0, "a controller without an ID");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t xcdrVersion;
    bool littleEndian;
    if (size <= 4 || size > (1u << 20) || !readEncapsulation(data, xcdrVersion, littleEndian)) return 0;
    const uint32_t length = static_cast<uint32_t>(size - 4);
    std::vector<char> payload(data + 4, data + size);
    const bool swap = littleEndian != (DDSRT_ENDIAN == DDSRT_LITTLE_ENDIAN);
    const uint32_t* ops = is900_dds_HostEntry_desc.m_ops;
    uint32_t offset = 0;
    if (dds_stream_normalize_data(payload.data(), &offset, length, swap, xcdrVersion, ops) == nullptr) return 0;

    dds_istream_t stream;
    dds_istream_init(&stream, length, payload.data(), xcdrVersion);
    is900_dds_HostEntry entry;
    std::memset(&entry, 0, sizeof entry);
    dds_stream_read(&stream, reinterpret_cast<char*>(&entry), ops);
    std::vector<DeviceInfo> devices{DeviceInfo()};
    if (readHostEntry(entry, devices)) checkAccepted(entry, devices);
    else FUZZ_CHECK(devices.empty(), "a refused entry left %zu devices", devices.size());
    dds_stream_free_sample(&entry, ops);
    dds_istream_fini(&stream);
    return 0;
}
