#include "sim/cli/interactive.h"

#include <string>

namespace sim {

namespace {

const char* hint(InteractionKind kind) {
    switch (kind) {
    case InteractionKind::input:
        return "input \"TEXT\" | cancel [pinpad|pos] | timeout";
    case InteractionKind::qr:
        return "select BUTTON1 (switch to SMS) | confirm | cancel | timeout | customer pays";
    case InteractionKind::waiting:
        return "confirm | cancel [pinpad|pos] | timeout | customer pays";
    case InteractionKind::menu:
        return "select N | confirm | cancel | timeout";
    case InteractionKind::keyWait:
        return "key pinpad ENTER | key pos 1 | timeout";
    case InteractionKind::print:
        return "result CODE (the printer answers by itself)";
    }
    return "";
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

const char* interactiveHelp() {
    return "You play the customer, the operator and the POS. Type one action per line:\n"
           "  pos TxnType=P AmtPurchase=1250 CurrencyCode=AUD TxnRef=R1   the POS asks for a "
           "purchase\n"
           "  entry Klarna_PaymentMenuRoot      the Klarna entry of the host's payment menu\n"
           "  command DoGetLastTransaction      an intercepted POS command (also DoGetLastReceipt, "
           "DoReprintReceipt)\n"
           "  refresh-settings | pinpad-online 0|1 | timer\n"
           "  input \"0412345678\" | confirm | select 1 | cancel [pinpad|pos] | timeout   answer "
           "the pinpad\n"
           "  key pinpad ENTER | key pos 1      press a key the host waits for\n"
           "  customer pays | customer opens | customer gives-up   the customer on the phone\n"
           "  set-var NAME \"value\" | clear-var NAME\n"
           "  fault KIND MODE ... | fault clear   the gateway misbehaves from now on (as in a "
           "scenario's\n"
           "                                    fault line, e.g. fault P no-reply), or no more\n"
           "  wait [DURATION]                   let time pass (to the next event, or by DURATION)\n"
           "  status                            the store, the pinpad, a pending reversal, the "
           "gateway\n"
           "  help | quit\n";
}

bool Interactive::shouldAsk() const {
    const EventQueue& queue = run_.queue();
    const bool dueNow = !queue.empty() && queue.nextTime() <= queue.now();
    return !dueNow && (run_.host().awaitingPerson() || !queue.hasForeground());
}

void Interactive::describe() const {
    const std::vector<const Interaction*> pending = run_.host().pending();
    out_ << "\n--- " << formatMillis(run_.queue().now()) << " ---\n";
    for (const Interaction* interaction : pending) {
        out_ << "  waiting: " << interaction->eventName << "  (" << hint(interaction->kind)
             << ")\n";
    }
    if (run_.host().gateway().heldWaits() > 0) {
        out_ << "  the gateway waits for the customer: customer pays | customer opens | customer "
                "gives-up\n";
    }
    if (!run_.queue().empty()) {
        out_ << "  next event at " << formatMillis(run_.queue().nextTime()) << ": "
             << run_.queue().nextLabel() << "  (wait)\n";
    } else if (pending.empty()) {
        out_ << "  nothing is going on; start something (help lists the actions) or quit\n";
    }
}

void Interactive::runNext() {
    if (!run_.queue().runNext()) {
        out_ << "nothing is due; type an action or quit\n";
    }
}

void Interactive::waitFor(Millis duration) {
    const Millis until = run_.queue().now() + duration;
    while (!run_.queue().empty() && run_.queue().nextTime() <= until) {
        run_.queue().runNext();
    }
    run_.queue().advanceTo(until);
}

bool Interactive::quit() {
    const std::string open = openPayment();
    if (!open.empty() && !warnedOnQuit_) {
        warnedOnQuit_ = true;
        out_ << "a payment is still open: " << open
             << ".\nQuitting now leaves it open (as a host that stops mid-payment); type quit "
                "again to quit anyway.\n";
        return true;
    }
    if (recorder_ != nullptr && run_.queue().hasForeground()) {
        recorder_->stop(run_.queue().now());
    }
    return false;
}

void Interactive::act(const std::string& line) {
    Action action;
    std::string error;
    if (!parseActionLine(line, action, error)) {
        out_ << error << " (help lists the actions)\n";
        return;
    }
    const Millis at = run_.queue().now();
    if (run_.perform(action, 0) && recorder_ != nullptr) {
        recorder_->action(at, line);
    }
}

bool Interactive::ask() {
    if (!hinted_) {
        hinted_ = true;
        openingHint();
    }
    describe();
    std::string line;
    if (!lines_.read("> ", line)) {
        const std::string open = openPayment();
        if (!open.empty()) {
            out_ << "\nthe input ended with a payment still open: " << open << '\n';
        }
        warnedOnQuit_ = true;
        return quit();
    }
    line = trimmed(line);
    if (line == "quit" || line == "q" || line == "exit") {
        return quit();
    }
    warnedOnQuit_ = false;
    if (line.empty() || line == "wait") {
        runNext();
        return true;
    }
    if (line == "help" || line == "?") {
        out_ << interactiveHelp();
        return true;
    }
    if (line == "status") {
        status();
        return true;
    }
    if (line.compare(0, 5, "wait ") == 0) {
        Millis duration = 0;
        if (!parseDuration(trimmed(line.substr(5)), duration)) {
            out_ << "wait needs a duration such as 10s or 500ms\n";
            return true;
        }
        waitFor(duration);
        return true;
    }
    act(line);
    return true;
}

} // namespace sim
