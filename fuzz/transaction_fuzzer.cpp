// A whole module (fresh per input) driven through the in-process host by
// the fuzzer's choices: which door opens a transaction, which owed event the
// host answers next and how (approved, timed out, any result, any input,
// any gateway reply), stray gateway replies, timer events, pinpad changes,
// failing host requests and raw message bytes, and the host's own faults:
// answers delivered twice, answers delivered again later (stray, or late
// into the next transaction), refused prints, screens and gateway messages,
// gateway replies that come after the host's time-out. Then the host answers
// everything it still owes as a time-out would, a clean sale follows, and the
// run checks:
//   - every TransactionEvent belongs to a transaction in progress, and a
//     transaction sends at most one;
//   - every transaction that began has ended, with exactly one
//     TransactionEvent, and no gateway exchange is left open;
//   - the clean sale is approved;
//   - the ledger (sim/checks/ledger.h) of the whole run is clean: the money
//     the fuzzer's gateway took and paid against what the POS was told, one
//     story per transaction, brackets, nothing lost.
// Crashes and leaks are the sanitizers' part.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "documents/json_text.h"
#include "fuzz/fixed_platform.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_host.h"
#include "host/dispatch.h"
#include "host/entry_points.h"
#include "sim/checks/ledger.h"
#include "sim/gateway/gateway_sim.h"

namespace {

constexpr int maxActions = 48;
constexpr int maxDrain = 400;
constexpr std::int32_t replyCapacity = 4096;

using Fields = FuzzHost::Fields;

std::string pick(FuzzedDataProvider& input, std::vector<std::string> choices) {
    choices.push_back(input.ConsumeRandomLengthString(24));
    return choices[input.ConsumeIntegralInRange<std::size_t>(0, choices.size() - 1)];
}

class Run {
  public:
    explicit Run(FuzzedDataProvider& input) : input_(input) {
        // -181 for good makes the module grow its reply buffer to the
        // ceiling before it gives up; the way there is the same at 1 MiB,
        // and the default 16 MiB costs seconds per input under the sanitizers.
        bridge_.replyCapacityLimit = 1024 * 1024;
        host_.onTransactionEvent = [this](const xmlNode& event) {
            lastCode_ = event.getChildText("ResponseCode", "");
            transactionEvent();
        };
    }

    void start();
    void act();
    void finish();
    void cleanSale();
    void checkBooks();

  private:
    void observe();
    void transactionEvent();
    void deliver(const std::string& text);
    void answerOwed();
    std::string customAnswer(const FuzzHost::Owed& owed);
    std::string customGatewayReply(const FuzzHost::Owed& owed);
    void posTransaction();
    void entryPoint();
    void strayReply();
    void book(const FuzzHost::Owed& owed, const std::string& answer);
    void redeliver();
    void lateGatewayReply();

    FuzzedDataProvider& input_;
    HostBridge bridge_;
    QuenKlarna extension_{bridge_};
    Lifecycle lifecycle_;
    FuzzHost host_;
    bool transactionOpen_ = false;
    int eventsInTransaction_ = 0;
    std::string lastCode_;               // ResponseCode of the last TransactionEvent
    sim::RunObservations seen_;          // every delivery, for the ledger
    std::vector<std::string> delivered_; // answers already given, to give again
    std::vector<std::string> late_;      // gateway replies that come after the time-out
};

// Follows the foreground transaction from the outside: it is open while in
// progress, and when it closes it must have sent one TransactionEvent.
void Run::observe() {
    const bool open = extension_.foreground.inProgress;
    if (open && !transactionOpen_) {
        transactionOpen_ = true;
        eventsInTransaction_ = 0;
    } else if (!open && transactionOpen_) {
        FUZZ_CHECK(eventsInTransaction_ == 1, "an ended transaction sent one TransactionEvent");
        transactionOpen_ = false;
    }
}

void Run::transactionEvent() {
    observe();
    FUZZ_CHECK(transactionOpen_, "a TransactionEvent belongs to a transaction in progress");
    FUZZ_CHECK(eventsInTransaction_ == 0, "at most one TransactionEvent per transaction");
    ++eventsInTransaction_;
}

void Run::deliver(const std::string& text) {
    FuzzHost::traceMessage("host->module", text);
    observe();
    std::vector<char> buffer(static_cast<std::size_t>(replyCapacity));
    std::int32_t length = replyCapacity;
    sim::ObservedDelivery delivery;
    delivery.name = sim::deliveredName(text);
    delivery.text = text;
    delivery.requestsBefore = host_.record.requests.size();
    delivery.gatewayBefore = host_.record.gateway.size();
    delivery.returned = dispatchMessage(
        bridge_, text.data(), static_cast<std::int32_t>(text.size()), buffer.data(), &length);
    seen_.deliveries.push_back(delivery);
    FUZZ_CHECK(length >= 0 && length < replyCapacity, "reply length stays within the buffer");
    observe();
}

void Run::start() {
    host_.variables["TERMINAL_REF_NUM"] = "TERM0001";
    if (input_.ConsumeBool()) {
        host_.variables["TOKEN"] = "TOK7";
    }
    if (input_.ConsumeBool()) {
        host_.variables["PAYMENT_MODE"] = pick(input_, {"SMS", "QR"});
    }
    if (input_.ConsumeBool()) {
        host_.variables["REVERSAL_DATA"] =
            pick(input_, {R"({"amt":1250,"mt":200,"stan":3,"type":"P","orderid":"ORD1"})",
                          R"({"mt":200})", "not json"});
    }
    char versionBuffer[16] = {};
    const StartupFields fields = FuzzHost::startupFields(versionBuffer);
    FUZZ_CHECK(startupFromFields(bridge_, extension_, lifecycle_, fields) == startupOk,
               "module starts");
    deliver(FuzzHost::eventText("PinpadNotify", {{"PinpadOnline", "1"}}, "PINPAD"));
}

std::string Run::customGatewayReply(const FuzzHost::Owed& owed) {
    nlohmann::json reply = FuzzHost::approvedReply(FuzzHost::gatewayRequest(owed));
    reply["rc"] = pick(input_, {"00", "0A", "05", "TM", "X0", "F0", "51"});
    if (input_.ConsumeBool()) {
        reply["hppstatus"] = pick(input_, {"WAITING", "COMPLETED", "CANCELLED", "FAILED"});
    }
    if (input_.ConsumeBool()) {
        reply.erase("orderid");
    }
    if (input_.ConsumeBool()) {
        // Text members only: a reply that cannot be read or matched is never
        // the one answer to a request (the module would wait on), only stray.
        const std::string key =
            pick(input_, {"token", "redirecturl", "pad", "orderid", "hppsid", "rt", "txref"});
        reply[key] = input_.ConsumeRandomLengthString(40);
    }
    const std::string result = pick(input_, {"00", "00", "X0", "01"});
    return FuzzHost::hostReceive(owed, result, jsonText::dump(reply));
}

std::string Run::customAnswer(const FuzzHost::Owed& owed) {
    if (owed.event == "HostReceiveEvent") {
        return customGatewayReply(owed);
    }
    Fields fields{{"Result", pick(input_, {"00", "TO", "01", "CN"})}};
    if (owed.event == "GetMultiLineFromPinpadEvent") {
        fields.emplace_back("InputData", pick(input_, {"0412345678", "1250", "ORD000002", ""}));
    }
    if (owed.event == "GetButtonMenuFromPinpadEvent") {
        fields.emplace_back("SelectedOption", pick(input_, {"1", "2", "3"}));
        fields.emplace_back("ResultText", "CANCELLED");
    }
    if (owed.event == "WaitForKeyPressEvent") {
        fields.emplace_back("PinpadKeyPress", pick(input_, {"ENTER", "CANCEL", "1", "2"}));
        fields.emplace_back("PosKeyPress", pick(input_, {"", "ENTER", "CANCEL"}));
    }
    if (owed.event == "GetMultiLineFromPinpadEvent" ||
        owed.event == "GetButtonMenuFromPinpadEvent") {
        fields.emplace_back("PinpadCancelled", input_.ConsumeBool() ? "1" : "0");
        fields.emplace_back("PosCancelled", input_.ConsumeBool() ? "1" : "0");
    }
    if (owed.event == "DllStartTransactionEvent") {
        return FuzzHost::normalAnswer(owed);
    }
    return FuzzHost::eventText(owed.event, fields, owed.source);
}

void Run::answerOwed() {
    if (host_.owed.empty()) {
        return;
    }
    const std::size_t index = input_.ConsumeIntegralInRange<std::size_t>(0, host_.owed.size() - 1);
    const FuzzHost::Owed owed = host_.owed[index];
    host_.owed.erase(host_.owed.begin() + static_cast<std::ptrdiff_t>(index));
    std::string answer;
    switch (input_.ConsumeIntegralInRange(0, 2)) {
    case 0:
        answer = FuzzHost::normalAnswer(owed);
        break;
    case 1:
        answer = FuzzHost::timeoutAnswer(owed);
        break;
    default:
        answer = customAnswer(owed);
        break;
    }
    book(owed, answer);
    deliver(answer);
    delivered_.push_back(answer);
    if (input_.ConsumeIntegralInRange(0, 7) == 0) {
        deliver(answer); // the host delivers it twice
    }
}

// The fuzzer's gateway keeps its book as it answers: an approved purchase
// captures (once per order and trace number), an approved refund pays (once
// per request), an accepted reversal gives a capture back. The host's Result
// does not matter: the gateway acted whether or not its reply arrives.
void Run::book(const FuzzHost::Owed& owed, const std::string& answer) {
    if (owed.event != "HostReceiveEvent") {
        return;
    }
    const sim::XmlParseResult parsed = sim::parseXml(answer);
    const sim::XmlElement* holder = parsed.root.find("VORTAXIS_EVENT");
    const sim::XmlElement* event = holder != nullptr ? holder->find("HostReceiveEvent") : nullptr;
    const nlohmann::json request = FuzzHost::gatewayRequest(owed);
    if (event == nullptr || !request.is_object() || !event->has("Message")) {
        return;
    }
    const nlohmann::json reply = sim::parseGatewayText(event->childText("Message"));
    const std::string rc = reply.is_object() && reply.contains("rc") && reply["rc"].is_string()
                               ? reply["rc"].get<std::string>()
                               : "";
    const std::string type = request.value("type", "");
    sim::MoneyMove move;
    move.orderid = request.contains("orderid") && request["orderid"].is_string()
                       ? request["orderid"].get<std::string>()
                       : "";
    move.amount = request.contains("amt") && request["amt"].is_number_integer()
                      ? request["amt"].get<std::int64_t>()
                      : 0;
    // A refund request carries no currency: the gateway moves the order's,
    // which its reply names (as the simulator's gateway books it).
    move.currency = request.value("currency", "");
    if (move.currency.empty() && reply.is_object() && reply.contains("currency") &&
        reply["currency"].is_string()) {
        move.currency = reply["currency"].get<std::string>();
    }
    move.stan = request.contains("stan") && request["stan"].is_number_integer()
                    ? request["stan"].get<std::int64_t>()
                    : -1;
    move.message = owed.gatewayIndex;
    if (type == "P" && rc == "00") {
        move.kind = sim::MoneyMove::Kind::capture;
    } else if (type == "R" && rc == "00") {
        move.kind = sim::MoneyMove::Kind::refund;
    } else if (type == "P-" && (rc == "00" || rc == "0A")) {
        move.kind = sim::MoneyMove::Kind::reversal;
    } else {
        return;
    }
    // The latest move of the same order and trace number decides: a request
    // done already does nothing again; only a capture can be given back.
    std::vector<sim::MoneyMove>& money = host_.record.money;
    const sim::MoneyMove* latest = nullptr;
    for (auto it = money.rbegin(); it != money.rend() && latest == nullptr; ++it) {
        if (it->orderid == move.orderid && it->stan == move.stan) {
            latest = &*it;
        }
    }
    const bool reversal = move.kind == sim::MoneyMove::Kind::reversal;
    if (reversal ? latest == nullptr || latest->kind != sim::MoneyMove::Kind::capture
                 : latest != nullptr && latest->kind == move.kind) {
        return;
    }
    money.push_back(move);
}

// An answer given before, given again: stray, or late into whatever runs now.
void Run::redeliver() {
    if (delivered_.empty()) {
        return;
    }
    deliver(delivered_[input_.ConsumeIntegralInRange<std::size_t>(0, delivered_.size() - 1)]);
}

// The host times out a gateway exchange, and the gateway's approved reply
// comes later: the gateway acted when it replied.
void Run::lateGatewayReply() {
    for (std::size_t i = 0; i < host_.owed.size(); ++i) {
        if (host_.owed[i].event != "HostReceiveEvent") {
            continue;
        }
        const FuzzHost::Owed owed = host_.owed[i];
        host_.owed.erase(host_.owed.begin() + static_cast<std::ptrdiff_t>(i));
        const std::string reply = FuzzHost::normalAnswer(owed);
        book(owed, reply);
        deliver(FuzzHost::timeoutAnswer(owed));
        late_.push_back(reply);
        return;
    }
    if (!late_.empty()) {
        deliver(late_.front());
        late_.erase(late_.begin());
    }
}

void Run::posTransaction() {
    Fields fields{{"TxnType", pick(input_, {"P", "R", "P", "X"})},
                  {"AmtPurchase", pick(input_, {"1250", "0", "-5", "99999999999"})},
                  {"CurrencyCode", "AUD"},
                  {"OriginalSource", "POS"}};
    if (input_.ConsumeBool()) {
        fields.emplace_back("TxnRef", "POS0201");
    }
    if (input_.ConsumeBool()) {
        fields.emplace_back(
            "PurchaseAnalysisData",
            pick(input_, {R"(RFN039{"merchant":"70","orderid":"ORD000002"})", "PMD003SMS",
                          "PCM0011OPR00917|OPNAMEUID0041234VND002V1NME003POSVER0031.0AMT004"
                          "1250SKU003ABC",
                          "RFN005{oops"}));
    }
    deliver(FuzzHost::posTransaction(fields));
}

void Run::entryPoint() {
    const std::string name = pick(
        input_, {"Klarna_PaymentMenuRoot", "Klarna_Purchase", "Klarna_Refund", "Klarna_Purchase"});
    Fields transaction{{"OriginalSource", "PINPAD"}, {"CurrencyCode", "AUD"}};
    if (input_.ConsumeBool()) {
        transaction.emplace_back("TxnType", pick(input_, {"P", "R"}));
    }
    deliver(FuzzHost::entryPoint(name, transaction));
}

// A gateway reply nobody asked for (or a late copy of one).
void Run::strayReply() {
    FuzzHost::Owed fake{"HostReceiveEvent", "VORTAXIS_DLL_HANDLER", xmlNode()};
    fake.request.getChild("MsgType").setText(
        input_.PickValueInArray({100, 150, 200, 250, input_.ConsumeIntegral<int>()}));
    nlohmann::json request = {{"type", pick(input_, {"A+", "O", "N", "P", "R", "Q", "D"})},
                              {"stan", input_.ConsumeIntegralInRange(0, 5)},
                              {"mt", 150}};
    fake.request.getChild("Message").setText(jsonText::dump(request));
    nlohmann::json reply = FuzzHost::approvedReply(request);
    if (input_.ConsumeBool()) {
        const std::string key = pick(input_, {"stan", "type", "mt", "amt", "rc"});
        reply[key] = input_.ConsumeRandomLengthString(40);
    }
    deliver(FuzzHost::hostReceive(fake, "00",
                                  input_.ConsumeBool() ? input_.ConsumeRandomLengthString(200)
                                                       : jsonText::dump(reply)));
}

void Run::act() {
    for (int i = 0; i < maxActions && input_.remaining_bytes() > 0; ++i) {
        switch (input_.ConsumeIntegralInRange(0, 14)) {
        case 0:
            posTransaction();
            break;
        case 1:
            entryPoint();
            break;
        case 2:
            deliver(FuzzHost::methodText(pick(input_, {"DoGetLastTransaction", "DoGetLastReceipt",
                                                       "DoReprintReceipt", "RefreshSettings"}),
                                         {}, "POS"));
            break;
        case 3:
            deliver(FuzzHost::eventText("TimerTrigger", {}, "VORTAXIS_DLL_HANDLER"));
            break;
        case 4:
            deliver(FuzzHost::eventText(
                "PinpadNotify", {{"PinpadOnline", input_.ConsumeBool() ? "1" : "0"}}, "PINPAD"));
            break;
        case 5:
            deliver(input_.ConsumeRandomLengthString(400));
            break;
        case 6:
            strayReply();
            break;
        case 7:
            host_.forcedResult = input_.PickValueInArray({-181, -1, 1});
            host_.forcedCount = input_.ConsumeIntegralInRange(1, 3);
            if (host_.forcedResult == -181 && input_.ConsumeIntegralInRange(0, 7) == 0) {
                host_.forcedCount = 200; // past the module's ceiling: -181 for good
            }
            break;
        case 8:
            host_.refusedOwing = input_.ConsumeIntegralInRange(1, 2);
            break;
        case 9:
            redeliver();
            break;
        case 10:
            lateGatewayReply();
            break;
        default:
            answerOwed();
            break;
        }
    }
}

// The host answers all it still owes the way it does when nobody acts.
void Run::finish() {
    host_.forcedCount = 0;
    for (int i = 0; i < maxDrain && !host_.owed.empty(); ++i) {
        const FuzzHost::Owed owed = host_.owed.front();
        host_.owed.erase(host_.owed.begin());
        deliver(FuzzHost::timeoutAnswer(owed));
    }
    FUZZ_CHECK(host_.owed.empty(), "the module stops asking once everything times out");
    observe();
    FUZZ_CHECK(!extension_.foreground.inProgress, "a transaction in progress can finish");
    FUZZ_CHECK(!extension_.background.inProgress, "a background exchange can finish");
}

// The terminal takes a clean sale afterwards: the pinpad online, a token, a
// POS purchase answered as a host and gateway do when all goes well.
void Run::cleanSale() {
    host_.forcedCount = 0;
    host_.refusedOwing = 0;
    host_.variables["TOKEN"] = "TOK7";
    deliver(FuzzHost::eventText("PinpadNotify", {{"PinpadOnline", "1"}}, "PINPAD"));
    lastCode_.clear();
    deliver(FuzzHost::posTransaction({{"TxnType", "P"},
                                      {"AmtPurchase", "1250"},
                                      {"CurrencyCode", "AUD"},
                                      {"TxnRef", "CLEAN01"},
                                      {"OriginalSource", "POS"}}));
    for (int i = 0; i < maxDrain && !host_.owed.empty(); ++i) {
        const FuzzHost::Owed owed = host_.owed.front();
        host_.owed.erase(host_.owed.begin());
        const std::string answer = FuzzHost::normalAnswer(owed);
        book(owed, answer);
        deliver(answer);
    }
    observe();
    FUZZ_CHECK(lastCode_ == "00", "the terminal takes a clean sale afterwards");
}

void Run::checkBooks() {
    const std::vector<std::string> failures =
        sim::checkLedger(host_.record, host_.variables, seen_);
    for (const std::string& failure : failures) {
        std::fprintf(stderr, "%s\n", failure.c_str());
    }
    FUZZ_CHECK(failures.empty(), "the ledger of the run is clean");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzPlatform::install();
    FuzzedDataProvider input(data, size);
    Run run(input);
    run.start();
    run.act();
    run.finish();
    run.cleanSale();
    run.checkBooks();
    return 0;
}
