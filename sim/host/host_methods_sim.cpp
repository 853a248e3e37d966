// The host methods: what the host does with each request of the module.
#include <cstdlib>

#include "sim/cli/text_files.h"
#include "sim/host/host_sim.h"

namespace sim {

namespace {

std::int64_t integerText(const std::string& text, std::int64_t fallback) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end == text.c_str() ? fallback : value;
}

} // namespace

const std::map<std::string, HostSim::MethodHandler>& HostSim::methodTable() {
    static const std::map<std::string, MethodHandler> table{
        {"GetVariable", &HostSim::getVariable},
        {"GetLaneInfoVariable", &HostSim::getLaneInfoVariable},
        {"SetVariable", &HostSim::setVariable},
        {"GetClientRunTimeDiags", &HostSim::getClientRunTimeDiags},
        {"GetPinpadDetails", &HostSim::getPinpadDetails},
        {"SendToDLL", &HostSim::sendToDll},
        {"StartSession", &HostSim::startSession},
        {"EndSession", &HostSim::endSession},
        {"CancelCurrentCommand", &HostSim::cancelCurrentCommand},
        {"SetTimer", &HostSim::setTimer},
        {"DisplayOnPinpad", &HostSim::displayOnPinpad},
        {"WaitForKeyPress", &HostSim::waitForKeyPress},
        {"DisplayOnPos", &HostSim::displayOnPos},
        {"ClosePosDisplay", &HostSim::closePosDisplay},
        {"PrintReceipt", &HostSim::printReceipt},
        {"GetButtonMenuFromPinpad", &HostSim::getButtonMenu},
        {"GetMultiLineFromPinpad", &HostSim::getMultiLine},
        {"Trace", &HostSim::traceRequest},
        {"SendHostMessage", &HostSim::sendHostMessage},
        {"DllApplicationStatusUpdate", &HostSim::applicationStatus},
        {"EventSubscribe", &HostSim::eventSubscribe},
        {"AddDllEntryPoint", &HostSim::addDllEntryPoint},
        {"InterceptSet", &HostSim::interceptSet},
        {"DllStartTransaction", &HostSim::dllStartTransaction},
        {"DllEndTransaction", &HostSim::dllEndTransaction},
    };
    return table;
}

std::int32_t HostSim::getVariable(const XmlElement& method, const XmlElement&, XmlElement& reply) {
    reply.name = "GetVariable";
    const std::string name = method.childText("VariableName");
    if (const std::string* value = store_.find(name)) {
        reply.add("Var_result", *value);
    } else if (config_.unknownVariableGivesDefault) {
        reply.add("Var_result", method.childText("Default"));
    }
    showVariableAnswer(name, reply, "the store");
    return 0;
}

std::int32_t HostSim::getLaneInfoVariable(const XmlElement& method, const XmlElement&,
                                          XmlElement& reply) {
    reply.name = "GetLaneInfoVariable";
    const auto found = config_.laneVariables.find(method.childText("VariableName"));
    if (found != config_.laneVariables.end()) {
        reply.add("Var_result", found->second);
    } else if (config_.unknownVariableGivesDefault) {
        reply.add("Var_result", method.childText("Default"));
    }
    showVariableAnswer(method.childText("VariableName"), reply, "the lane");
    return 0;
}

void HostSim::showVariableAnswer(const std::string& name, const XmlElement& reply,
                                 const std::string& where) {
    if (!transcript_.shows(Level::normal)) {
        return;
    }
    std::string answer = name + " not in " + where + ": no Var_result";
    if (const XmlElement* value = reply.find("Var_result")) {
        answer = name + " = \"" + value->text + "\"";
        if (value->text.size() > 200) {
            answer = name + " = \"" + value->text.substr(0, 200) + "\" ...";
        }
    }
    transcript_.line(Level::normal, "host->module", answer);
}

std::int32_t HostSim::setVariable(const XmlElement& method, const XmlElement&, XmlElement&) {
    if (!method.has("VariableName")) {
        transcript_.line(Level::normal, "host", "SetVariable without VariableName ignored");
        return -1;
    }
    store_.set(method.childText("VariableName"), method.childText("Value"));
    return 0;
}

std::int32_t HostSim::getClientRunTimeDiags(const XmlElement&, const XmlElement&,
                                            XmlElement& reply) {
    reply.name = "GetClientRunTimeDiags";
    reply.add("MasterGuiName", config_.masterGuiName);
    return 0;
}

std::int32_t HostSim::getPinpadDetails(const XmlElement&, const XmlElement&, XmlElement& reply) {
    reply.name = "GetPinpadDetails";
    for (const auto& detail : config_.pinpadDetails) {
        reply.add(detail.first, detail.second);
    }
    return 0;
}

std::int32_t HostSim::sendToDll(const XmlElement& method, const XmlElement& root,
                                XmlElement& reply) {
    const std::string destination = root.childText("OTHER_DLL_DESTINATION");
    if (method.children.empty()) {
        transcript_.line(Level::normal, "host", "SendToDLL without a request");
        return -1;
    }
    const XmlElement& inner = method.children.front();
    if (destination != config_.masterGuiName) {
        transcript_.line(Level::normal, "host",
                         "SendToDLL to unknown module \"" + destination + "\"");
        return -1;
    }
    if (inner.name != "RegisterForPosDirectEntryPoint") {
        transcript_.line(Level::normal, "host", destination + " does not know " + inner.name);
        return -1;
    }
    posRegistered_ = true;
    moduleName_ = inner.childText("DllName", moduleName_);
    transcript_.line(Level::normal, "host",
                     "POS requests for merchant " + inner.childText("MerchantNumber") +
                         " now go to " + moduleName_);
    reply.name = "SendToDLL";
    reply.add("Result", "00");
    return 0;
}

std::int32_t HostSim::startSession(const XmlElement&, const XmlElement&, XmlElement&) {
    session_ = true;
    return 0;
}

std::int32_t HostSim::endSession(const XmlElement&, const XmlElement&, XmlElement&) {
    session_ = false;
    return 0;
}

std::int32_t HostSim::cancelCurrentCommand(const XmlElement&, const XmlElement&, XmlElement&) {
    dropScreen("taken down by CancelCurrentCommand");
    return 0;
}

std::int32_t HostSim::setTimer(const XmlElement& method, const XmlElement&, XmlElement&) {
    const std::int64_t interval = integerText(method.childText("Interval"), 0);
    if (interval <= 0) {
        transcript_.line(Level::normal, "host", "SetTimer without a positive Interval");
        return -1;
    }
    queue_.cancel(timerEvent_);
    timerInterval_ = interval;
    timerEvent_ = queue_.schedule(
        interval, "TimerTrigger", [this] { timerTrigger(); }, true);
    return 0;
}

std::int32_t HostSim::displayOnPinpad(const XmlElement& method, const XmlElement&, XmlElement&) {
    dropScreen("replaced by DisplayOnPinpad");
    showPinpad(pinpadFromLines(method));
    return 0;
}

std::int32_t HostSim::waitForKeyPress(const XmlElement& method, const XmlElement&, XmlElement&) {
    const std::string text = "keys: POS " + method.childText("PosKeyMask", "-") + ", pinpad " +
                             method.childText("PinpadKeyMask", "-");
    transcript_.line(Level::brief, "host", "waiting for a key (" + text + ")");
    startInteraction(InteractionKind::keyWait, "WaitForKeyPressEvent", method, text,
                     integerText(method.childText("Timeout"), 0));
    return 0;
}

std::int32_t HostSim::displayOnPos(const XmlElement& method, const XmlElement&, XmlElement&) {
    showPos(posFromDialog(method));
    return 0;
}

std::int32_t HostSim::closePosDisplay(const XmlElement&, const XmlElement&, XmlElement&) {
    showPos(PosScreen{});
    return 0;
}

std::int32_t HostSim::printReceipt(const XmlElement& method, const XmlElement&, XmlElement&) {
    PrintedReceipt receipt;
    receipt.at = queue_.now();
    receipt.text = method.childText("Receipt");
    receipt.printer = method.childText("Printer");
    receipt.type = method.childText("ReceiptType");
    record_.receipts.push_back(receipt);
    transcript_.block(Level::brief, drawReceipt(receipt.text, receipt.printer));
    if (!config_.receiptsPath.empty() &&
        !appendToFile(config_.receiptsPath,
                      "--- printer " + receipt.printer + "\n" + receipt.text + "\n")) {
        outputFailed("the receipts", config_.receiptsPath);
    }
    Interaction& print =
        startInteraction(InteractionKind::print, "PrintReceiptEvent", method, receipt.text, 0);
    const std::uint64_t id = print.id;
    print.timeout = queue_.schedule(config_.printDelay, "printer done", [this, id] { expire(id); });
    return 0;
}

std::int32_t HostSim::getButtonMenu(const XmlElement& method, const XmlElement&, XmlElement&) {
    const PinpadScreen screen = pinpadFromMenu(method);
    showPinpad(screen);
    startInteraction(InteractionKind::menu, "GetButtonMenuFromPinpadEvent", method,
                     screenText(screen), integerText(method.childText("Timeout"), 0));
    return 0;
}

std::int32_t HostSim::getMultiLine(const XmlElement& method, const XmlElement&, XmlElement&) {
    const PinpadScreen screen = pinpadFromMultiLine(method);
    if (method.childText("DisplayOnly") == "1") {
        dropScreen("replaced by a display");
        showPinpad(screen);
        return 0;
    }
    InteractionKind kind = InteractionKind::waiting;
    if (method.childText("IsQRCode") == "1") {
        kind = InteractionKind::qr;
    } else if (method.has("InputMode")) {
        kind = InteractionKind::input;
    }
    showPinpad(screen);
    startInteraction(kind, "GetMultiLineFromPinpadEvent", method, screenText(screen),
                     integerText(method.childText("Timeout"), 0));
    return 0;
}

std::int32_t HostSim::traceRequest(const XmlElement& method, const XmlElement&, XmlElement&) {
    record_.traces.push_back(method.childText("TraceData"));
    transcript_.line(Level::normal, "trace", method.childText("TraceData"));
    return 0;
}

std::int32_t HostSim::sendHostMessage(const XmlElement& method, const XmlElement&, XmlElement&) {
    const GatewayMessage message = gatewayMessageOf(method, queue_.now());
    const std::string text = method.childText("Message");
    record_.gateway.push_back(message);
    if (transcript_.shows(Level::normal)) {
        transcript_.line(Level::normal, "to gateway", message.kind + " " + text);
    } else {
        transcript_.line(Level::brief, "to gateway", message.kind);
    }

    Exchange exchange;
    exchange.id = nextExchange_++;
    exchange.kind = message.kind;
    const std::int64_t timeout = integerText(method.childText("Timeout"), 0);
    if (timeout > 0) {
        const std::uint64_t id = exchange.id;
        exchange.timeout =
            queue_.schedule(timeout * 1000, "host time-out", [this, id] { hostTimeout(id); });
    }
    exchange.fault = armFault("HostReceiveEvent", message.kind);
    exchanges_[exchange.id] = exchange;
    if (exchange.fault.armed && exchange.fault.mode == EventFault::Mode::fail) {
        failExchangeSoon(exchange.id, exchange.fault.code);
    }
    if (listener_ != nullptr) {
        listener_->gatewayMessage(message.kind);
    }
    gateway_.receive(exchange.id,
                     static_cast<std::int32_t>(integerText(method.childText("MsgType"), 0)), text);
    for (MoneyMove& move : gateway_.takeMoves()) {
        move.message = record_.gateway.size() - 1;
        record_.money.push_back(move);
    }
    return 0;
}

std::int32_t HostSim::applicationStatus(const XmlElement& method, const XmlElement&, XmlElement&) {
    transcript_.line(Level::normal, "host",
                     "application " + method.childText("AppName") + " version " +
                         method.childText("Version"));
    return 0;
}

std::int32_t HostSim::eventSubscribe(const XmlElement& method, const XmlElement&, XmlElement&) {
    subscriptions_.insert(method.childText("event_name"));
    return 0;
}

std::int32_t HostSim::addDllEntryPoint(const XmlElement& method, const XmlElement&, XmlElement&) {
    const std::string name = method.childText("Name");
    if (name.empty()) {
        transcript_.line(Level::normal, "host", "AddDllEntryPoint without a Name");
        return -1;
    }
    entryPoints_[name] = method;
    return 0;
}

std::int32_t HostSim::interceptSet(const XmlElement& method, const XmlElement&, XmlElement&) {
    const XmlElement* filter = method.find("VORTAXIS_BRIDGE");
    if (filter == nullptr) {
        transcript_.line(Level::normal, "host", "InterceptSet without a VORTAXIS_BRIDGE filter");
        return -1;
    }
    for (const char* container : {"VORTAXIS_METHOD", "VORTAXIS_EVENT"}) {
        const XmlElement* holder = filter->find(container);
        if (holder == nullptr || holder->children.empty()) {
            continue;
        }
        const XmlElement& element = holder->children.front();
        if (element.name == "CsdReserved3") {
            const std::string data = element.childText("DataField");
            if (data.compare(0, 9, "FUNCTION=") == 0) {
                functionFilters_.insert(data.substr(9));
            }
        } else {
            intercepts_[element.name] = container;
        }
        return 0;
    }
    transcript_.line(Level::normal, "host", "InterceptSet filter names no message");
    return -1;
}

std::int32_t HostSim::dllStartTransaction(const XmlElement& method, const XmlElement&,
                                          XmlElement&) {
    if (method.children.empty()) {
        transcript_.line(Level::normal, "host", "DllStartTransaction without a transaction");
        return -1;
    }
    const XmlElement transaction = method.children.front();
    transactionOpen_ = true;
    XmlElement event{transaction.childText("ReturnEventName", "DllStartTransactionEvent"), {}, {}};
    event.children.push_back(transaction);
    const ArmedFault fault = armFault(event.name, toCompactText(transaction));
    const bool failed = fault.armed && fault.mode == EventFault::Mode::fail;
    event.add("Result", failed ? fault.code : "00");
    queue_.schedule(config_.startTransactionDelay, event.name,
                    [this, fault, event] { answerRequest(fault, "VORTAXIS_DLL_HANDLER", event); });
    return 0;
}

std::int32_t HostSim::dllEndTransaction(const XmlElement& method, const XmlElement&, XmlElement&) {
    const XmlElement* holder = method.find("VORTAXIS_EVENT");
    if (holder == nullptr || holder->children.empty()) {
        transcript_.line(Level::normal, "host", "DllEndTransaction without an event");
        return -1;
    }
    const XmlElement& result = holder->children.front();
    record_.results.push_back(result);
    transactionOpen_ = false;
    transcript_.line(
        Level::brief, "to POS",
        "result " + result.childText("ResponseCode") + " \"" + result.childText("ResponseText") +
            "\" Success=" + result.childText("Success") + " " + result.childText("TxnType") + " " +
            result.childText("AmtPurchase") + " " + result.childText("TxnRef"));
    return 0;
}

} // namespace sim
