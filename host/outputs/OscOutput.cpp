#include "host/outputs/OscOutput.h"

#include "host/platform/Network.h"

#include <lo/lo.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

// liblo takes a URL without a port, or with a name it looks up later; the
// host wants both spelled out so that a typing error shows at once.
lo_address parsedAddress(const std::string& url) {
    const std::string scheme = "osc.udp://";
    const std::size_t colon = url.rfind(':');
    if (url.compare(0, scheme.size(), scheme) != 0 || colon <= scheme.size() || colon == url.size() - 1)
        return nullptr;
    char* end = nullptr;
    const long port = std::strtol(url.c_str() + colon + 1, &end, 10);
    if (*end != '\0' && !(*end == '/' && end[1] == '\0')) return nullptr;
    if (port < 1 || port > 65535) return nullptr;
    lo_address address = lo_address_new_from_url(url.c_str());
    if (address && lo_address_get_protocol(address) != LO_UDP) {
        lo_address_free(address);
        return nullptr;
    }
    return address;
}

std::string invalidUrl(const std::string& url) {
    return "--osc " + url + " is not an OSC address of the form osc.udp://HOST:PORT";
}

} // namespace

void checkOscUrl(const std::string& url) {
    lo_address address = parsedAddress(url);
    if (!address) throw std::invalid_argument(invalidUrl(url));
    lo_address_free(address);
}

OscOutput::OscOutput(const std::string& url) : url(url), address(parsedAddress(url)) {
    if (!address) throw std::invalid_argument(invalidUrl(url));
    numeric = hostplatform::isNumericAddress(lo_address_get_hostname(static_cast<lo_address>(address)));
}

OscOutput::~OscOutput() { lo_address_free(static_cast<lo_address>(address)); }

// A processed tracker's pose goes to its usual address and the device's own
// to the same address with "/raw" after it.
bool OscOutput::send(const PublishedRecord& record) {
    const RecordView& view = record.view;
    if (view.kind == RecordKind::tracker) {
        const std::string path = "/is900/tracker/" + std::to_string(view.id);
        if (!record.processed) return sendPose(path, view.pose, view.stamp);
        return sendPose(path, record.processed->pose, view.stamp) && sendPose(path + "/raw", view.pose, view.stamp);
    }
    std::unique_ptr<void, void (*)(lo_message)> message(lo_message_new(), lo_message_free);
    const std::string path = "/is900/controller/" + std::to_string(view.id);
    int32_t bits = 0;
    for (std::size_t n = 0; n < view.buttons.size() && n < 32; ++n)
        if (view.buttons[n]) bits |= int32_t(1) << n;
    lo_message_add_int32(message.get(), bits);
    for (float value : view.valuators) lo_message_add_float(message.get(), value);
    return lo_send_message(static_cast<lo_address>(address), path.c_str(), message.get()) >= 0;
}

bool OscOutput::sendPose(const std::string& path, const float pose[6], double stamp) {
    std::unique_ptr<void, void (*)(lo_message)> message(lo_message_new(), lo_message_free);
    for (int i = 0; i < 6; ++i) lo_message_add_float(message.get(), pose[i]);
    lo_message_add_double(message.get(), stamp);
    return lo_send_message(static_cast<lo_address>(address), path.c_str(), message.get()) >= 0;
}
