#include "bench/bench_host.h"

#include <pugixml.hpp>

#include <nlohmann/json.hpp>

#include <cstring>
#include <sstream>

#include "bench/alloc_counter.h"

namespace {

BenchHost* current = nullptr;

void noHook() {}

std::string save(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, " ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

// A document in the host's envelope; returns the container to fill.
pugi::xml_node envelope(pugi::xml_document& document, const char* source, const char* container) {
    pugi::xml_node root = document.append_child("VORTAXIS_BRIDGE");
    root.append_child("VORTAXIS_SOURCE").text().set(source);
    root.append_child("VORTAXIS_DESTINATION").text().set("Klarna");
    return root.append_child(container);
}

void addFields(pugi::xml_node element, const BenchHost::Fields& fields) {
    for (const auto& field : fields) {
        element.append_child(field.first.c_str()).text().set(field.second.c_str());
    }
}

std::string syncReply(const char* name, const BenchHost::Fields& fields) {
    pugi::xml_document document;
    addFields(envelope(document, "VORTAXIS_DLL_HANDLER", "VORTAXIS_EVENT").append_child(name),
              fields);
    return save(document);
}

// The gateway's answer to one request: approved, with the members a
// gateway sends for each message type.
nlohmann::json gatewayAnswer(const nlohmann::json& request) {
    const std::string type = request.value("type", "");
    const int stan = request.value("stan", 0);
    nlohmann::json answer = {{"type", type},
                             {"stan", stan},
                             {"mt", request.value("mt", 0) + 10},
                             {"rc", "00"},
                             {"amt", request.value("amt", 0)},
                             {"currency", request.value("currency", "AUD")},
                             {"ref", request.value("ref", "")},
                             {"trackinguid", request.value("trackinguid", "")}};
    if (type == "O") {
        answer.update({{"hppsid", "HPP000001"},
                       {"paysid", "PAY000001"},
                       {"hppstatus", "WAITING"},
                       {"redirecturl", "https://pay.klarna.sim/hpp/HPP000001"},
                       {"rt", "SESSION CREATED"}});
    } else if (type == "N") {
        answer.update({{"hppsid", "HPP000001"},
                       {"paysid", "PAY000001"},
                       {"hppstatus", "COMPLETED"},
                       {"orderid", "ORD000002"},
                       {"rt", "ORDER COMPLETED"}});
    } else if (type == "P" || type == "R") {
        answer.update({{"orderid", request.value("orderid", "ORD000002")},
                       {"paydt", "2024-01-01 10:00:04"},
                       {"txref", "KTX" + std::to_string(stan)},
                       {"rt", type == "P" ? "APPROVED" : "REFUNDED"}});
        if (type == "P") {
            answer.update({{"hrc", "00"}, {"hrt", "APPROVED"}});
        } else {
            answer["refundid"] = "RFD" + std::to_string(stan);
        }
    }
    return answer;
}

std::string hostReceiveEvent(const pugi::xml_node& method) {
    const nlohmann::json request =
        nlohmann::json::parse(method.child_value("Message"), nullptr, false);
    const nlohmann::json answer = gatewayAnswer(request.is_object() ? request : nlohmann::json{});
    const std::string mtype = std::to_string(std::atoi(method.child_value("MsgType")) + 10);
    return BenchHost::eventText("HostReceiveEvent",
                                {{"Result", "00"},
                                 {"Header", "<Header>\n <MTYPE>" + mtype + "</MTYPE>\n</Header>\n"},
                                 {"MTYPE", mtype},
                                 {"Message", answer.dump()}},
                                "VORTAXIS_DLL_HANDLER");
}

std::string startTransactionEvent(const pugi::xml_node& method) {
    const pugi::xml_node transaction = method.first_child();
    pugi::xml_document document;
    const char* name = transaction.child("ReturnEventName")
                           ? transaction.child_value("ReturnEventName")
                           : "DllStartTransactionEvent";
    pugi::xml_node event =
        envelope(document, "VORTAXIS_DLL_HANDLER", "VORTAXIS_EVENT").append_child(name);
    event.append_copy(transaction);
    event.append_child("Result").text().set("00");
    return save(document);
}

} // namespace

void (*BenchHost::onEnter)() = &noHook;
void (*BenchHost::onLeave)() = &noHook;

BenchHost::BenchHost() {
    current = this;
}

BenchHost::~BenchHost() {
    current = nullptr;
}

HostSendCallback BenchHost::callback() {
    return &BenchHost::receive;
}

std::string BenchHost::eventText(const std::string& name, const Fields& fields,
                                 const char* source) {
    pugi::xml_document document;
    addFields(envelope(document, source, "VORTAXIS_EVENT").append_child(name.c_str()), fields);
    return save(document);
}

std::string BenchHost::methodText(const std::string& name, const Fields& fields,
                                  const char* source) {
    pugi::xml_document document;
    addFields(envelope(document, source, "VORTAXIS_METHOD").append_child(name.c_str()), fields);
    return save(document);
}

std::string BenchHost::posTransaction(const Fields& fields) {
    pugi::xml_document document;
    pugi::xml_node entry =
        envelope(document, "POS", "VORTAXIS_EVENT").append_child("PosDirectEntryPoint");
    addFields(entry.append_child("DoTransaction"), fields);
    entry.append_child("VORTAXIS_METHOD").text().set("DoTransaction");
    return save(document);
}

std::int32_t KLARNA_CALL BenchHost::receive(std::uint32_t, const char* message, std::int32_t length,
                                            char* replyBuffer, std::int32_t* replyLength) {
    onEnter();
    std::int32_t result = -1;
    {
        const allocCounter::Pause pause;
        std::string reply;
        const std::int32_t capacity = replyLength != nullptr ? *replyLength : 0;
        if (replyLength != nullptr) {
            *replyLength = 0;
        }
        result = current != nullptr ? current->handle(message, length, reply) : -1;
        if (!reply.empty()) {
            if (replyBuffer == nullptr || reply.size() >= static_cast<std::size_t>(capacity)) {
                result = -181;
            } else {
                std::memcpy(replyBuffer, reply.data(), reply.size());
                *replyLength = static_cast<std::int32_t>(reply.size());
            }
        }
    }
    onLeave();
    return result;
}

std::int32_t BenchHost::handle(const char* message, std::int32_t length, std::string& reply) {
    ++requestCount;
    pugi::xml_document document;
    if (!document.load_buffer(message, static_cast<std::size_t>(length))) {
        // The pinpad screens name their text lines 0, 1, ..., which pugixml
        // refuses as element names; a host shows them all the same (and
        // this one answers none of them).
        return 0;
    }
    const pugi::xml_node root = document.child("VORTAXIS_BRIDGE");
    pugi::xml_node container = root.child("VORTAXIS_METHOD");
    if (!container) {
        container = root.child("VORTAXIS_EVENT");
    }
    const pugi::xml_node method = container.first_child();
    const std::string name = method.name();
    if (name == "GetVariable" || name == "GetLaneInfoVariable") {
        const auto found = variables.find(method.child_value("VariableName"));
        reply =
            syncReply(name.c_str(),
                      found == variables.end() ? Fields{} : Fields{{"Var_result", found->second}});
    } else if (name == "SetVariable") {
        variables[method.child_value("VariableName")] = method.child_value("Value");
    } else if (name == "GetPinpadDetails") {
        reply =
            syncReply("GetPinpadDetails",
                      {{"QR_code", "1"}, {"TID", "PP01"}, {"MID", "M01"}, {"Acquirer", "KLARNA"}});
    } else if (name == "GetClientRunTimeDiags") {
        reply = syncReply("GetClientRunTimeDiags", {{"MasterGuiName", "VortaxisMasterGui"}});
    } else if (name == "SendToDLL") {
        reply = syncReply("SendToDLL", {{"Result", "00"}});
    } else if (name == "DllStartTransaction") {
        pending.push_back(startTransactionEvent(method));
    } else if (name == "SendHostMessage") {
        pending.push_back(hostReceiveEvent(method));
    } else if (name == "PrintReceipt") {
        pending.push_back(eventText("PrintReceiptEvent", {{"Result", "00"}}, "PINPAD"));
    } else if (name == "WaitForKeyPress") {
        pending.push_back(eventText("WaitForKeyPressEvent", {{"Result", "TO"}}, "PINPAD"));
    } else if (name == "DllEndTransaction") {
        lastResult = method.child("VORTAXIS_EVENT").first_child().child_value("ResponseCode");
        transactionEnded = true;
    }
    return 0;
}
