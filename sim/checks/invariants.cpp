#include "sim/checks/invariants.h"

#include <cstdlib>

#include "sim/gateway/gateway_sim.h"
#include "sim/host/sim_xml.h"

namespace sim {

using nlohmann::json;

namespace {

// The kinds of message after which money may have been taken.
bool isMoneyAtRisk(const std::string& kind) {
    return kind == "N" || kind == "D" || kind == "P";
}

bool isAcceptedReversalCode(const std::string& rc) {
    return rc == "00" || rc == "0A";
}

std::int64_t integerOf(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::int32_t msgTypeOf(const GatewayMessage& message) {
    return static_cast<std::int32_t>(integerOf(message.hostRequest.childText("MsgType", "0")));
}

// The gateway reply a HostReceiveEvent carries.
struct CarriedReply {
    bool isReplyEvent = false;
    std::string result;
    std::int32_t mtype = 0;
    json message;
};

CarriedReply readCarried(const ObservedDelivery& delivery) {
    CarriedReply carried;
    if (delivery.name != "HostReceiveEvent") {
        return carried;
    }
    const XmlParseResult parsed = parseXml(delivery.text);
    const XmlElement* container = parsed.root.find("VORTAXIS_EVENT");
    const XmlElement* event = container != nullptr ? container->find("HostReceiveEvent") : nullptr;
    if (event == nullptr) {
        return carried;
    }
    carried.isReplyEvent = true;
    carried.result = event->childText("Result");
    const XmlParseResult header = parseXml(event->childText("Header"));
    carried.mtype = static_cast<std::int32_t>(integerOf(header.root.childText("MTYPE", "0")));
    if (event->has("Message")) {
        carried.message = parseGatewayText(event->childText("Message"));
    }
    return carried;
}

// A delivered reply the module can match to the message sent: the host's
// "00", the reply's MTYPE, the message's type and stan, and an rc.
bool answersMessage(const CarriedReply& carried, const GatewayMessage& sent) {
    const json& reply = carried.message;
    return carried.isReplyEvent && carried.result == "00" &&
           carried.mtype == msgTypeOf(sent) + 10 && reply.is_object() &&
           memberText(reply, "type") == memberText(sent.json, "type") &&
           memberText(reply, "stan") == memberText(sent.json, "stan") &&
           !textMember(reply, "rc").empty();
}

// Index of the first delivery made after record.gateway[index] was sent, and
// the end of the module's life it was sent in.
void deliveryRange(const RunObservations& seen, std::size_t index, std::size_t& first,
                   std::size_t& end) {
    first = seen.deliveries.size();
    for (std::size_t d = 0; d < seen.deliveries.size(); ++d) {
        if (seen.deliveries[d].gatewayBefore > index) {
            first = d;
            break;
        }
    }
    end = seen.deliveries.size();
    for (std::size_t r = 0; r < seen.restartsAtDelivery.size(); ++r) {
        if (r < seen.restartsAtGateway.size() && seen.restartsAtGateway[r] > index) {
            end = seen.restartsAtDelivery[r];
            break;
        }
    }
}

bool sameSubject(const json& left, const json& right) {
    if (memberText(left, "stan") == memberText(right, "stan")) {
        return true;
    }
    // A later message about the same payment session or order covers it too.
    for (const char* key : {"hppsid", "orderid"}) {
        const std::string a = textMember(left, key);
        if (!a.empty() && a == textMember(right, key)) {
            return true;
        }
    }
    return false;
}

bool journalledDuring(const RunRecord& record, const RunObservations& seen, std::size_t delivery) {
    const std::size_t from = seen.deliveries[delivery].requestsBefore;
    const std::size_t to = delivery + 1 < seen.deliveries.size()
                               ? seen.deliveries[delivery + 1].requestsBefore
                               : record.requests.size();
    for (std::size_t r = from; r < to && r < record.requests.size(); ++r) {
        if (record.requests[r].name == "AddJournal") {
            return true;
        }
    }
    return false;
}

std::string describe(const GatewayMessage& message, std::size_t index) {
    return "gateway message #" + std::to_string(index + 1) + " (" + message.kind + ", stan " +
           memberText(message.json, "stan") + ")";
}

bool coveredByRecord(const RunRecord& record, const VariableStore& store, std::size_t index) {
    const std::string* value = store.find("REVERSAL_DATA");
    if (value == nullptr || value->empty()) {
        return false;
    }
    const GatewayMessage& original = record.gateway[index];
    return undoes(parseGatewayText(*value), original.kind, original.json);
}

} // namespace

bool undoes(const json& reversal, const std::string& kind, const json& original) {
    return textMember(reversal, "type") == kind + "-" && sameSubject(reversal, original);
}

const ObservedDelivery* answerTo(const RunRecord& record, const RunObservations& seen,
                                 std::size_t index, std::string& rc) {
    rc.clear();
    std::size_t first = 0;
    std::size_t end = 0;
    deliveryRange(seen, index, first, end);
    const GatewayMessage& sent = record.gateway[index];
    for (std::size_t d = first; d < end; ++d) {
        const CarriedReply carried = readCarried(seen.deliveries[d]);
        if (!carried.isReplyEvent) {
            continue;
        }
        // The first reply event after the message decides its exchange: a
        // host failure or time-out ends it, and so does any reply the module
        // cannot match (another MTYPE, type or stan, or no rc).
        if (!answersMessage(carried, sent)) {
            return nullptr;
        }
        rc = textMember(carried.message, "rc");
        return &seen.deliveries[d];
    }
    return nullptr;
}

const ObservedDelivery* approvalDelivered(const RunRecord& record, const RunObservations& seen,
                                          std::size_t index, std::size_t before) {
    std::size_t first = 0;
    std::size_t end = 0;
    deliveryRange(seen, index, first, end);
    for (std::size_t d = first; d < end && seen.deliveries[d].requestsBefore <= before; ++d) {
        const CarriedReply carried = readCarried(seen.deliveries[d]);
        if (answersMessage(carried, record.gateway[index]) &&
            textMember(carried.message, "rc") == "00") {
            return &seen.deliveries[d];
        }
    }
    return nullptr;
}

std::string textMember(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_string()) {
        return {};
    }
    return object[key].get<std::string>();
}

bool isMoneyStep(const GatewayMessage& message) {
    return (message.kind == "P" || message.kind == "R") &&
           message.hostRequest.childText("MsgType") != "400";
}

std::string memberText(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) {
        return {};
    }
    return object[key].dump();
}

json replyCarried(const ObservedDelivery& delivery) {
    return readCarried(delivery).message;
}

bool reversedLater(const RunRecord& record, const RunObservations& seen, std::size_t index) {
    const GatewayMessage& original = record.gateway[index];
    for (std::size_t later = index + 1; later < record.gateway.size(); ++later) {
        const GatewayMessage& reversal = record.gateway[later];
        if (msgTypeOf(reversal) != 400 || !undoes(reversal.json, original.kind, original.json)) {
            continue;
        }
        std::string rc;
        const ObservedDelivery* reply = answerTo(record, seen, later, rc);
        if (reply != nullptr && isAcceptedReversalCode(rc) &&
            journalledDuring(record, seen,
                             static_cast<std::size_t>(reply - seen.deliveries.data()))) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> checkReversalCover(const RunRecord& record, const VariableStore& store,
                                            const RunObservations& seen) {
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < record.gateway.size(); ++i) {
        const GatewayMessage& message = record.gateway[i];
        if (!isMoneyAtRisk(message.kind) || msgTypeOf(message) == 400) {
            continue;
        }
        std::string rc;
        if (answerTo(record, seen, i, rc) != nullptr) {
            continue;
        }
        if (!coveredByRecord(record, store, i) && !reversedLater(record, seen, i)) {
            failures.push_back("invariant: " + describe(message, i) +
                               " got no reply the module could take, yet it is neither in "
                               "REVERSAL_DATA nor reversed with an accepted, journalled reply");
        }
    }
    return failures;
}

namespace {

bool startsTransaction(const ObservedDelivery& delivery) {
    return delivery.returned == 1 &&
           (delivery.name == "PosDirectEntryPoint" || delivery.name == "EntryPointEvent");
}

bool restartBetween(const RunObservations& seen, std::size_t fromRequest, std::size_t toRequest) {
    for (const std::size_t at : seen.restartsAtRequest) {
        if (at >= fromRequest && at < toRequest) {
            return true;
        }
    }
    return false;
}

} // namespace

bool askedAgain(const RunRecord& record, std::size_t index) {
    if (index + 1 >= record.requests.size() || record.requests[index].result != -181) {
        return false;
    }
    const RequestRecord& asked = record.requests[index];
    const RequestRecord& next = record.requests[index + 1];
    return next.name == asked.name && toCompactText(next.element) == toCompactText(asked.element);
}

std::string TransactionSpan::name() const {
    return "transaction #" + std::to_string(number) + " (begun by " + door->name + " at " +
           formatMillis(door->at) + ")";
}

std::vector<TransactionSpan> transactionsOf(const RunRecord& record, const RunObservations& seen) {
    std::vector<TransactionSpan> spans;
    for (const ObservedDelivery& delivery : seen.deliveries) {
        if (startsTransaction(delivery)) {
            TransactionSpan span;
            span.number = spans.size() + 1;
            span.door = &delivery;
            span.requestFrom = delivery.requestsBefore;
            span.gatewayFrom = delivery.gatewayBefore;
            spans.push_back(span);
        }
    }
    for (std::size_t s = 0; s < spans.size(); ++s) {
        const bool last = s + 1 == spans.size();
        TransactionSpan& span = spans[s];
        span.requestTo = last ? record.requests.size() : spans[s + 1].requestFrom;
        span.gatewayTo = last ? record.gateway.size() : spans[s + 1].gatewayFrom;
        for (std::size_t r = span.requestFrom; r < span.requestTo && r < record.requests.size();
             ++r) {
            if (record.requests[r].name == "DllEndTransaction" && !askedAgain(record, r)) {
                span.results.push_back(r);
            }
        }
        span.cutByRestart = restartBetween(seen, span.requestFrom, span.requestTo);
        span.finished =
            !span.cutByRestart && (!last || (seen.endedNaturally && !seen.awaitingPerson));
    }
    return spans;
}

std::vector<std::string> checkResultCount(const RunRecord& record, const RunObservations& seen) {
    std::vector<std::string> failures;
    const std::vector<TransactionSpan> spans = transactionsOf(record, seen);
    const std::size_t firstDoor = spans.empty() ? record.requests.size() : spans[0].requestFrom;
    for (std::size_t r = 0; r < firstDoor && r < record.requests.size(); ++r) {
        if (record.requests[r].name == "DllEndTransaction") {
            failures.push_back("invariant: a result reached the POS before any transaction began");
        }
    }
    for (const TransactionSpan& span : spans) {
        if (span.results.size() > 1) {
            failures.push_back("invariant: " + span.name() + " sent " +
                               std::to_string(span.results.size()) + " results to the POS");
        } else if (span.results.empty() && span.finished) {
            failures.push_back("invariant: " + span.name() + " ended without a result for the POS");
        }
    }
    return failures;
}

std::vector<std::string> checkInvariants(const RunRecord& record, const VariableStore& store,
                                         const RunObservations& seen) {
    std::vector<std::string> failures = checkReversalCover(record, store, seen);
    const std::vector<std::string> results = checkResultCount(record, seen);
    failures.insert(failures.end(), results.begin(), results.end());
    return failures;
}

} // namespace sim
