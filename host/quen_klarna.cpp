#include "host/quen_klarna.h"

#include <memory>

#include "host/host_methods.h"
#include "platform/platform.h"

namespace {

void writeDocument(const char* label, const xmlDoc& document) {
    platform::debugOutput(label);
    platform::debugOutput(document.toString());
}

} // namespace

// The request origin starts with printer "PINPAD" and the pinpad offline.
QuenKlarna::QuenKlarna(HostBridge& hostBridge) : bridge(hostBridge) {}

Handler QuenKlarna::handler(Member member) {
    return [this, member](xmlDoc& document, xmlNode& element, std::string& reply) {
        return (this->*member)(document, element, reply);
    };
}

Handler QuenKlarna::answerOnce(Handler inner, Handler late) {
    enum class Answered { no, byTheModule, byTheHost };
    auto answered = std::make_shared<Answered>(Answered::no);
    return [this, answered, inner, late](xmlDoc& document, xmlNode& element, std::string& reply) {
        if (*answered == Answered::byTheModule && late && !endingLostWait) {
            *answered = Answered::byTheHost;
            return late(document, element, reply);
        }
        if (*answered != Answered::no) {
            writeDocument("Klarna answer already taken, ignored:\n", document);
            return std::int32_t{0};
        }
        *answered = endingLostWait ? Answered::byTheModule : Answered::byTheHost;
        ++progress;
        return inner(document, element, reply);
    };
}

std::int32_t QuenKlarna::onDefaultMethod(xmlDoc& document, xmlNode&, std::string&) {
    writeDocument("Klarna On RX default Method:\n", document);
    return 0;
}

std::int32_t QuenKlarna::onDefaultEvent(xmlDoc& document, xmlNode&, std::string&) {
    writeDocument("Klarna On RX default Event:\n", document);
    return -1;
}

std::int32_t QuenKlarna::onDefaultNonStandard(xmlDoc& document, xmlNode&, std::string&) {
    writeDocument("Klarna On RX default Non-Standard Event:\n", document);
    return -1;
}

std::int32_t QuenKlarna::onPinpadNotify(xmlDoc&, xmlNode& element, std::string&) {
    const int index = element.findChild("PinpadOnline");
    if (index >= 0) {
        const std::string& online = element.child(index).text;
        if (online == "1") {
            origin.pinpadOnline = true;
        } else if (online == "0") {
            origin.pinpadOnline = false;
        }
    }
    return 1;
}

std::int32_t QuenKlarna::onRefreshSettings(xmlDoc&, xmlNode&, std::string&) {
    trace(bridge, "Updating Settings");
    settings.load(bridge);
    return 1;
}
