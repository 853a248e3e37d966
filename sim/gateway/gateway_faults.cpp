#include "sim/gateway/gateway_faults.h"

#include <nlohmann/json.hpp>

namespace sim {

const char* faultModeName(FaultMode mode) {
    switch (mode) {
    case FaultMode::hostFailure:
        return "host-failure";
    case FaultMode::noReply:
        return "no-reply";
    case FaultMode::late:
        return "late";
    case FaultMode::wrongStan:
        return "wrong-stan";
    case FaultMode::wrongType:
        return "wrong-type";
    case FaultMode::wrongMtype:
        return "wrong-mtype";
    case FaultMode::badJson:
        return "bad-json";
    case FaultMode::dropField:
        return "drop";
    case FaultMode::setField:
        return "set";
    case FaultMode::decline:
        return "decline";
    case FaultMode::duplicate:
        return "duplicate";
    }
    return "?";
}

std::string faultKindOf(const std::string& type, std::int32_t msgType) {
    if (msgType == 400 || (!type.empty() && type.back() == '-')) {
        return "REV";
    }
    return type;
}

std::vector<Fault> takeMatchingFaults(std::vector<Fault>& faults, const std::string& kind) {
    std::vector<Fault> matching;
    for (Fault& fault : faults) {
        if (fault.kind != "*" && fault.kind != kind) {
            continue;
        }
        ++fault.seen;
        const bool started = fault.seen >= fault.from;
        const bool within = fault.times == 0 || fault.seen < fault.from + fault.times;
        if (started && within) {
            matching.push_back(fault);
        }
    }
    return matching;
}

namespace {

// Edits the reply JSON; a reply that is not a JSON object is left alone.
template <typename Edit> void editMessage(GatewayOutcome& outcome, Edit edit) {
    nlohmann::json reply = nlohmann::json::parse(outcome.message, nullptr, false);
    if (!reply.is_object()) {
        return;
    }
    edit(reply);
    outcome.message = reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json valueFor(const std::string& text) {
    nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    return parsed.is_discarded() ? nlohmann::json(text) : parsed;
}

void changeStan(nlohmann::json& reply) {
    if (reply.contains("stan") && reply["stan"].is_number_integer()) {
        reply["stan"] = reply["stan"].get<std::int64_t>() + 1;
    } else {
        reply["stan"] = 999999;
    }
}

void changeType(nlohmann::json& reply) {
    const std::string type =
        reply.contains("type") && reply["type"].is_string() ? reply["type"].get<std::string>() : "";
    reply["type"] = type == "X" ? "Y" : "X";
}

} // namespace

void applyFault(const Fault& fault, GatewayOutcome& outcome) {
    std::string description = faultModeName(fault.mode);
    switch (fault.mode) {
    case FaultMode::hostFailure:
        outcome.result = fault.code;
        outcome.resultText = fault.text;
        outcome.hasMessage = false;
        break;
    case FaultMode::noReply:
        outcome.deliver = false;
        break;
    case FaultMode::late:
        outcome.delay += fault.delay;
        outcome.keepAfterTimeout = outcome.keepAfterTimeout || fault.keepAfterTimeout;
        description += " " + formatMillis(fault.delay);
        break;
    case FaultMode::wrongStan:
        editMessage(outcome, changeStan);
        break;
    case FaultMode::wrongType:
        editMessage(outcome, changeType);
        break;
    case FaultMode::wrongMtype:
        outcome.mtype += 1;
        break;
    case FaultMode::badJson:
        outcome.message = "{\"rc\":\"00\",\"type\":";
        break;
    case FaultMode::dropField:
        editMessage(outcome, [&](nlohmann::json& reply) { reply.erase(fault.field); });
        description += " " + fault.field;
        break;
    case FaultMode::setField:
        editMessage(outcome,
                    [&](nlohmann::json& reply) { reply[fault.field] = valueFor(fault.value); });
        description += " " + fault.field + "=" + fault.value;
        break;
    case FaultMode::decline:
        editMessage(outcome, [&](nlohmann::json& reply) {
            reply["rc"] = fault.code;
            reply["rt"] = fault.text;
        });
        description += " " + fault.code;
        break;
    case FaultMode::duplicate:
        outcome.copyAfter = fault.delay > 0 ? fault.delay : 1000;
        description += " after " + formatMillis(outcome.copyAfter);
        break;
    }
    outcome.faults.push_back(description);
}

} // namespace sim
