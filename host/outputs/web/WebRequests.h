// What the web view's POST requests do with their JSON bodies: the fits that
// align a room by pointing (they compute option lines and write nothing), and
// a write of a device's corrections into the configuration file.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/outputs/web/ConfigWriter.h"

#include <functional>
#include <string>

// An HTTP status and a JSON body; a refusal's body is {"error": WHY}.
struct WebReply {
    int status = 200;
    std::string body;
};

WebReply errorReply(int status, const std::string& why);

// The device a request names, as it runs; false when there is none.
using DeviceLookup = std::function<bool(const std::string& name, DeviceSection& device)>;

// The fits: a malformed body is refused with 400; what a fit cannot use, an
// unknown device or a station that cannot be aligned with 422.
// /align/room: {"device","station","points":[{"room":[x,y,z] metres,"poses":[[x,y,z,azim,elev,roll]...]}...]}
// gives {"lines","residualsMm","rmsMm","rotation","translation"} (feet, p' = p . R + t).
WebReply alignRoom(const std::string& body, const DeviceLookup& devices);
// /align/pivot: {"device","station","poses":[...]} gives {"line","tipMm","rmsMm"}.
WebReply alignPivot(const std::string& body, const DeviceLookup& devices);
// /align/eyes: {"device","station","eyes":[{"head":[poses],"tip":[poses]}, right eye alike]} gives
// {"eyesMm":[left, right],"line"}: the head sensor's offset to the point between the eyes.
WebReply alignEyes(const std::string& body, const DeviceLookup& devices);

// /config: {"device","lines":[...]} written through writer; written is told
// of each write before the reply {"written": FILE, "backup": FILE.N}.
WebReply writeConfig(const std::string& body, const DeviceLookup& devices, ConfigWriter& writer,
                     const std::function<void(const ConfigWritten&)>& written);
