// The three input prompts of a payment (amount, Klarna order id, mobile
// phone number): when each is skipped, the screens it shows and how its
// answer goes into the request or ends the transaction.
#include <cstdint>
#include <string>

#include "documents/gateway_message.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"

namespace {

enum class Prompt { amount, orderId, phone };

struct PromptLayout {
    const char* inputMode;
    std::int32_t minimum;
    std::int32_t maximum;
    bool resetTimeoutOnKeyPress;
};

constexpr PromptLayout amountLayout{"2", 0, 8, false};
constexpr PromptLayout orderIdLayout{"3", 6, 32, false};
constexpr PromptLayout phoneLayout{"1", 10, 11, true};

constexpr const char* saleAmountPrompt = "ENTER SALE AMOUNT";

// An integer parameter; absent or not a number gives the fallback.
std::int32_t integerParameter(const xmlNode& parameters, const char* name, std::int32_t fallback) {
    const int index = parameters.findChild(name);
    std::int32_t value = fallback;
    if (index < 0 || !readLeadingInteger(parameters.child(index).text, value)) {
        return fallback;
    }
    return value;
}

bool forced(const xmlNode& parameters) {
    return integerParameter(parameters, "force", 0) != 0;
}

bool skipsOnCancel(const xmlNode& parameters) {
    return integerParameter(parameters, "skipOnCancel", 0) > 0;
}

// The POS dialog lines: the `pos` parameter's children when given.
xmlNode posLines(const xmlNode& parameters, const char* line1) {
    xmlNode lines;
    const int index = parameters.findChild("pos");
    if (index >= 0) {
        lines.children = parameters.child(index).children;
        return lines;
    }
    lines.getChild("line1").setText(line1);
    lines.getChild("line2").setText("ON PINPAD");
    return lines;
}

// The pinpad text lines: the `pinpad` parameter when given.
xmlNode pinpadLines(const xmlNode& parameters, const char* line0) {
    const int index = parameters.findChild("pinpad");
    xmlNode lines;
    if (index >= 0) {
        lines.children = parameters.child(index).children;
    } else {
        lines.getChild("0").setText(line0);
    }
    lines.name = "TextLines";
    return lines;
}

xmlNode promptScreen(const QuenKlarna& klarna, const xmlNode& parameters,
                     const PromptLayout& layout, const xmlNode& textLines) {
    xmlNode screen;
    screen.getChild("Heading").setText(klarna.displayHeading());
    screen.getChild("Subtitle").setText(klarna.displaySubtitle());
    screen.getChild("Timeout").setText(klarna.settings.inputTimeout);
    screen.getChild("CancelOnPOS").setText(klarna.origin.posOrigin ? 1 : 0);
    screen.getChild("CancelOnPinpad").setText(1);
    if (layout.resetTimeoutOnKeyPress) {
        screen.getChild("ResetTimeoutonKeyPress").setText(1);
    }
    screen.getChild("InputMode").setText(layout.inputMode);
    screen.getChild("Minimum").setText(integerParameter(parameters, "minimum", layout.minimum));
    screen.getChild("Maximum").setText(integerParameter(parameters, "maximum", layout.maximum));
    screen.children.push_back(textLines);
    return screen;
}

void storeAnswer(QuenKlarna& klarna, Prompt prompt, const std::string& input) {
    GatewayRequest& request = klarna.foreground.request;
    switch (prompt) {
    case Prompt::amount: {
        std::int32_t amount = 0;
        if (!readLeadingInteger(input, amount)) {
            amount = 0;
        }
        request.amt = amount;
        klarna.foreground.posRequest.getChild("AmtPurchase").setText(amount);
        break;
    }
    case Prompt::orderId:
        request.manualorderid = input;
        break;
    case Prompt::phone:
        request.phone = input;
        break;
    }
}

std::int32_t answerPrompt(QuenKlarna& klarna, const xmlNode& element, Prompt prompt,
                          bool skipOnCancel) {
    if (!klarna.foregroundOpen()) {
        return 1;
    }
    if (klarna.origin.posOrigin) {
        closePosDisplay(klarna.bridge);
    }
    const std::string result = element.getChildText("Result", "");
    const bool cancelled =
        childReadsOne(element, "PinpadCancelled") || childReadsOne(element, "PosCancelled");
    if (result == "00") {
        storeAnswer(klarna, prompt, element.getChildText("InputData", ""));
        klarna.runNextStep();
        return 1;
    }
    if (prompt != Prompt::amount && skipOnCancel && cancelled) {
        klarna.runNextStep();
        return 1;
    }
    const std::string text = prompt == Prompt::orderId && result == "TO" ? "TIMEOUT" : "";
    klarna.foreground.response.lookupResponse(result, text);
    klarna.origin.promptResponse.lookupResponse(result, text);
    klarna.foreground.completeTransaction();
    return 1;
}

} // namespace

bool QuenKlarna::promptAmount(xmlNode& parameters) {
    if (!forced(parameters)) {
        std::int32_t amount = -1;
        const int index = foreground.posRequest.findChild("AmtPurchase");
        if (foreground.request.amt) {
            runNextStep();
            return true;
        }
        if (index >= 0 && readLeadingInteger(foreground.posRequest.child(index).text, amount) &&
            amount >= 0) {
            foreground.request.amt = amount;
            runNextStep();
            return true;
        }
    }
    const std::string text = parameters.getChildText("prompt", saleAmountPrompt);
    showOnPos(posLines(xmlNode(), text.c_str()));
    xmlNode lines;
    lines.name = "TextLines";
    lines.getChild("0").setText(text);
    getMultiLineFromPinpad(bridge, promptScreen(*this, parameters, amountLayout, lines),
                           answerOnce(handler(&QuenKlarna::onAmountEntered)));
    return true;
}

bool QuenKlarna::promptOrderId(xmlNode& parameters) {
    if (!forced(parameters) && foreground.request.orderid) {
        runNextStep();
        return true;
    }
    showOnPos(posLines(parameters, "ENTER ORDER ID"));
    const bool skip = skipsOnCancel(parameters);
    getMultiLineFromPinpad(
        bridge,
        promptScreen(*this, parameters, orderIdLayout, pinpadLines(parameters, "KLARNA ORDER ID:")),
        answerOnce([this, skip](xmlDoc&, xmlNode& element, std::string&) {
            return onOrderIdEntered(element, skip);
        }));
    return true;
}

bool QuenKlarna::promptPhone(xmlNode& parameters) {
    if (!forced(parameters) && foreground.request.phone) {
        runNextStep();
        return true;
    }
    showOnPos(posLines(parameters, "ENTER PHONE"));
    const bool skip = skipsOnCancel(parameters);
    getMultiLineFromPinpad(bridge,
                           promptScreen(*this, parameters, phoneLayout,
                                        pinpadLines(parameters, "ENTER MOBILE PHONE #")),
                           answerOnce([this, skip](xmlDoc&, xmlNode& element, std::string&) {
                               return onPhoneEntered(element, skip);
                           }));
    return true;
}

std::int32_t QuenKlarna::onAmountEntered(xmlDoc&, xmlNode& element, std::string&) {
    return answerPrompt(*this, element, Prompt::amount, false);
}

std::int32_t QuenKlarna::onOrderIdEntered(xmlNode& element, bool skipOnCancel) {
    return answerPrompt(*this, element, Prompt::orderId, skipOnCancel);
}

std::int32_t QuenKlarna::onPhoneEntered(xmlNode& element, bool skipOnCancel) {
    return answerPrompt(*this, element, Prompt::phone, skipOnCancel);
}
