// Status waits the gateway holds until the simulated customer acts, and
// the customer's own actions on the payment page.
#include "sim/gateway/gateway_json.h"
#include "sim/gateway/gateway_sim.h"

namespace sim {

using gw::firstMissing;
using gw::integerOf;
using gw::numbered;
using gw::textOf;
using gw::upper;
using nlohmann::json;

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

GatewaySession* GatewaySim::latestOpenSession(std::string& error) {
    for (auto it = state_.sessions.rbegin(); it != state_.sessions.rend(); ++it) {
        if (it->status == "WAITING" || it->status == "IN_PROGRESS") {
            return &*it;
        }
    }
    error = state_.sessions.empty() ? "no payment session has been opened"
                                    : "no payment session is open";
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
    changed();
    return true;
}

bool GatewaySim::customerPays(std::string& error) {
    GatewaySession* session = latestOpenSession(error);
    if (session == nullptr) {
        return false;
    }
    session->status = "COMPLETED";
    session->orderid = numbered("ORD", ++state_.counter);
    GatewayOrder order;
    order.orderid = session->orderid;
    order.amount = session->amount;
    order.currency = session->currency;
    state_.orders[order.orderid] = order;
    note("customer pays " + session->hppsid + ": order " + order.orderid);
    resolveWaits(*session);
    changed();
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
    changed();
    return true;
}

} // namespace sim
