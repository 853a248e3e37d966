// What the interactive mode tells the person about the state of things: a
// hint at the start, the status command, and what quitting would leave open.
#include <nlohmann/json.hpp>

#include "sim/cli/interactive.h"

namespace sim {

namespace {

std::string shortened(const std::string& text, std::size_t limit = 70) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    return out.size() > limit ? out.substr(0, limit) + " ..." : out;
}

bool filled(const VariableStore& store, const char* name) {
    const std::string* value = store.find(name);
    return value != nullptr && !value->empty();
}

// "P- of order ORD000003 (ref R1)" for a reversal record, or the text itself.
std::string reversalText(const std::string& record) {
    const nlohmann::json parsed = nlohmann::json::parse(record, nullptr, false);
    if (!parsed.is_object()) {
        return "an unreadable record: " + shortened(record);
    }
    std::string text = parsed.value("type", std::string("?"));
    for (const char* key : {"orderid", "hppsid", "ref"}) {
        if (parsed.contains(key) && parsed[key].is_string()) {
            text += std::string(" ") + key + " " + parsed[key].get<std::string>();
        }
    }
    return text;
}

} // namespace

void Interactive::openingHint() const {
    const VariableStore& store = run_.store();
    std::string hint;
    if (run_.host().pinpadOnlineState() != "1") {
        hint += "  - the pinpad is offline: pinpad-online 1 brings it online (the module takes "
                "no payment\n    before)\n";
    }
    if (!filled(store, "MERCHANT_ID") && !filled(store, "TOKEN")) {
        hint += "  - the store is empty: the module needs a terminal reference and a logon, "
                "for example\n"
                "      set-var MERCHANT_ID \"M123\"   set-var STORE_ID \"S1\"   set-var LANE_ID "
                "\"7\"\n"
                "      set-var USERNAME \"shop-user\"   set-var PASSWORD \"shop-password\"\n"
                "      refresh-settings   (the module reads its settings at start-up and on a "
                "refresh)\n"
                "    (the first payment logs on; --store FILE keeps all this for the next "
                "time)\n";
    } else if (!filled(store, "TOKEN") &&
               (!filled(store, "USERNAME") || !filled(store, "PASSWORD"))) {
        hint += "  - no TOKEN and no logon credentials: set-var USERNAME \"...\" and set-var "
                "PASSWORD \"...\"\n";
    }
    out_ << "klarna-sim interactive: you are the POS, the customer and the operator.\n";
    if (!hint.empty()) {
        out_ << "Before a payment:\n" << hint;
    }
    out_ << "Then for example: pos TxnType=P AmtPurchase=1250 CurrencyCode=AUD TxnRef=R1\n"
            "help lists the actions, status shows the store, the pinpad and the gateway.\n";
}

void Interactive::status() const {
    HostSim& host = run_.host();
    const VariableStore& store = run_.store();
    out_ << "store (" << store.all().size() << " variables):\n";
    for (const auto& variable : store.all()) {
        out_ << "  " << variable.first << " = \"" << shortened(variable.second) << "\"\n";
    }
    const std::string& online = host.pinpadOnlineState();
    out_ << "pinpad: "
         << (online == "1"   ? "online"
             : online == "0" ? "offline"
                             : "offline (the module has not been told; pinpad-online 1)");
    for (const auto& detail : host.config().pinpadDetails) {
        out_ << ' ' << detail.first << '=' << detail.second;
    }
    const std::string* reversal = store.find("REVERSAL_DATA");
    out_ << "\npending reversal: "
         << (reversal == nullptr || reversal->empty()
                 ? std::string("none")
                 : reversalText(*reversal) + " (sent before the next payment)")
         << '\n';
    const GatewaySim& gateway = host.gateway();
    out_ << "gateway orders:" << (gateway.orders().empty() ? " none" : "") << '\n';
    for (const auto& entry : gateway.orders()) {
        const GatewayOrder& order = entry.second;
        out_ << "  " << order.orderid << "  " << order.amount << ' ' << order.currency << "  "
             << (order.reversed   ? "reversed"
                 : order.captured ? "purchased"
                                  : "paid, not captured")
             << (order.refunded > 0 ? ", refunded " + std::to_string(order.refunded) : "") << '\n';
    }
    out_ << "gateway faults:" << (gateway.faults().empty() ? " none" : "");
    for (std::size_t i = 0; i < gateway.faults().size(); ++i) {
        const Fault& fault = gateway.faults()[i];
        out_ << (i == 0 ? " " : ", ") << fault.kind << ' ' << faultModeName(fault.mode);
    }
    out_ << "\nentry points:";
    for (const auto& entry : host.entryPoints()) {
        out_ << ' ' << entry.first;
    }
    out_ << "\nintercepted:";
    for (const auto& entry : host.intercepts()) {
        out_ << ' ' << entry.first;
    }
    out_ << "\nPOS requests registered: " << (host.posRegistered() ? "yes" : "no") << '\n';
}

std::string Interactive::openPayment() const {
    HostSim& host = run_.host();
    if (host.gateway().heldWaits() > 0) {
        return "the gateway waits for the customer (customer pays | customer gives-up)";
    }
    if (host.openExchanges() > 0) {
        return "a gateway reply is still due (wait)";
    }
    if (!host.pending().empty()) {
        return "the host waits for " + host.pending().front()->eventName;
    }
    if (host.transactionOpen()) {
        return "the module has not handed over its result yet (wait)";
    }
    return {};
}

} // namespace sim
