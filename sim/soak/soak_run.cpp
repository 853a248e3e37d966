#include "sim/soak/soak_run.h"

#include "host/module_state.h"
#include "sim/host/module_loader.h"

namespace sim {

namespace {

const char* const token = "TOK7";
const char* const phone = "0412345678";
constexpr Millis customerDelay = 2000;
constexpr Millis transactionLimit = 30 * 60 * 1000; // virtual time one transaction may take
constexpr std::size_t stepLimit = 100000;

std::string padded(int number, std::size_t width) {
    std::string text = std::to_string(number);
    return text.size() < width ? std::string(width - text.size(), '0') + text : text;
}

// A purchase analysis tag: name, three-digit length, value.
std::string tag(const std::string& name, const std::string& value) {
    return name + padded(static_cast<int>(value.size()), 3) + value;
}

Fault purchaseFault(FaultMode mode, const std::string& code, const std::string& text) {
    Fault fault;
    fault.kind = "P";
    fault.mode = mode;
    fault.code = code;
    fault.text = text;
    return fault;
}

} // namespace

SoakRun::SoakRun()
    : silent_(nullptr), transcript_(silent_, Level::normal),
      host_(queue_, transcript_, store_, record_),
      module_(HostSim::sendCallback(), host_.context()),
      observed_(module_, queue_, record_, seen_) {
    transcript_.setClock(&queue_);
}

SoakRun::~SoakRun() {
    stop();
    host_.setModule(nullptr);
    queue_.clear();
}

bool SoakRun::start(std::vector<std::string>& failures) {
    store_.set("TERMINAL_REF_NUM", "TERM0001");
    store_.set("TOKEN", token);
    host_.gateway().config().acceptedTokens = {token};
    host_.config().printDelay = 500;
    std::string error;
    if (!module_.load(error)) {
        failures.push_back("the module did not load: " + error);
        return false;
    }
    host_.setModule(&observed_);
    host_.setListener(this);
    StartupRecord record;
    host_.beginStartup();
    const std::int32_t result = module_.startup(record);
    host_.endStartup();
    if (result != 0) {
        failures.push_back("Startup returned " + std::to_string(result));
        return false;
    }
    started_ = true;
    later(1000, "pinpad online",
          [this](std::string& problem) { return host_.pinpadOnline("1", problem); });
    drain(failures);
    baseline_ = snapshot();
    record_ = RunRecord{};
    seen_ = RunObservations{};
    return failures.empty();
}

void SoakRun::show(std::ostream* out) {
    silent_.rdbuf(out != nullptr ? out->rdbuf() : nullptr);
}

void SoakRun::stop() {
    if (started_) {
        module_.shutdown();
        started_ = false;
    }
}

void SoakRun::run(SoakKind kind, int number, std::vector<std::string>& failures) {
    std::vector<std::string> found;
    kind_ = kind;
    ref_ = "SOAK" + padded(number, 6);
    reversalWasPending_ = reversalPending_;
    begin(kind, number);
    drain(found);
    if (kind == SoakKind::receiptQuery) {
        checkQuery(found);
    } else {
        checkSale(found);
        checkReversal(found);
    }
    checkNothingLeft(found);
    checkRegistrations(found);
    checkBooks(found);
    kindsSeen_.insert(kind);
    for (const std::string& text : found) {
        failures.push_back("transaction " + std::to_string(number) + " (" + soakKindName(kind) +
                           ", " + ref_ + "): " + text);
    }
    // What the simulator kept of this transaction (exchanges that will get
    // no reply among it); a pending reversal keeps the gateway's order.
    record_ = RunRecord{};
    seen_ = RunObservations{};
    actionProblems_.clear();
    host_.dropOpenExchanges();
    if (!reversalPending_) {
        host_.gateway().forgetHistory();
    }
}

void SoakRun::begin(SoakKind kind, int number) {
    if (kind == SoakKind::receiptQuery) {
        beginQuery(number);
        return;
    }
    const std::string amount = std::to_string(100 + number % 9000);
    std::vector<std::pair<std::string, std::string>> fields{
        {"TxnType", kind == SoakKind::refund ? "R" : "P"},
        {"AmtPurchase", amount},
        {"CurrencyCode", "AUD"},
        {"TxnRef", ref_},
        {"OriginalSource", "POS"}};
    if (kind == SoakKind::smsPurchase) {
        fields.emplace_back("PurchaseAnalysisData", tag("PMD", "SMS"));
    } else if (kind == SoakKind::refund) {
        const std::string order = "ORDSOAK" + padded(number, 6);
        host_.gateway().addOrder(order, std::stoll(amount), "AUD");
        fields.emplace_back("PurchaseAnalysisData",
                            tag("RFN", "{\"merchant\":\"70\",\"orderid\":\"" + order + "\"}"));
    } else if (kind == SoakKind::declined) {
        host_.gateway().addFault(purchaseFault(FaultMode::decline, "05", "DECLINED"));
    } else if (kind == SoakKind::faultReversal) {
        host_.gateway().addFault(purchaseFault(FaultMode::hostFailure, "X0", "NO RESPONSE"));
    }
    later(1000, "POS request " + ref_,
          [this, fields](std::string& problem) { return host_.posTransaction(fields, problem); });
}

void SoakRun::beginQuery(int /*number*/) {
    static const char* const commands[] = {"DoGetLastTransaction", "DoGetLastReceipt",
                                           "DoReprintReceipt"};
    query_ = commands[queryTurn_++ % 3];
    later(1000, query_, [this](std::string& problem) {
        return host_.command(query_, {{"OriginalSource", "POS"}}, problem);
    });
}

void SoakRun::interactionStarted(const Interaction& interaction) {
    const std::uint64_t id = interaction.id;
    if (interaction.kind == InteractionKind::qr) {
        if (kind_ == SoakKind::customerCancel) {
            later(customerDelay, "customer cancels", [this, id](std::string& problem) {
                Answer answer;
                answer.kind = Answer::Kind::cancel;
                return host_.answer(id, answer, problem);
            });
        } else {
            later(customerDelay, "customer pays",
                  [this](std::string& problem) { return host_.gateway().customerPays(problem); });
        }
    } else if (interaction.kind == InteractionKind::input &&
               interaction.text.find("ENTER MOBILE PHONE") != std::string::npos) {
        later(1000, "phone entered", [this, id](std::string& problem) {
            Answer answer;
            answer.kind = Answer::Kind::input;
            answer.text = phone;
            return host_.answer(id, answer, problem);
        });
    } else if (interaction.kind == InteractionKind::waiting &&
               interaction.text.find("CHECK PHONE") != std::string::npos) {
        later(customerDelay, "customer pays",
              [this](std::string& problem) { return host_.gateway().customerPays(problem); });
    }
}

void SoakRun::later(Millis delay, const std::string& label,
                    std::function<bool(std::string&)> action) {
    queue_.schedule(delay, label, [this, label, action] {
        std::string problem;
        if (!action(problem)) {
            actionProblems_.push_back(label + ": " + problem);
        }
    });
}

void SoakRun::drain(std::vector<std::string>& failures) {
    const Millis limit = queue_.now() + transactionLimit;
    std::size_t steps = 0;
    while (queue_.hasForeground()) {
        if (queue_.nextTime() > limit || ++steps > stepLimit) {
            failures.push_back("did not come to an end (next: " + queue_.nextLabel() + ")");
            return;
        }
        queue_.runNext();
    }
    for (const std::string& text : actionProblems_) {
        failures.push_back(text);
    }
    for (const std::string& text : record_.violations) {
        failures.push_back("host protocol broken: " + text);
    }
    for (const std::string& text : record_.problems) {
        failures.push_back(text);
    }
}

Registrations SoakRun::snapshot() const {
    Registrations now;
    for (const auto& entry : host_.entryPoints()) {
        now.entryPoints.insert(entry.first);
    }
    now.intercepts = host_.intercepts();
    now.subscriptions = host_.subscriptions();
    now.posRegistered = host_.posRegistered();
    const HostBridge& bridge = moduleState().bridge;
    for (const auto& entry : bridge.handlers) {
        now.moduleHandlers.insert(entry.first);
    }
    for (const auto& entry : bridge.entryPoints) {
        now.moduleEntryPoints.insert(entry.first);
    }
    return now;
}

} // namespace sim
