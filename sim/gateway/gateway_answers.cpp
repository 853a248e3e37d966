// The gateway's answers: logon, payment session, SMS link, purchase, refund
// and reversal.
#include "sim/gateway/gateway_json.h"
#include "sim/gateway/gateway_sim.h"

namespace sim {

using gw::firstMissing;
using gw::integerOf;
using gw::numbered;
using gw::textOf;
using gw::upper;
using nlohmann::json;

namespace {

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

} // namespace

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
        config_.issuedToken.empty() ? numbered("TOK", ++state_.counter) : config_.issuedToken;
    state_.tokens.push_back(token);
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
    const int n = ++state_.counter;
    session.paysid = numbered("PAY", n);
    session.hppsid = numbered("HPP", n);
    session.amount = amount;
    session.currency = textOf(request, "currency");
    state_.sessions.push_back(session);
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
    for (GatewaySession& session : state_.sessions) {
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

// A purchase or refund. One the gateway declines on purpose moves no money:
// it answers as it would, with the state and book as they were before.
json GatewaySim::answerMoney(const Pending& pending) {
    bool declined = false;
    for (const Fault& fault : pending.faults) {
        declined = declined || fault.mode == FaultMode::decline;
    }
    const auto orders = state_.orders;
    const auto refunds = state_.refunds;
    const std::size_t moves = moves_.size();
    const bool purchase = textOf(pending.request, "type") == "P";
    json reply = purchase ? answerPurchase(pending.request) : answerRefund(pending.request);
    if (declined) {
        state_.orders = orders;
        state_.refunds = refunds;
        moves_.resize(moves);
    }
    return reply;
}

json GatewaySim::answerPurchase(const json& request) {
    if (const char* missing = firstMissing(request, {"orderid", "amt"})) {
        return replyTo(request, "30", upper(missing) + " MISSING");
    }
    const auto found = state_.orders.find(textOf(request, "orderid"));
    if (found == state_.orders.end() || found->second.reversed) {
        return replyTo(request, "25", "ORDER NOT FOUND");
    }
    GatewayOrder& order = found->second;
    std::int64_t amount = 0;
    if (!integerOf(request, "amt", amount) || amount != order.amount) {
        return replyTo(request, "T8", "AMOUNT MISMATCH");
    }
    if (!order.captured) {
        order.captured = true;
        order.txref = numbered("KTX", ++state_.counter);
        note("order " + order.orderid + " captured as " + order.txref);
        moved(MoneyMove::Kind::capture, order, order.amount, request);
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
    auto found = state_.orders.find(orderid.empty() ? manual : orderid);
    if (found == state_.orders.end() || !found->second.captured) {
        return replyTo(request, "25", "ORDER NOT FOUND");
    }
    const std::string repeatKey = textOf(request, "uid") + ":" + request["stan"].dump();
    const auto repeated = state_.refunds.find(repeatKey);
    if (repeated != state_.refunds.end()) {
        return repeated->second; // the same refund sent again: the same answer
    }
    GatewayOrder& order = found->second;
    std::int64_t amount = 0;
    if (!integerOf(request, "amt", amount) || amount <= 0 ||
        amount > order.amount - order.refunded) {
        return replyTo(request, "T8", "INVALID REFUND AMOUNT");
    }
    order.refunded += amount;
    moved(MoneyMove::Kind::refund, order, amount, request);
    json reply = replyTo(request, "00", "REFUNDED");
    reply["refundid"] = numbered("RFD", ++state_.counter);
    reply["orderid"] = order.orderid;
    if (!manual.empty()) {
        reply["manualorderid"] = manual;
    }
    reply["txref"] = numbered("KTX", state_.counter);
    reply["amt"] = amount;
    reply["currency"] = order.currency;
    reply["paydt"] = paymentTime();
    state_.refunds[repeatKey] = reply;
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
        const auto found = state_.orders.find(textOf(request, "orderid"));
        if (found != state_.orders.end() && found->second.captured) {
            found->second.captured = false;
            found->second.reversed = true;
            moved(MoneyMove::Kind::reversal, found->second, found->second.amount, request);
            undone = "order " + found->first;
        }
    } else if (original == "N") {
        if (GatewaySession* session = sessionFor(request)) {
            session->status = "REVERSED";
            undone = "session " + session->hppsid;
        }
    }
    state_.reversals.push_back(type + " " + undone);
    note("reversal " + type + ": " + undone + " undone");
    return replyTo(request, "00", "REVERSED");
}

} // namespace sim
