// The checks made after each transaction of a soak.
#include "host/module_state.h"
#include "sim/checks/ledger.h"
#include "sim/soak/soak_run.h"

namespace sim {

namespace {

std::string joined(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text.empty() ? "(none)" : text;
}

// Names in now that are not in before.
std::set<std::string> added(const std::set<std::string>& before, const std::set<std::string>& now) {
    std::set<std::string> extra;
    for (const std::string& name : now) {
        if (before.count(name) == 0) {
            extra.insert(name);
        }
    }
    return extra;
}

void compareNames(const char* what, const std::set<std::string>& expected,
                  const std::set<std::string>& now, std::vector<std::string>& failures) {
    if (now != expected) {
        failures.push_back(std::string(what) + " after the transaction: " + joined(now) +
                           "; after start-up: " + joined(expected));
    }
}

const char* answerEventOf(const std::string& command) {
    if (command == "DoGetLastTransaction") {
        return "GetLastTransactionEvent";
    }
    return command == "DoGetLastReceipt" ? "GetLastReceiptEvent" : "ReprintReceiptEvent";
}

} // namespace

std::string SoakRun::variable(const std::string& name) const {
    const std::string* value = store_.find(name);
    return value == nullptr ? std::string() : *value;
}

void SoakRun::checkSale(std::vector<std::string>& failures) {
    if (record_.results.size() != 1) {
        failures.push_back(std::to_string(record_.results.size()) +
                           " results instead of exactly one");
        return;
    }
    const XmlElement& result = record_.results.front();
    const std::string code = result.childText("ResponseCode");
    const std::string expected = expectedResponse(kind_);
    if (code != expected) {
        failures.push_back("ResponseCode " + code + " instead of " + expected + " (" +
                           result.childText("ResponseText") + ")");
    }
    if (result.childText("TxnRef") != ref_) {
        failures.push_back("the result names TxnRef " + result.childText("TxnRef"));
    }
    last_.ref = ref_;
    last_.code = code;
}

void SoakRun::checkQuery(std::vector<std::string>& failures) {
    if (!record_.results.empty()) {
        failures.push_back("a receipt query gave a transaction result");
    }
    const std::string eventName = answerEventOf(query_);
    std::vector<const XmlElement*> answers;
    for (const RequestRecord& event : record_.posEvents) {
        if (event.name == eventName) {
            answers.push_back(&event.element);
        }
    }
    if (answers.size() != 1) {
        failures.push_back(query_ + ": " + std::to_string(answers.size()) + " " + eventName +
                           " answers instead of exactly one");
        return;
    }
    const XmlElement& answer = *answers.front();
    const std::string code = answer.childText("ResponseCode");
    if (query_ == "DoGetLastTransaction") {
        if (code != last_.code || answer.childText("TxnRef") != last_.ref) {
            failures.push_back(query_ + " answered " + code + " for " + answer.childText("TxnRef") +
                               " instead of " + last_.code + " for " + last_.ref);
        }
    } else if (code != "00" || answer.childText("Success") != "1") {
        failures.push_back(query_ + " answered " + code + " " + answer.childText("ResponseText"));
    } else if (query_ == "DoGetLastReceipt" &&
               answer.childText("Receipt").find(last_.ref) == std::string::npos) {
        failures.push_back(query_ + ": the receipt does not name " + last_.ref);
    }
}

void SoakRun::checkReversal(std::vector<std::string>& failures) {
    std::vector<std::string> kinds;
    for (const GatewayMessage& message : record_.gateway) {
        kinds.push_back(message.kind);
    }
    const bool reversalSent = !kinds.empty() && kinds.front() == "P-";
    if (reversalWasPending_ && !reversalSent) {
        failures.push_back("the pending reversal was not sent before the sale");
    }
    if (!reversalWasPending_ && reversalSent) {
        failures.push_back("a reversal was sent with none pending");
    }
    const bool recordLeft = !variable("REVERSAL_DATA").empty();
    reversalPending_ = kind_ == SoakKind::faultReversal;
    if (recordLeft != reversalPending_) {
        failures.push_back(recordLeft ? "a reversal record is left" : "no reversal record is left");
    }
}

void SoakRun::checkNothingLeft(std::vector<std::string>& failures) {
    if (!host_.pending().empty()) {
        failures.push_back(std::to_string(host_.pending().size()) +
                           " screens, key waits or prints still open at the host");
    }
    if (host_.gateway().heldWaits() != 0) {
        failures.push_back("status enquiries still held at the gateway");
    }
    const QuenKlarna& extension = moduleState().extension;
    if (extension.foreground.inProgress || extension.background.inProgress) {
        failures.push_back("a gateway exchange is still in progress in the module");
    }
}

// The ledger of this transaction's run record (the next transaction is the
// clean sale after it).
void SoakRun::checkBooks(std::vector<std::string>& failures) {
    for (const std::string& text : checkLedger(record_, store_.all(), seen_)) {
        failures.push_back(text);
    }
}

void SoakRun::checkRegistrations(std::vector<std::string>& failures) {
    const Registrations now = snapshot();
    compareNames("entry points", baseline_.entryPoints, now.entryPoints, failures);
    compareNames("subscriptions", baseline_.subscriptions, now.subscriptions, failures);
    if (now.intercepts != baseline_.intercepts) {
        failures.push_back("the intercepted commands changed");
    }
    if (now.posRegistered != baseline_.posRegistered) {
        failures.push_back("the POS registration changed");
    }
    compareNames("module entry points", baseline_.moduleEntryPoints, now.moduleEntryPoints,
                 failures);
    // Return-event handlers stay in the module's map until replaced by name;
    // the names must come from a fixed set, learnt in each kind's first run.
    const std::set<std::string> extra = added(baseline_.moduleHandlers, now.moduleHandlers);
    if (kindsSeen_.count(kind_) == 0) {
        baseline_.moduleHandlers.insert(extra.begin(), extra.end());
    } else if (!extra.empty()) {
        failures.push_back("new module handlers: " + joined(extra));
    }
}

} // namespace sim
