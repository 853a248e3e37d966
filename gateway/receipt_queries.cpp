// The POS's questions outside a transaction: reprint the last receipt,
// return the last receipt text, return the last transaction result. Each is
// answered from the records the end of every transaction leaves behind.
#include <string>

#include "config/persisted_records.h"
#include "host/filter_envelope.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "host/startup_registration.h"
#include "platform/platform.h"
#include "transaction/request_origin.h"

namespace {

const char* const fixedSource = "Klarna";

std::string requestMerchant(const xmlNode& request) {
    return request.getChildText("Merchant", registration::merchantNumber);
}

std::string requestDestination(const xmlNode& request) {
    return request.getChildText("OriginalSource", "POS");
}

xmlNode answer(const char* name, const std::string& code, const std::string& text,
               const std::string& merchant, bool success) {
    xmlNode event;
    event.name = name;
    appendChild(event, "ResponseCode", code);
    appendChild(event, "ResponseText", text);
    appendChild(event, "Merchant", merchant);
    appendChild(event, "Success", success ? "1" : "0");
    return event;
}

// Wraps the answer for the POS, writes it to the debug output and hands it
// to the host; the host's result is not examined.
void sendAnswer(HostBridge& bridge, const char* label, const std::string& source,
                const std::string& destination, const xmlNode& event) {
    const xmlDoc envelope = buildFilterEnvelope(source, destination, filterContainer::event, event);
    platform::debugOutput(label);
    platform::debugOutput(envelope.toString());
    sendRequest(bridge, envelope);
}

const char* const reprintLabel = "Klarna TX Reprint Receipt:\n";

} // namespace

std::int32_t QuenKlarna::DoReprintReceipt(xmlDoc& document, xmlNode& element, std::string&) {
    const std::string duplicate = getVariable(bridge, recordName::receiptDuplicate, "");
    if (duplicate.empty()) {
        sendAnswer(bridge, reprintLabel, bridge.sourceName, requestDestination(element),
                   answer("ReprintReceiptEvent", "E1", "RECEIPT NOT FOUND",
                          requestMerchant(element), false));
        return 1;
    }
    if (foreground.inProgress) {
        // A running transaction owns the printer and PrintReceiptEvent (its
        // result step prints): a reprint now would take its print event or
        // leave one for it to take. Answered at once, nothing printed.
        sendAnswer(bridge, reprintLabel, bridge.sourceName, requestDestination(element),
                   answer("ReprintReceiptEvent", "E1", "ERROR", requestMerchant(element), false));
        return 1;
    }
    reprintMerchant = requestMerchant(element);
    // A request that does not name its source is answered where the other
    // answers go, so the answer is not lost.
    reprintDestination = document.getChildText("VORTAXIS_SOURCE", "");
    if (reprintDestination.empty()) {
        reprintDestination = requestDestination(element);
    }
    xmlNode print;
    appendChild(print, "Receipt", duplicate);
    appendChild(print, "Printer", choosePrinter(element));
    printReceipt(bridge, print, answerOnce(handler(&QuenKlarna::onReprintPrinted)));
    return 1;
}

std::int32_t QuenKlarna::onReprintPrinted(xmlDoc&, xmlNode& element, std::string&) {
    const std::string result = element.getChildText("Result", "E1");
    sendAnswer(bridge, reprintLabel, bridge.sourceName, reprintDestination,
               answer("ReprintReceiptEvent", result, result == "00" ? "APPROVED" : "ERROR",
                      reprintMerchant, true));
    endSession(bridge);
    return 1;
}

std::int32_t QuenKlarna::DoGetLastReceipt(xmlDoc&, xmlNode& element, std::string&) {
    const std::string receipt = getVariable(bridge, recordName::lastReceipt, "");
    const std::string merchant = requestMerchant(element);
    xmlNode event = receipt.empty()
                        ? answer("GetLastReceiptEvent", "E1", "RECEIPT NOT FOUND", merchant, false)
                        : answer("GetLastReceiptEvent", "00", "APPROVED", merchant, true);
    if (!receipt.empty()) {
        appendChild(event, "Receipt", receipt);
    }
    sendAnswer(bridge, "Klarna TX Get Last Receipt:\n", bridge.sourceName,
               requestDestination(element), event);
    return 1;
}

std::int32_t QuenKlarna::DoGetLastTransaction(xmlDoc&, xmlNode& element, std::string&) {
    const std::string stored = getVariable(bridge, recordName::lastTransaction, "");
    xmlNode event;
    if (!stored.empty()) {
        event = xmlNode(stored.c_str());
        if (event.getChildText("ResponseCode", "").empty()) {
            event = xmlNode();
        }
    }
    if (event.children.empty()) {
        event = answer("GetLastTransactionEvent", "E1", "TXN NOT FOUND", requestMerchant(element),
                       false);
    }
    event.name = "GetLastTransactionEvent";
    sendAnswer(bridge, "Klarna TX Get Last Transaction:\n", fixedSource,
               requestDestination(element), event);
    return 1;
}
