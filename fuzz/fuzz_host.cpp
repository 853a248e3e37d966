#include "fuzz/fuzz_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "documents/json_text.h"

namespace {

FuzzHost* current = nullptr;

void addFields(xmlNode& element, const FuzzHost::Fields& fields) {
    for (const auto& field : fields) {
        element.child(element.addChild(field.first)).setText(field.second);
    }
}

std::string messageText(const std::string& source, const std::string& container,
                        const xmlNode& message) {
    xmlDoc document;
    document.name = "VORTAXIS_BRIDGE";
    document.getChild("VORTAXIS_SOURCE").setText(source);
    document.getChild("VORTAXIS_DESTINATION").setText("Klarna");
    document.getChild(container).children.push_back(message);
    return document.toString();
}

std::string textMember(const nlohmann::json& object, const char* key, const std::string& fallback) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : fallback;
}

std::int64_t intMember(const nlohmann::json& object, const char* key, std::int64_t fallback) {
    const auto found = object.find(key);
    return found != object.end() && found->is_number_integer() ? found->get<std::int64_t>()
                                                               : fallback;
}

// What the synchronous requests get back: the first child of the reply's
// VORTAXIS_EVENT.
std::string syncReply(const std::string& name, const FuzzHost::Fields& fields) {
    xmlNode reply;
    reply.name = name;
    addFields(reply, fields);
    return messageText("VORTAXIS_DLL_HANDLER", "VORTAXIS_EVENT", reply);
}

// Requests the host answers later with an event.
bool owesEvent(const std::string& method) {
    return method == "WaitForKeyPress" || method == "GetButtonMenuFromPinpad" ||
           method == "GetMultiLineFromPinpad" || method == "PrintReceipt" ||
           method == "SendHostMessage" || method == "DllStartTransaction";
}

const xmlNode& firstChild(const xmlNode& element) {
    static const xmlNode none;
    return element.children.empty() ? none : element.children.front();
}

} // namespace

FuzzHost::FuzzHost() {
    current = this;
}

FuzzHost::~FuzzHost() {
    if (current == this) {
        current = nullptr;
    }
}

StartupFields FuzzHost::startupFields(char* versionBuffer) {
    StartupFields fields;
    fields.recordSize = startupRecord::fullSize;
    fields.hostContext = 1;
    fields.versionText = "2.0";
    fields.hostName = "VORTAXIS_DLL_HANDLER";
    fields.sendCallback = callback();
    fields.versionBuffer = versionBuffer;
    return fields;
}

HostSendCallback FuzzHost::callback() {
    return &FuzzHost::receive;
}

bool FuzzHost::tracing() {
    static const bool on = std::getenv("FUZZ_TRACE") != nullptr;
    return on;
}

namespace {

void describe(std::string& out, const xmlNode& node) {
    out += node.name;
    if (!node.text.empty()) {
        out += "=\"" + node.text + "\"";
    }
    if (!node.children.empty()) {
        out += "{";
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            out += i == 0 ? "" : ", ";
            describe(out, node.children[i]);
        }
        out += "}";
    }
}

} // namespace

void FuzzHost::traceMessage(const char* direction, const std::string& text) {
    if (!tracing()) {
        return;
    }
    const xmlDoc document(text);
    std::string line;
    for (const xmlNode& child : document.children) {
        if (child.name == "VORTAXIS_EVENT" || child.name == "VORTAXIS_METHOD") {
            describe(line, child);
        }
    }
    std::fprintf(stderr, "%s %s\n", direction, line.empty() ? text.c_str() : line.c_str());
}

std::string FuzzHost::eventText(const std::string& name, const Fields& fields,
                                const std::string& source) {
    xmlNode event;
    event.name = name;
    addFields(event, fields);
    return messageText(source, "VORTAXIS_EVENT", event);
}

std::string FuzzHost::methodText(const std::string& name, const Fields& fields,
                                 const std::string& source) {
    xmlNode method;
    method.name = name;
    addFields(method, fields);
    return messageText(source, "VORTAXIS_METHOD", method);
}

std::string FuzzHost::posTransaction(const Fields& fields) {
    xmlNode entry;
    entry.name = "PosDirectEntryPoint";
    addFields(entry.getChild("DoTransaction"), fields);
    entry.getChild("VORTAXIS_METHOD").setText("DoTransaction");
    return messageText("POS", "VORTAXIS_EVENT", entry);
}

std::string FuzzHost::entryPoint(const std::string& name, const Fields& transaction) {
    xmlNode entry;
    entry.name = "EntryPointEvent";
    addFields(entry.getChild("DoTransaction"), transaction);
    entry.getChild("Name").setText(name);
    return messageText("VORTAXIS_DLL_HANDLER", "VORTAXIS_EVENT", entry);
}

nlohmann::json FuzzHost::approvedReply(const nlohmann::json& request) {
    const std::string type = textMember(request, "type", "");
    const std::int64_t stan = intMember(request, "stan", 0);
    nlohmann::json answer = {{"type", type},
                             {"stan", stan},
                             {"mt", intMember(request, "mt", 0) + 10},
                             {"rc", "00"},
                             {"amt", intMember(request, "amt", 0)},
                             {"currency", textMember(request, "currency", "AUD")},
                             {"ref", textMember(request, "ref", "")},
                             {"trackinguid", textMember(request, "trackinguid", "")}};
    if (type == "A+") {
        answer["token"] = "TOK42";
    } else if (type == "O") {
        answer.update({{"hppsid", "HPP000001"},
                       {"paysid", "PAY000001"},
                       {"hppstatus", "WAITING"},
                       {"redirecturl", "https://pay.klarna.sim/hpp/HPP000001"}});
    } else if (type == "D") {
        answer.update({{"hppsid", "HPP000001"}, {"hppstatus", "WAITING"}});
    } else if (type == "N") {
        answer.update({{"hppsid", "HPP000001"},
                       {"paysid", "PAY000001"},
                       {"hppstatus", "COMPLETED"},
                       {"orderid", "ORD000002"}});
    } else if (type == "P" || type == "R") {
        answer.update({{"orderid", textMember(request, "orderid", "ORD000002")},
                       {"paydt", "2024-01-01 10:00:04"},
                       {"txref", "KTX" + std::to_string(stan)}});
        if (type == "R") {
            answer["refundid"] = "RFD" + std::to_string(stan);
        }
    }
    return answer;
}

nlohmann::json FuzzHost::gatewayRequest(const Owed& owed) {
    nlohmann::json request;
    if (!jsonText::parse(owed.request.getChildText("Message", ""), request) ||
        !request.is_object()) {
        return nlohmann::json();
    }
    return request;
}

std::string FuzzHost::hostReceive(const Owed& owed, const std::string& result,
                                  const std::string& message) {
    const int index = owed.request.findChild("MsgType");
    const std::int64_t msgType = index < 0 ? 0 : owed.request.child(index).getTextInt(0);
    const std::string mtype = std::to_string(msgType + 10);
    Fields fields{{"Result", result},
                  {"Header", "<Header>\n <MTYPE>" + mtype + "</MTYPE>\n</Header>\n"},
                  {"MTYPE", mtype}};
    if (result != "00") {
        fields.emplace_back("ResultText", "NO RESPONSE");
    }
    if (!message.empty()) {
        fields.emplace_back("Message", message);
    }
    return eventText("HostReceiveEvent", fields, "VORTAXIS_DLL_HANDLER");
}

std::string FuzzHost::normalAnswer(const Owed& owed) {
    if (owed.event == "HostReceiveEvent") {
        return hostReceive(owed, "00", jsonText::dump(approvedReply(gatewayRequest(owed))));
    }
    if (owed.event == "GetButtonMenuFromPinpadEvent") {
        return eventText(owed.event,
                         {{"Result", "00"},
                          {"SelectedOption", "1"},
                          {"PinpadCancelled", "0"},
                          {"PosCancelled", "0"}},
                         owed.source);
    }
    if (owed.event == "GetMultiLineFromPinpadEvent") {
        return eventText(owed.event,
                         {{"Result", "00"},
                          {"InputData", "0412345678"},
                          {"PinpadCancelled", "0"},
                          {"PosCancelled", "0"}},
                         owed.source);
    }
    if (owed.event == "WaitForKeyPressEvent") {
        return eventText(owed.event, {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}}, owed.source);
    }
    if (owed.event == "PrintReceiptEvent") {
        return eventText(owed.event, {{"Result", "00"}}, owed.source);
    }
    // The host transaction start echoes the transaction it was given.
    xmlNode event;
    event.name = owed.event;
    event.children.push_back(firstChild(owed.request));
    event.getChild("Result").setText("00");
    return messageText(owed.source, "VORTAXIS_EVENT", event);
}

std::string FuzzHost::timeoutAnswer(const Owed& owed) {
    if (owed.event == "HostReceiveEvent") {
        return hostReceive(owed, "X0", "");
    }
    if (owed.event == "PrintReceiptEvent" || owed.event == "WaitForKeyPressEvent" ||
        owed.event == "GetButtonMenuFromPinpadEvent" ||
        owed.event == "GetMultiLineFromPinpadEvent") {
        return eventText(owed.event, {{"Result", "TO"}}, owed.source);
    }
    return normalAnswer(owed);
}

void FuzzHost::owe(const std::string& event, const std::string& source, const xmlNode& request,
                   bool replaces) {
    if (replaces) {
        for (auto it = owed.begin(); it != owed.end(); ++it) {
            if (it->event == event) {
                owed.erase(it);
                break;
            }
        }
    }
    owed.push_back(Owed{event, source, request});
}

std::int32_t KLARNA_CALL FuzzHost::receive(std::uint32_t, const char* message, std::int32_t length,
                                           char* replyBuffer, std::int32_t* replyLength) {
    const std::int32_t capacity = replyLength != nullptr ? *replyLength : 0;
    if (replyLength != nullptr) {
        *replyLength = 0;
    }
    if (current == nullptr || message == nullptr || length < 0) {
        return -1;
    }
    std::string reply;
    std::int32_t result = current->handle(message, length, reply);
    if (!reply.empty()) {
        if (replyBuffer == nullptr || replyLength == nullptr ||
            reply.size() >= static_cast<std::size_t>(capacity > 0 ? capacity : 0)) {
            return -181;
        }
        std::memcpy(replyBuffer, reply.data(), reply.size());
        *replyLength = static_cast<std::int32_t>(reply.size());
    }
    return result;
}

std::int32_t FuzzHost::handle(const char* message, std::int32_t length, std::string& reply) {
    ++requestCount;
    const std::string text(message, static_cast<std::size_t>(length));
    traceMessage("module->host", text);
    const xmlDoc document(text);
    int container = document.findChild("VORTAXIS_METHOD");
    if (container < 0) {
        container = document.findChild("VORTAXIS_EVENT");
    }
    if (container < 0) {
        return -1;
    }
    const std::size_t owedBefore = owed.size();
    const std::int32_t result = answer(firstChild(document.child(container)), reply);
    if (tracing() && result != 0) {
        std::fprintf(stderr, "host->module result %d\n", static_cast<int>(result));
    }
    sim::RequestRecord request;
    std::string error;
    if (sim::readRequest(text, request, error)) {
        request.result = result;
        record.requests.push_back(request);
        if (request.name == "SendHostMessage" && owed.size() > owedBefore) {
            // The gateway's side of the book refers to its messages by index.
            record.gateway.push_back(sim::gatewayMessageOf(request.element, 0));
            owed.back().gatewayIndex = record.gateway.size() - 1;
        }
    }
    return result;
}

std::int32_t FuzzHost::answer(const xmlNode& method, std::string& reply) {
    const std::string& name = method.name;
    if (forcedCount > 0 && !owesEvent(name) && name != "DllEndTransaction") {
        --forcedCount;
        // Only a negative result refuses: a write the host answers with any
        // other result has been made (a read so answered still gets no reply).
        if (forcedResult >= 0 && name == "SetVariable") {
            variables[method.getChildText("VariableName", "")] = method.getChildText("Value", "");
        }
        return forcedResult;
    }
    if (refusedOwing > 0 && owesEvent(name)) {
        --refusedOwing;
        return -1;
    }
    if (name == "GetVariable" || name == "GetLaneInfoVariable") {
        const auto found = variables.find(method.getChildText("VariableName", ""));
        reply = syncReply(name, found == variables.end() ? Fields{}
                                                         : Fields{{"Var_result", found->second}});
    } else if (name == "SetVariable") {
        variables[method.getChildText("VariableName", "")] = method.getChildText("Value", "");
    } else if (name == "GetPinpadDetails") {
        reply = syncReply(
            name, {{"QR_code", "1"}, {"TID", "PP01"}, {"MID", "M01"}, {"Acquirer", "KLARNA"}});
    } else if (name == "GetClientRunTimeDiags") {
        reply = syncReply(name, {{"MasterGuiName", "VortaxisMasterGui"}});
    } else if (name == "SendToDLL") {
        reply = syncReply(name, {{"Result", "00"}});
    } else if (name == "WaitForKeyPress" || name == "GetButtonMenuFromPinpad" ||
               name == "GetMultiLineFromPinpad") {
        // A new screen or key wait replaces the one shown.
        owe(name + "Event", "PINPAD", method, true);
    } else if (name == "PrintReceipt") {
        // Every print is answered.
        owe("PrintReceiptEvent", "PINPAD", method, false);
    } else if (name == "SendHostMessage") {
        owe("HostReceiveEvent", "VORTAXIS_DLL_HANDLER", method, false);
    } else if (name == "DllStartTransaction") {
        const std::string event =
            firstChild(method).getChildText("ReturnEventName", "DllStartTransactionEvent");
        owe(event, "VORTAXIS_DLL_HANDLER", method, true);
    } else if (name == "DllEndTransaction") {
        const xmlNode& event = firstChild(firstChild(method));
        ++transactionEvents;
        if (onTransactionEvent) {
            onTransactionEvent(event);
        }
    }
    return 0;
}
