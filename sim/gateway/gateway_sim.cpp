#include "sim/gateway/gateway_sim.h"

#include <cstdio>

namespace sim {

using nlohmann::json;

namespace {

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

// The first of the keys that is absent or empty, or null.
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

std::string numbered(const char* prefix, int n) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%06d", prefix, n);
    return text;
}

bool validPhone(const std::string& phone) {
    std::size_t digits = 0;
    for (std::size_t i = 0; i < phone.size(); ++i) {
        const char c = phone[i];
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (!(c == '+' && i == 0)) {
            return false;
        }
    }
    return digits >= 8 && digits <= 15;
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
    orders_[orderid] = order;
}

void GatewaySim::forgetHistory() {
    sessions_.clear();
    orders_.clear();
    refundsByUid_.clear();
    reversals_.clear();
    faults_.clear();
}

void GatewaySim::note(const std::string& text) const {
    if (note_) {
        note_(text);
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
    } else if (type == "P") {
        reply = answerPurchase(pending.request);
    } else if (type == "R") {
        reply = answerRefund(pending.request);
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
        for (const auto* list : {&tokens_, &config_.acceptedTokens}) {
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

json GatewaySim::answerLogon(const json& request) {
    if (const char* missing = firstMissing(request, {"username", "password", "trn"})) {
        return replyTo(request, "30", upper(missing) + " MISSING");
    }
    const bool anyUser = config_.username.empty() && config_.password.empty();
    if (!anyUser && (textOf(request, "username") != config_.username ||
                     textOf(request, "password") != config_.password)) {
        return replyTo(request, "55", "INVALID CREDENTIALS");
    }
    const std::string token =
        config_.issuedToken.empty() ? numbered("TOK", ++counter_) : config_.issuedToken;
    tokens_.push_back(token);
    json reply = replyTo(request, "00", "LOGON OK");
    reply["token"] = token;
    note("logon of " + textOf(request, "trn") + ": token " + token);
    return reply;
}

json GatewaySim::answerSession(const json& request) {
    if (const char* missing = firstMissing(request, {"amt", "currency", "countrycode"})) {
        return replyTo(request, "30", upper(missing) + " MISSING");
    }
    std::int64_t amount = 0;
    if (!integerOf(request, "amt", amount) || amount <= 0) {
        return replyTo(request, "T8", "INVALID AMOUNT");
    }
    GatewaySession session;
    const int n = ++counter_;
    session.paysid = numbered("PAY", n);
    session.hppsid = numbered("HPP", n);
    session.amount = amount;
    session.currency = textOf(request, "currency");
    sessions_.push_back(session);
    json reply = replyTo(request, "00", "SESSION CREATED");
    reply["paysid"] = session.paysid;
    reply["hppsid"] = session.hppsid;
    reply["redirecturl"] = "https://pay.klarna.sim/hpp/" + session.hppsid;
    reply["hppstatus"] = session.status;
    reply["amt"] = amount;
    reply["currency"] = session.currency;
    note("payment session " + session.hppsid + " opened for " + std::to_string(amount));
    return reply;
}

GatewaySession* GatewaySim::sessionFor(const json& request) {
    const std::string hppsid = textOf(request, "hppsid");
    for (GatewaySession& session : sessions_) {
        if (!hppsid.empty() && session.hppsid == hppsid) {
            return &session;
        }
    }
    return nullptr;
}

json GatewaySim::answerSms(const json& request) {
    if (const char* missing = firstMissing(request, {"hppsid", "phone"})) {
        return replyTo(request, "30", upper(missing) + " MISSING");
    }
    GatewaySession* session = sessionFor(request);
    if (session == nullptr) {
        return replyTo(request, "25", "SESSION NOT FOUND");
    }
    const std::string phone = textOf(request, "phone");
    if (!validPhone(phone)) {
        return replyTo(request, "30", "INVALID PHONE");
    }
    session->phone = phone;
    session->smsSent = true;
    json reply = replyTo(request, "00", "SMS SENT");
    reply["hppsid"] = session->hppsid;
    reply["paysid"] = session->paysid;
    note("payment link for " + session->hppsid + " sent by SMS to " + phone);
    return reply;
}

bool GatewaySim::holdWait(Pending& pending, json& reply) {
    const json& request = pending.request;
    if (const char* missing = firstMissing(request, {"hppsid"})) {
        reply = replyTo(request, "30", upper(missing) + " MISSING");
        return false;
    }
    GatewaySession* session = sessionFor(request);
    if (session == nullptr) {
        reply = replyTo(request, "25", "SESSION NOT FOUND");
        return false;
    }
    const std::string known =
        request.contains("hppstatus") ? textOf(request, "hppstatus") : "WAITING";
    if (known != session->status) {
        reply = statusReply(pending, *session);
        return false;
    }
    std::int64_t timeout = 0;
    pending.hppsid = session->hppsid;
    if (integerOf(request, "timeout", timeout) && timeout > 0) {
        const std::uint64_t exchange = pending.exchange;
        pending.expiry = queue_.schedule(timeout * 1000, "gateway wait runs out",
                                         [this, exchange] { expireWait(exchange); });
    }
    held_.push_back(std::move(pending));
    note("status wait on " + session->hppsid + " held until the customer acts");
    return true;
}

json GatewaySim::statusReply(const Pending& pending, const GatewaySession& session) const {
    json reply;
    if (session.status == "COMPLETED") {
        reply = replyTo(pending.request, "00", "ORDER COMPLETED");
        reply["orderid"] = session.orderid;
        reply["amt"] = session.amount;
        reply["currency"] = session.currency;
    } else if (session.status == "IN_PROGRESS") {
        reply = replyTo(pending.request, "00", "CUSTOMER PAYING");
    } else if (session.status == "CANCELLED") {
        reply = replyTo(pending.request, config_.giveUpCode, config_.giveUpText);
    } else if (session.status == "REVERSED") {
        reply = replyTo(pending.request, "25", "SESSION CLOSED");
    } else {
        reply = replyTo(pending.request, "00", "WAITING");
    }
    reply["hppsid"] = session.hppsid;
    reply["paysid"] = session.paysid;
    reply["hppstatus"] = session.status;
    return reply;
}

void GatewaySim::expireWait(std::uint64_t exchange) {
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        if (it->exchange == exchange) {
            Pending pending = std::move(*it);
            held_.erase(it);
            json reply = replyTo(pending.request, config_.expiryCode, config_.expiryText);
            reply["hppsid"] = pending.hppsid;
            note("status wait on " + pending.hppsid + " ran out");
            send(pending, reply);
            return;
        }
    }
}

json GatewaySim::answerInterrupt(const json& request) {
    GatewaySession* session = sessionFor(request);
    if (session == nullptr) {
        note("interrupt for an unknown session ignored");
        return json();
    }
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        if (it->hppsid == session->hppsid) {
            Pending pending = std::move(*it);
            held_.erase(it);
            queue_.cancel(pending.expiry);
            json reply = replyTo(pending.request, config_.interruptCode, config_.interruptText);
            reply["hppsid"] = session->hppsid;
            reply["hppstatus"] = session->status;
            note("status wait on " + session->hppsid + " interrupted by the terminal");
            send(pending, reply);
            return json();
        }
    }
    note("interrupt with no wait pending on " + session->hppsid);
    return json();
}

json GatewaySim::answerPurchase(const json& request) {
    if (const char* missing = firstMissing(request, {"orderid", "amt"})) {
        return replyTo(request, "30", upper(missing) + " MISSING");
    }
    const auto found = orders_.find(textOf(request, "orderid"));
    if (found == orders_.end() || found->second.reversed) {
        return replyTo(request, "25", "ORDER NOT FOUND");
    }
    GatewayOrder& order = found->second;
    std::int64_t amount = 0;
    if (!integerOf(request, "amt", amount) || amount != order.amount) {
        return replyTo(request, "T8", "AMOUNT MISMATCH");
    }
    if (!order.captured) {
        order.captured = true;
        order.txref = numbered("KTX", ++counter_);
        note("order " + order.orderid + " captured as " + order.txref);
    }
    json reply = replyTo(request, "00", "APPROVED");
    reply["orderid"] = order.orderid;
    reply["txref"] = order.txref;
    reply["amt"] = order.amount;
    reply["currency"] = order.currency;
    reply["paydt"] = paymentTime();
    reply["hrc"] = "00";
    reply["hrt"] = "APPROVED";
    return reply;
}

json GatewaySim::answerRefund(const json& request) {
    if (const char* missing = firstMissing(request, {"amt"})) {
        return replyTo(request, "30", upper(missing) + " MISSING");
    }
    const std::string orderid = textOf(request, "orderid");
    const std::string manual = textOf(request, "manualorderid");
    if (orderid.empty() && manual.empty()) {
        return replyTo(request, "30", "ORDERID MISSING");
    }
    auto found = orders_.find(orderid.empty() ? manual : orderid);
    if (found == orders_.end() || !found->second.captured) {
        return replyTo(request, "25", "ORDER NOT FOUND");
    }
    const std::string repeatKey = textOf(request, "uid") + ":" + request["stan"].dump();
    const auto repeated = refundsByUid_.find(repeatKey);
    if (repeated != refundsByUid_.end()) {
        return repeated->second; // the same refund sent again: the same answer
    }
    GatewayOrder& order = found->second;
    std::int64_t amount = 0;
    if (!integerOf(request, "amt", amount) || amount <= 0 ||
        amount > order.amount - order.refunded) {
        return replyTo(request, "T8", "INVALID REFUND AMOUNT");
    }
    order.refunded += amount;
    json reply = replyTo(request, "00", "REFUNDED");
    reply["refundid"] = numbered("RFD", ++counter_);
    reply["orderid"] = order.orderid;
    if (!manual.empty()) {
        reply["manualorderid"] = manual;
    }
    reply["txref"] = numbered("KTX", counter_);
    reply["amt"] = amount;
    reply["currency"] = order.currency;
    reply["paydt"] = paymentTime();
    refundsByUid_[repeatKey] = reply;
    note("order " + order.orderid + " refunded " + std::to_string(amount));
    return reply;
}

json GatewaySim::answerReversal(const json& request) {
    const std::string type = textOf(request, "type");
    if (type.size() < 2 || type.back() != '-') {
        return replyTo(request, "30", "NOT A REVERSAL");
    }
    const std::string original = type.substr(0, type.size() - 1);
    std::string undone = "nothing";
    if (original == "P") {
        const auto found = orders_.find(textOf(request, "orderid"));
        if (found != orders_.end() && found->second.captured) {
            found->second.captured = false;
            found->second.reversed = true;
            undone = "order " + found->first;
        }
    } else if (original == "N") {
        if (GatewaySession* session = sessionFor(request)) {
            session->status = "REVERSED";
            undone = "session " + session->hppsid;
        }
    }
    reversals_.push_back(type + " " + undone);
    note("reversal " + type + ": " + undone + " undone");
    return replyTo(request, "00", "REVERSED");
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

GatewaySession* GatewaySim::latestOpenSession(std::string& error) {
    for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
        if (it->status == "WAITING" || it->status == "IN_PROGRESS") {
            return &*it;
        }
    }
    error = sessions_.empty() ? "no payment session has been opened" : "no payment session is open";
    return nullptr;
}

void GatewaySim::resolveWaits(const GatewaySession& session) {
    for (std::size_t i = 0; i < held_.size();) {
        const std::string known = held_[i].request.contains("hppstatus")
                                      ? textOf(held_[i].request, "hppstatus")
                                      : "WAITING";
        if (held_[i].hppsid == session.hppsid && known != session.status) {
            Pending pending = std::move(held_[i]);
            held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
            queue_.cancel(pending.expiry);
            send(pending, statusReply(pending, session));
        } else {
            ++i;
        }
    }
}

bool GatewaySim::customerOpens(std::string& error) {
    GatewaySession* session = latestOpenSession(error);
    if (session == nullptr) {
        return false;
    }
    if (session->status != "WAITING") {
        error = "the customer has already opened the payment page";
        return false;
    }
    session->status = "IN_PROGRESS";
    note("customer opens the payment page of " + session->hppsid);
    resolveWaits(*session);
    return true;
}

bool GatewaySim::customerPays(std::string& error) {
    GatewaySession* session = latestOpenSession(error);
    if (session == nullptr) {
        return false;
    }
    session->status = "COMPLETED";
    session->orderid = numbered("ORD", ++counter_);
    GatewayOrder order;
    order.orderid = session->orderid;
    order.amount = session->amount;
    order.currency = session->currency;
    orders_[order.orderid] = order;
    note("customer pays " + session->hppsid + ": order " + order.orderid);
    resolveWaits(*session);
    return true;
}

bool GatewaySim::customerGivesUp(std::string& error) {
    GatewaySession* session = latestOpenSession(error);
    if (session == nullptr) {
        return false;
    }
    session->status = "CANCELLED";
    note("customer gives up on " + session->hppsid);
    resolveWaits(*session);
    return true;
}

std::string GatewaySim::paymentTime() const {
    return calendar_.text(queue_.now() > 0 ? queue_.now() : 0);
}

} // namespace sim
