// Everything a run observed, kept for the expectations of a scenario.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/host/event_queue.h"
#include "sim/host/sim_xml.h"

namespace sim {

// One message the module handed to the host's send callback.
struct RequestRecord {
    Millis at = 0;
    std::string name;     // method or event name ("" when unreadable)
    bool isEvent = false; // sent under VORTAXIS_EVENT (journal entries, answers to the POS)
    XmlElement element;   // the method or event element
    XmlElement envelope;  // the whole message
    std::int32_t result = 0;
    std::int32_t capacity = 0; // reply capacity the module offered
    int startup = 0;           // number of the Startup call it was sent from; 0 outside Startup
};

// One message the host delivered to OnReceive_v2.
struct DeliveryRecord {
    Millis at = 0;
    std::string name;
    std::int32_t returned = 0;
    std::string reply;
};

struct StartupCall {
    std::int32_t result = 0;
    std::string versionWritten; // the seven bytes at offset 36
    bool byteAfterVersionKept = true;
};

// One gateway message as the gateway received it.
struct GatewayMessage {
    Millis at = 0;
    std::string kind;       // the request's type ("?" when unreadable)
    nlohmann::json json;    // null when unreadable
    XmlElement hostRequest; // the SendHostMessage element
};

struct PrintedReceipt {
    Millis at = 0;
    std::string text;
    std::string printer;
    std::string type;
};

struct RunRecord {
    std::vector<RequestRecord> requests;
    std::vector<DeliveryRecord> deliveries;
    std::vector<StartupCall> startups;
    std::vector<GatewayMessage> gateway;
    std::vector<XmlElement> results;      // TransactionEvents handed over with DllEndTransaction
    std::vector<RequestRecord> posEvents; // events the module addressed to the POS or others
    std::vector<PrintedReceipt> receipts;
    std::vector<std::string> journal;
    std::vector<std::string> traces;
    std::vector<std::string> pinpadScreens; // each screen as drawn
    std::vector<std::string> posScreens;
    std::vector<std::string> violations; // the module broke the host protocol
    std::vector<std::string> problems;   // a scenario action could not be carried out
};

} // namespace sim
