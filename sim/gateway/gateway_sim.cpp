#include "sim/gateway/gateway_sim.h"

#include <cstdio>

#include "sim/gateway/gateway_json.h"

namespace sim {

using gw::integerOf;
using gw::textOf;
using nlohmann::json;

namespace gw {

std::string textOf(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_string()) {
        return {};
    }
    return object[key].get<std::string>();
}

bool integerOf(const json& object, const char* key, std::int64_t& value) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_number_integer()) {
        return false;
    }
    value = object[key].get<std::int64_t>();
    return true;
}

const char* firstMissing(const json& request, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (!request.contains(key) || request[key].is_null() ||
            (request[key].is_string() && request[key].get<std::string>().empty())) {
            return key;
        }
    }
    return nullptr;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string numbered(const char* prefix, int n) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%06d", prefix, n);
    return text;
}

} // namespace gw

namespace {

std::int32_t expectedMessageType(const std::string& type) {
    if (type == "A+") {
        return 100;
    }
    if (type == "O" || type == "D" || type == "N" || type == "Q") {
        return 150;
    }
    if (type == "P" || type == "R") {
        return 200;
    }
    if (!type.empty() && type.back() == '-') {
        return 400;
    }
    return 0;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

json replyTo(const json& request, const std::string& rc, const std::string& rt) {
    json reply = json::object();
    if (request.is_object()) {
        for (const char* key : {"type", "stan", "trn", "ref", "trackinguid"}) {
            if (request.contains(key)) {
                reply[key] = request[key];
            }
        }
        std::int64_t mt = 0;
        if (integerOf(request, "mt", mt)) {
            reply["mt"] = mt + 10;
        }
    }
    reply["rc"] = rc;
    reply["rt"] = rt;
    return reply;
}

json parseGatewayText(const std::string& text) {
    json parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded()) {
        parsed = json::parse(latin1ToUtf8(text), nullptr, false);
    }
    return parsed;
}

GatewaySim::GatewaySim(EventQueue& queue, Sink sink) : queue_(queue), sink_(std::move(sink)) {}

void GatewaySim::addOrder(const std::string& orderid, std::int64_t amount,
                          const std::string& currency) {
    GatewayOrder order;
    order.orderid = orderid;
    order.amount = amount;
    order.currency = currency;
    order.captured = true;
    order.txref = "KTX-" + orderid;
    state_.orders[orderid] = order;
    changed();
}

void GatewaySim::forgetHistory() {
    state_.sessions.clear();
    state_.orders.clear();
    state_.refunds.clear();
    state_.reversals.clear();
    faults_.clear();
    changed();
}

void GatewaySim::note(const std::string& text) const {
    if (note_) {
        note_(text);
    }
}

void GatewaySim::moved(MoneyMove::Kind kind, const GatewayOrder& order, std::int64_t amount,
                       const json& request) {
    MoneyMove move;
    integerOf(request, "stan", move.stan);
    move.kind = kind;
    move.orderid = order.orderid;
    move.amount = amount;
    move.currency = order.currency;
    moves_.push_back(move);
}

std::vector<MoneyMove> GatewaySim::takeMoves() {
    std::vector<MoneyMove> taken;
    taken.swap(moves_);
    return taken;
}

void GatewaySim::changed() const {
    if (onChange_) {
        onChange_();
    }
}

void GatewaySim::receive(std::uint64_t exchange, std::int32_t msgType, const std::string& text) {
    Pending pending;
    pending.exchange = exchange;
    pending.msgType = msgType;
    pending.request = parseGatewayText(text);
    pending.kind = faultKindOf(textOf(pending.request, "type"), msgType);
    pending.faults = takeMatchingFaults(faults_, pending.kind);
    handle(std::move(pending));
    changed();
}

void GatewaySim::handle(Pending pending) {
    if (!pending.request.is_object()) {
        send(pending, replyTo(json(), "30", "FORMAT ERROR"));
        return;
    }
    const std::string type = textOf(pending.request, "type");
    const json failure = checkCommon(pending, type != "A+");
    if (!failure.is_null()) {
        if (type == "Q") {
            note("interrupt refused: " + textOf(failure, "rt"));
            return;
        }
        send(pending, failure);
        return;
    }
    json reply;
    if (pending.kind == "REV") {
        reply = answerReversal(pending.request);
    } else if (type == "A+") {
        reply = answerLogon(pending.request);
    } else if (type == "O") {
        reply = answerSession(pending.request);
    } else if (type == "D") {
        reply = answerSms(pending.request);
    } else if (type == "N") {
        if (holdWait(pending, reply)) {
            return;
        }
    } else if (type == "Q") {
        reply = answerInterrupt(pending.request);
        if (reply.is_null()) {
            return; // an interrupt has no reply of its own: the pending wait answers
        }
    } else if (type == "P" || type == "R") {
        reply = answerMoney(pending);
    } else {
        reply = replyTo(pending.request, "12", "INVALID TRANSACTION TYPE");
    }
    send(pending, reply);
}

json GatewaySim::checkCommon(const Pending& pending, bool needsToken) const {
    const json& request = pending.request;
    std::int64_t value = 0;
    // A logon carries no trace number; every other message does.
    if (needsToken && !integerOf(request, "stan", value)) {
        return replyTo(request, "30", "STAN MISSING");
    }
    const std::int32_t expected = expectedMessageType(textOf(request, "type"));
    if (!integerOf(request, "mt", value) || value != expected || pending.msgType != expected) {
        return replyTo(request, "30", "WRONG MESSAGE TYPE");
    }
    if (needsToken) {
        const std::string token = textOf(request, "token");
        bool known = false;
        for (const auto* list : {&state_.tokens, &config_.acceptedTokens}) {
            for (const std::string& t : *list) {
                known = known || (!token.empty() && t == token);
            }
        }
        if (!known) {
            return replyTo(request, "TF", "INVALID TOKEN");
        }
    }
    return json();
}

void GatewaySim::send(const Pending& pending, const json& reply) {
    GatewayOutcome outcome;
    outcome.exchange = pending.exchange;
    outcome.kind = textOf(pending.request, "type");
    outcome.delay = config_.latency;
    outcome.mtype = pending.msgType + 10;
    outcome.message = reply.dump(-1, ' ', false, json::error_handler_t::replace);
    for (const Fault& fault : pending.faults) {
        applyFault(fault, outcome);
    }
    if (!outcome.deliver) {
        note("no reply to the " + (outcome.kind.empty() ? std::string("?") : outcome.kind) +
             " message (fault)");
        return;
    }
    queue_.schedule(outcome.delay, "gateway reply", [this, outcome] { sink_(outcome); });
}

std::string GatewaySim::paymentTime() const {
    return calendar_.text(queue_.now() > 0 ? queue_.now() : 0);
}

} // namespace sim
