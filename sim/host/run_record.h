// Everything a run observed, kept for the expectations of a scenario.
#pragma once

#include <cstddef>
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

// What the gateway did with money, in its own book: an order captured, a
// refund paid, a capture undone. message is the index in RunRecord::gateway
// of the request that moved it.
struct MoneyMove {
    enum class Kind { capture, refund, reversal };
    Kind kind = Kind::capture;
    std::string orderid;
    std::int64_t amount = 0;
    std::string currency;
    std::int64_t stan = -1; // of the request; a reversal's is the stan of what it undoes
    std::size_t message = 0;
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
    std::vector<MoneyMove> money;         // the gateway's book
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

// The request a message text holds (name, element, envelope); false with the
// reason when it has no method or event. Result, time and capacity are the
// caller's.
bool readRequest(const std::string& text, RequestRecord& record, std::string& error);
// The gateway message a SendHostMessage element carries.
GatewayMessage gatewayMessageOf(const XmlElement& sendHostMessage, Millis at);
// The name of the message a host delivers (the first element of its
// VORTAXIS_EVENT or VORTAXIS_METHOD), or "raw".
std::string deliveredName(const std::string& message);

} // namespace sim
