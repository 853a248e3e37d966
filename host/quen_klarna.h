// The single extension object. Its member functions are the handlers the
// host's messages are dispatched to; it owns the extension's working state.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "documents/xml_node.h"
#include "host/host_bridge.h"
#include "transaction/request_origin.h"

class QuenKlarna {
  public:
    using Member = std::int32_t (QuenKlarna::*)(xmlDoc&, xmlNode&, std::string&);

    // The bridge every request of this object goes through; it must outlive
    // this object.
    explicit QuenKlarna(HostBridge& hostBridge);
    QuenKlarna(const QuenKlarna&) = delete;
    QuenKlarna& operator=(const QuenKlarna&) = delete;

    HostBridge& bridge;
    std::string extensionName; // "Klarna" after start-up
    std::string hostGivenName; // from the startup record, empty when none
    xmlNode applicationStatus; // AppName and Version for DllApplicationStatusUpdate
    Settings settings;         // loaded at start-up and on RefreshSettings
    RequestOrigin origin;      // printer "PINPAD", pinpad offline until PinpadNotify

    // A handler calling the given member function on this object.
    Handler handler(Member member);

    // Fall-back handlers: a debug label and the whole document, then the result.
    std::int32_t onDefaultMethod(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onDefaultEvent(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onDefaultNonStandard(xmlDoc& document, xmlNode& element, std::string& reply);

    // PinpadNotify: PinpadOnline "1" sets the pinpad-online flag, "0" clears
    // it, anything else (or no such child) leaves it. Returns 1.
    std::int32_t onPinpadNotify(xmlDoc& document, xmlNode& element, std::string& reply);
    // RefreshSettings: traces "Updating Settings", then reloads the settings
    // from the host. Returns 1.
    std::int32_t onRefreshSettings(xmlDoc& document, xmlNode& element, std::string& reply);
};
