// The host's screens and the answers of the customer and the operator.
#include <cstdlib>

#include "sim/host/host_sim.h"

namespace sim {

namespace {

const char* kindName(InteractionKind kind) {
    switch (kind) {
    case InteractionKind::input:
        return "input prompt";
    case InteractionKind::qr:
        return "QR screen";
    case InteractionKind::waiting:
        return "waiting screen";
    case InteractionKind::menu:
        return "menu";
    case InteractionKind::keyWait:
        return "key wait";
    case InteractionKind::print:
        return "print";
    }
    return "?";
}

bool isPinpadScreen(InteractionKind kind) {
    return kind == InteractionKind::input || kind == InteractionKind::qr ||
           kind == InteractionKind::waiting || kind == InteractionKind::menu;
}

long numberOr(const std::string& text, long fallback) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() ? fallback : value;
}

bool lengthAllowed(const XmlElement& request, const std::string& input, std::string& problem) {
    const long minimum = numberOr(request.childText("Minimum"), 0);
    const long maximum = numberOr(request.childText("Maximum"), 1000000);
    const long length = static_cast<long>(input.size());
    if (length < minimum || length > maximum) {
        problem = "the pinpad takes " + std::to_string(minimum) + " to " + std::to_string(maximum) +
                  " characters, not " + std::to_string(length);
        return false;
    }
    return true;
}

bool cancelAllowed(const XmlElement& request, const std::string& where, std::string& problem) {
    const std::string flag =
        request.childText(where == "pos" ? "CancelOnPOS" : "CancelOnPinpad", "1");
    if (flag == "0") {
        problem = "this screen cannot be cancelled on the " + where;
        return false;
    }
    return true;
}

bool menuHas(const XmlElement& request, const std::string& option) {
    const XmlElement* items = request.find("MenuItems");
    return items != nullptr && items->has(option);
}

} // namespace

void HostSim::showPinpad(const PinpadScreen& screen) {
    record_.pinpadScreens.push_back(screenText(screen));
    transcript_.block(Level::brief, drawPinpad(screen));
    if (!screen.qrData.empty()) {
        transcript_.block(Level::brief, renderQr(screen.qrData, screen.qrLevel, config_.qrStyle));
    }
}

void HostSim::showPos(const PosScreen& screen) {
    record_.posScreens.push_back(screenText(screen));
    transcript_.block(Level::brief, drawPos(screen));
}

Interaction& HostSim::startInteraction(InteractionKind kind, const std::string& eventName,
                                       const XmlElement& request, const std::string& text,
                                       std::int64_t timeoutSeconds) {
    Interaction interaction;
    interaction.id = nextInteraction_++;
    interaction.kind = kind;
    interaction.eventName = eventName;
    interaction.request = request;
    interaction.text = text;
    interaction.fault = armFault(eventName, toCompactText(request));
    if (timeoutSeconds > 0) {
        const std::uint64_t id = interaction.id;
        interaction.timeout =
            queue_.schedule(timeoutSeconds * 1000, std::string(kindName(kind)) + " time-out",
                            [this, id] { expire(id); });
    }
    Interaction* placed = nullptr;
    if (isPinpadScreen(kind)) {
        dropScreen("replaced by another screen");
        screen_.reset(new Interaction(interaction));
        placed = screen_.get();
    } else if (kind == InteractionKind::keyWait) {
        if (keyWait_) {
            queue_.cancel(keyWait_->timeout);
        }
        keyWait_.reset(new Interaction(interaction));
        placed = keyWait_.get();
    } else {
        prints_.push_back(interaction);
        placed = &prints_.back();
    }
    failSoon(placed->id, placed->fault);
    if (listener_ != nullptr) {
        listener_->interactionStarted(*placed);
    }
    return *placed;
}

void HostSim::dropScreen(const std::string& why) {
    if (!screen_) {
        return;
    }
    queue_.cancel(screen_->timeout);
    transcript_.line(Level::normal, "pinpad",
                     std::string(kindName(screen_->kind)) + " " + why + " (no answer)");
    screen_.reset();
}

void HostSim::expire(std::uint64_t id) {
    Interaction* interaction = findInteraction(id, Answer{});
    if (interaction == nullptr) {
        return;
    }
    XmlElement event{interaction->eventName, {}, {}};
    if (interaction->kind == InteractionKind::print) {
        event.add("Result", config_.printResult);
    } else {
        transcript_.line(Level::brief, "pinpad",
                         std::string(kindName(interaction->kind)) + " timed out");
        event.add("Result", "TO");
    }
    interaction->timeout = 0;
    finishInteraction(id, event);
}

Interaction* HostSim::findInteraction(std::uint64_t id, const Answer& answer) {
    if (id == 0) {
        if (answer.kind == Answer::Kind::key) {
            return keyWait_.get();
        }
        if (screen_) {
            return screen_.get();
        }
        if (keyWait_) {
            return keyWait_.get();
        }
        return prints_.empty() ? nullptr : &prints_.front();
    }
    if (screen_ && screen_->id == id) {
        return screen_.get();
    }
    if (keyWait_ && keyWait_->id == id) {
        return keyWait_.get();
    }
    for (Interaction& print : prints_) {
        if (print.id == id) {
            return &print;
        }
    }
    return nullptr;
}

void HostSim::finishInteraction(std::uint64_t id, const XmlElement& event) {
    Interaction* interaction = findInteraction(id, Answer{});
    if (interaction == nullptr) {
        return;
    }
    queue_.cancel(interaction->timeout);
    const ArmedFault fault = interaction->fault;
    const std::string result = event.childText("Result");
    if (interaction->kind == InteractionKind::print && result != "00") {
        transcript_.line(Level::brief, "printer",
                         "PRINT FAILED: the printer answers Result " + result);
    } else if (interaction->kind == InteractionKind::print) {
        transcript_.line(Level::normal, "printer", "printed");
    }
    if (screen_ && screen_->id == id) {
        screen_.reset();
    } else if (keyWait_ && keyWait_->id == id) {
        keyWait_.reset();
    } else {
        for (auto it = prints_.begin(); it != prints_.end(); ++it) {
            if (it->id == id) {
                prints_.erase(it);
                break;
            }
        }
    }
    answerRequest(fault, "PINPAD", event);
}

bool HostSim::answer(std::uint64_t id, const Answer& answer, std::string& problem) {
    Interaction* interaction = findInteraction(id, answer);
    if (interaction == nullptr) {
        problem = id == 0 ? "nothing is waiting for that answer" : "the screen is no longer shown";
        return false;
    }
    XmlElement event{interaction->eventName, {}, {}};
    if (!buildAnswer(*interaction, answer, event, problem)) {
        return false;
    }
    for (const auto& field : answer.fields) {
        event.child(field.first).text = field.second;
    }
    transcript_.line(Level::brief, "person",
                     std::string("answers the ") + kindName(interaction->kind) + ": " +
                         toCompactText(event));
    finishInteraction(interaction->id, event);
    return true;
}

bool HostSim::buildAnswer(const Interaction& interaction, const Answer& answer, XmlElement& event,
                          std::string& problem) {
    const XmlElement& request = interaction.request;
    const bool screen = isPinpadScreen(interaction.kind);
    switch (answer.kind) {
    case Answer::Kind::timeout:
        event.add("Result", "TO");
        return true;
    case Answer::Kind::result:
        event.add("Result", answer.text);
        return true;
    case Answer::Kind::cancel:
        if (interaction.kind == InteractionKind::print ||
            !cancelAllowed(request, answer.where, problem)) {
            problem = problem.empty() ? "a print cannot be cancelled" : problem;
            return false;
        }
        event.add("Result", "TM");
        event.add("ResultText", "CANCELLED");
        event.add("PinpadCancelled", answer.where == "pos" ? "0" : "1");
        event.add("PosCancelled", answer.where == "pos" ? "1" : "0");
        return true;
    case Answer::Kind::key:
        if (interaction.kind != InteractionKind::keyWait) {
            problem = "no key wait is pending";
            return false;
        }
        event.add("Result", "00");
        event.add("PinpadKeyPress", answer.where == "pos" ? "" : answer.text);
        event.add("PosKeyPress", answer.where == "pos" ? answer.text : "");
        return true;
    case Answer::Kind::input:
        if (interaction.kind != InteractionKind::input) {
            problem = "the pinpad shows no input prompt";
            return false;
        }
        if (!lengthAllowed(request, answer.text, problem)) {
            return false;
        }
        event.add("Result", "00");
        event.add("InputData", answer.text);
        event.add("PinpadCancelled", "0");
        event.add("PosCancelled", "0");
        return true;
    case Answer::Kind::select:
        if (interaction.kind == InteractionKind::menu && !menuHas(request, answer.text)) {
            problem = "the menu has no item " + answer.text;
            return false;
        }
        if ((interaction.kind == InteractionKind::qr ||
             interaction.kind == InteractionKind::waiting) &&
            !(answer.text == "BUTTON1" && request.has("Button1"))) {
            problem = "the screen has no button " + answer.text;
            return false;
        }
        if (interaction.kind != InteractionKind::menu && interaction.kind != InteractionKind::qr &&
            interaction.kind != InteractionKind::waiting) {
            problem = std::string("nothing to select on a ") + kindName(interaction.kind);
            return false;
        }
        event.add("Result", "00");
        event.add("SelectedOption", answer.text);
        event.add("PinpadCancelled", "0");
        event.add("PosCancelled", "0");
        return true;
    case Answer::Kind::confirm:
        if (interaction.kind == InteractionKind::input && !lengthAllowed(request, "", problem)) {
            return false;
        }
        event.add("Result", "00");
        if (interaction.kind == InteractionKind::menu) {
            event.add("SelectedOption", request.childText("EnterKeyDefault"));
        }
        if (interaction.kind == InteractionKind::keyWait) {
            event.add("PinpadKeyPress", "ENTER");
        }
        if (screen) {
            event.add("PinpadCancelled", "0");
            event.add("PosCancelled", "0");
        }
        return true;
    }
    return false;
}

std::vector<const Interaction*> HostSim::pending() const {
    std::vector<const Interaction*> list;
    if (screen_) {
        list.push_back(screen_.get());
    }
    if (keyWait_) {
        list.push_back(keyWait_.get());
    }
    for (const Interaction& print : prints_) {
        list.push_back(&print);
    }
    return list;
}

bool HostSim::awaitingPerson() const {
    return screen_ != nullptr || keyWait_ != nullptr || gateway_.heldWaits() > 0;
}

// --- Gateway link -----------------------------------------------------------

void HostSim::gatewayReply(const GatewayOutcome& outcome) {
    const auto found = exchanges_.find(outcome.exchange);
    if (found == exchanges_.end()) {
        transcript_.line(Level::normal, "host", "gateway reply for no exchange dropped");
        return;
    }
    if (found->second.timedOut && !outcome.keepAfterTimeout) {
        transcript_.line(Level::normal, "host",
                         "late " + outcome.kind + " reply dropped: the host had timed out");
        exchanges_.erase(found);
        return;
    }
    queue_.cancel(found->second.timeout);
    const ArmedFault hostFault = found->second.fault;
    exchanges_.erase(found);
    std::string faults;
    for (const std::string& fault : outcome.faults) {
        faults += " [" + fault + "]";
    }
    XmlElement event{"HostReceiveEvent", {}, {}};
    event.add("Result", outcome.result);
    if (outcome.result != "00" || !outcome.resultText.empty()) {
        event.add("ResultText", outcome.resultText);
    }
    if (outcome.hasMessage) {
        XmlElement header{"Header", {}, {}};
        header.add("MTYPE", std::to_string(outcome.mtype));
        event.add("Header", toXml(header));
        event.add("MTYPE", std::to_string(outcome.mtype));
        event.add("Message", outcome.message);
        showReply(outcome, faults);
    } else {
        transcript_.line(Level::brief, "from gateway",
                         outcome.kind + " host failure " + outcome.result + " " +
                             outcome.resultText + faults);
    }
    answerRequest(hostFault, "VORTAXIS_DLL_HANDLER", event);
    if (outcome.copyAfter >= 0) {
        queue_.schedule(outcome.copyAfter, "duplicate gateway reply",
                        [this, event] { deliverEvent("VORTAXIS_DLL_HANDLER", event); });
    }
}

void HostSim::showReply(const GatewayOutcome& outcome, const std::string& faults) {
    if (transcript_.shows(Level::normal)) {
        transcript_.line(Level::normal, "from gateway",
                         outcome.kind + " MTYPE " + std::to_string(outcome.mtype) + " " +
                             outcome.message + faults);
        return;
    }
    const nlohmann::json reply = parseGatewayText(outcome.message);
    std::string answer = " (unreadable)";
    if (reply.is_object()) {
        answer.clear();
        for (const char* key : {"rc", "rt"}) {
            if (reply.contains(key) && reply[key].is_string()) {
                answer += " " + reply[key].get<std::string>();
            }
        }
    }
    transcript_.line(Level::brief, "from gateway", outcome.kind + answer + faults);
}

void HostSim::hostTimeout(std::uint64_t exchange) {
    const auto found = exchanges_.find(exchange);
    if (found == exchanges_.end()) {
        return;
    }
    found->second.timedOut = true;
    found->second.timeout = 0;
    transcript_.line(Level::brief, "host",
                     "no gateway reply to " + found->second.kind + " within its time-out");
    XmlElement event{"HostReceiveEvent", {}, {}};
    event.add("Result", config_.timeoutResult);
    event.add("ResultText", config_.timeoutText);
    answerRequest(found->second.fault, "VORTAXIS_DLL_HANDLER", event);
}

} // namespace sim
