#include "config/persisted_records.h"

#include "documents/gateway_message.h"
#include "documents/json_writer.h"
#include "host/host_bridge.h"
#include "host/host_methods.h"

namespace {

bool isReversible(const std::string& type) {
    return type == "N" || type == "D" || type == "P";
}

} // namespace

std::string readToken(HostBridge& bridge) {
    return getVariable(bridge, recordName::token, "");
}

void storeActivationStatus(HostBridge& bridge, const std::string& status) {
    setVariable(bridge, recordName::activationStatus, status);
}

void storeLastTransaction(HostBridge& bridge, const std::string& text) {
    setVariable(bridge, recordName::lastTransaction, text);
}

void storeLastReceipt(HostBridge& bridge, const std::string& text) {
    setVariable(bridge, recordName::lastReceipt, text);
}

void storeDuplicateReceipt(HostBridge& bridge, const std::string& text) {
    setVariable(bridge, recordName::receiptDuplicate, text);
}

ReversalRecord storeReversal(HostBridge& bridge, const GatewayRequest& request) {
    const std::string type = request.type.value_or("");
    if (!isReversible(type)) {
        return ReversalRecord::notNeeded;
    }
    const std::string reversedType = type + "-";
    const std::int32_t result =
        setVariable(bridge, recordName::reversalData,
                    writeRequestJson(request, {JsonMember::string("type", reversedType),
                                               JsonMember::number("repeat", 0),
                                               JsonMember::number("reply", 0)}));
    return result < 0 ? ReversalRecord::refused : ReversalRecord::stored;
}

bool isReversalType(const std::string& type) {
    return type.size() > 1 && type.back() == '-' && isReversible(type.substr(0, type.size() - 1));
}

bool clearReversal(HostBridge& bridge) {
    return setVariable(bridge, recordName::reversalData, "") >= 0;
}
