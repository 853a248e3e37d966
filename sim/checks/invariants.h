// Rules every run must keep, whatever its scenario says: no money-taking
// gateway message is left without a way back (a reversal record or an
// accepted reversal), and the POS gets one result per transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/host/run_record.h"
#include "sim/host/variable_store.h"

namespace sim {

// One message the host handed to the module, with where the run record
// stood at that moment (so that it can be placed among requests and
// gateway messages).
struct ObservedDelivery {
    Millis at = 0;
    std::string name;
    std::string text; // the whole message
    std::int32_t returned = 0;
    std::size_t requestsBefore = 0; // record.requests.size() when it was delivered
    std::size_t gatewayBefore = 0;  // record.gateway.size() when it was delivered
};

struct RunObservations {
    std::vector<ObservedDelivery> deliveries;
    // deliveries.size() and record.requests.size() at each restart of the module.
    std::vector<std::size_t> restartsAtDelivery;
    std::vector<std::size_t> restartsAtRequest;
    std::vector<std::size_t> restartsAtGateway; // record.gateway.size() at each restart
    std::vector<std::map<std::string, std::string>> storeAtRestart; // the host variables then
    bool endedNaturally = true;  // false: the run was cut off (limit, endless loop)
    bool awaitingPerson = false; // at the end a screen or key wait was still open
};

// The gateway message the host delivered in reply to record.gateway[index]
// and that the module would have taken as its answer, or null (no reply, a
// host failure or time-out, or a reply it could not match). Replies after a
// restart of the module answer nothing sent before it.
const ObservedDelivery* answerTo(const RunRecord& record, const RunObservations& seen,
                                 std::size_t index, std::string& rc);

// The first reply approving record.gateway[index] ("00", and matched as the
// module matches its replies) delivered before request number `before`,
// whatever came first; null when none. A refund the terminal learns was paid
// this way before its result must be reported approved: a refund has no
// reversal, and the module takes its approval whenever it comes before the
// result (the retry question and the result step included).
const ObservedDelivery* approvalDelivered(const RunRecord& record, const RunObservations& seen,
                                          std::size_t index, std::size_t before);

// A string member's text ("" when absent or not a string).
std::string textMember(const nlohmann::json& object, const char* key);

// A purchase ("P") or refund ("R") request itself, not its reversal.
bool isMoneyStep(const GatewayMessage& message);

// A member as its JSON text ("" when absent), for comparing as the module
// does.
std::string memberText(const nlohmann::json& object, const char* key);

// The gateway reply a HostReceiveEvent delivery carries (null when it carries
// none, or no readable one).
nlohmann::json replyCarried(const ObservedDelivery& delivery);

// True when a later reversal of record.gateway[index] (MsgType 400, its kind
// with "-", the same stan, payment session or order) was accepted ("00" or
// "0A") and journalled.
bool reversedLater(const RunRecord& record, const RunObservations& seen, std::size_t index);

// True when record.requests[index] was answered -181 and the module sent
// the same request again next: one request asked again with a bigger reply
// buffer, not a second one.
bool askedAgain(const RunRecord& record, std::size_t index);

// One transaction as the host saw it: begun by a door the module took (a POS
// request or an entry point that returned 1) and running until the next
// one. Request and gateway indexes are half-open ranges in the run record.
struct TransactionSpan {
    std::size_t number = 0; // from 1
    const ObservedDelivery* door = nullptr;
    std::size_t requestFrom = 0;
    std::size_t requestTo = 0;
    std::size_t gatewayFrom = 0;
    std::size_t gatewayTo = 0;
    std::vector<std::size_t> results; // request indexes of its DllEndTransaction
    bool cutByRestart = false;
    bool finished = false;    // not cut, and not the last of a run that stopped or still waits
    std::string name() const; // "transaction #2 (begun by PosDirectEntryPoint at 2.000s)"
};

std::vector<TransactionSpan> transactionsOf(const RunRecord& record, const RunObservations& seen);

// True when a reversal (a record or a message) undoes the message of that
// kind and JSON: its type is the kind with "-", about the same stan, payment
// session or order.
bool undoes(const nlohmann::json& reversal, const std::string& kind,
            const nlohmann::json& original);

// One failure text per broken rule.
std::vector<std::string> checkInvariants(const RunRecord& record, const VariableStore& store,
                                         const RunObservations& seen);
std::vector<std::string> checkReversalCover(const RunRecord& record, const VariableStore& store,
                                            const RunObservations& seen);
std::vector<std::string> checkResultCount(const RunRecord& record, const RunObservations& seen);

} // namespace sim
