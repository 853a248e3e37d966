// The payment gateway as the module's messages expect it: logon with a
// token, payment sessions with a payment link, SMS links, long status waits
// that end when the simulated customer acts, purchase, refund and reversal.
// Each reply repeats the request's type and stan and comes under MTYPE =
// message type + 10, after a small latency on the virtual clock. The checks
// and the link are in gateway_sim.cpp, the answers in gateway_answers.cpp,
// the held status waits and the customer in gateway_waits.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/gateway/gateway_faults.h"
#include "sim/gateway/gateway_state.h"
#include "sim/host/event_queue.h"
#include "sim/host/run_record.h"
#include "sim/host/virtual_calendar.h"

namespace sim {

struct GatewayConfig {
    Millis latency = 300;
    std::string username; // accepted credentials; empty: any non-empty pair
    std::string password;
    std::string issuedToken; // token handed out by the logon; empty: a fresh one
    std::vector<std::string> acceptedTokens;
    std::string expiryCode = "TI"; // a wait that ran out without the customer
    std::string expiryText = "CUSTOMER TIMEOUT";
    std::string giveUpCode = "TM"; // the customer gave up on the phone
    std::string giveUpText = "CUSTOMER CANCELLED";
    std::string interruptCode = "TM"; // the terminal interrupted the wait ("Q")
    std::string interruptText = "INTERRUPTED";
};

class GatewaySim {
  public:
    using Sink = std::function<void(const GatewayOutcome&)>;
    using Note = std::function<void(const std::string&)>;

    GatewaySim(EventQueue& queue, Sink sink);

    GatewayConfig& config() { return config_; }
    void addFault(const Fault& fault) { faults_.push_back(fault); }
    void setNote(Note note) { note_ = std::move(note); }
    // The calendar payment times (paydt) are told in.
    void setCalendar(const VirtualCalendar& calendar) { calendar_ = calendar; }
    // An order that exists before the run (for refunds of earlier sales).
    void addOrder(const std::string& orderid, std::int64_t amount, const std::string& currency);

    // One message forwarded by the host; the reply comes through the sink.
    void receive(std::uint64_t exchange, std::int32_t msgType, const std::string& text);

    // The simulated customer, acting on the latest open session. False with
    // the reason when there is no session the action fits.
    bool customerOpens(std::string& error);
    bool customerPays(std::string& error);
    bool customerGivesUp(std::string& error);

    // Forgets the sessions, orders, refunds, reversals and faults so far
    // (held waits and tokens are kept): a long run's history.
    void forgetHistory();
    void clearFaults() { faults_.clear(); }
    const std::vector<Fault>& faults() const { return faults_; }

    // What the gateway remembers, and a call after every change to it (to
    // keep it in a file).
    const GatewayState& state() const { return state_; }
    void restore(const GatewayState& state) { state_ = state; }
    // The number the last id took: the next token, session, order or refund
    // is numbered after it.
    void setCounter(int counter) { state_.counter = counter; }
    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

    const std::vector<GatewaySession>& sessions() const { return state_.sessions; }
    const std::map<std::string, GatewayOrder>& orders() const { return state_.orders; }
    const std::vector<std::string>& reversals() const { return state_.reversals; }
    std::size_t heldWaits() const { return held_.size(); }
    // The money moved since the last call (captures, refunds paid, captures
    // undone), for the caller's book; each one's message index is left to it.
    std::vector<MoneyMove> takeMoves();

  private:
    struct Pending {
        std::uint64_t exchange = 0;
        std::int32_t msgType = 0;
        nlohmann::json request;
        std::vector<Fault> faults;
        std::string kind;
        EventQueue::Id expiry = 0;
        std::string hppsid;
    };

    void handle(Pending pending);
    nlohmann::json answerLogon(const nlohmann::json& request);
    nlohmann::json answerSession(const nlohmann::json& request);
    nlohmann::json answerSms(const nlohmann::json& request);
    bool holdWait(Pending& pending, nlohmann::json& reply);
    nlohmann::json answerInterrupt(const nlohmann::json& request);
    nlohmann::json answerMoney(const Pending& pending);
    nlohmann::json answerPurchase(const nlohmann::json& request);
    nlohmann::json answerRefund(const nlohmann::json& request);
    nlohmann::json answerReversal(const nlohmann::json& request);

    // A failure reply when a check fails, else null.
    nlohmann::json checkCommon(const Pending& pending, bool needsToken) const;
    GatewaySession* sessionFor(const nlohmann::json& request);
    GatewaySession* latestOpenSession(std::string& error);
    void resolveWaits(const GatewaySession& session);
    void resolveWait(Pending pending, const nlohmann::json& reply);
    nlohmann::json statusReply(const Pending& pending, const GatewaySession& session) const;
    void expireWait(std::uint64_t exchange);
    void send(const Pending& pending, const nlohmann::json& reply);
    void note(const std::string& text) const;
    void moved(MoneyMove::Kind kind, const GatewayOrder& order, std::int64_t amount,
               const nlohmann::json& request);
    void changed() const;
    std::string paymentTime() const;

    EventQueue& queue_;
    Sink sink_;
    Note note_;
    VirtualCalendar calendar_;
    GatewayConfig config_;
    std::vector<Fault> faults_;
    GatewayState state_;
    std::function<void()> onChange_;
    std::vector<Pending> held_;
    std::vector<MoneyMove> moves_;
};

// The reply skeleton every answer starts from: type and stan repeated,
// mt + 10, and rc with rt.
nlohmann::json replyTo(const nlohmann::json& request, const std::string& rc, const std::string& rt);
// Parses a gateway message; bytes that are not UTF-8 are read as Latin-1.
nlohmann::json parseGatewayText(const std::string& text);

} // namespace sim
