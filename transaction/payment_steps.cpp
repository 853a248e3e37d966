// The steps that prepare every payment and refund (common request fields,
// validation, purchase analysis data, pending reversal, transaction
// reference) and the refund exchange.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "config/persisted_records.h"
#include "documents/tag_list.h"
#include "documents/trim_set.h"
#include "gateway/message_types.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "klarna_version.h"
#include "platform/platform.h"
#include "transaction/pos_request_validation.h"

namespace {

constexpr std::int32_t txnRefLength = 12;
constexpr const char* txnRefPrefix = "KLA70";

// Three fields of a calendar time, zero-padded to the given widths.
std::string digits(int first, int firstWidth, int second, int secondWidth, int third,
                   int thirdWidth) {
    char text[40];
    std::snprintf(text, sizeof text, "%0*d%0*d%0*d", firstWidth, first, secondWidth, second,
                  thirdWidth, third);
    return text;
}

// The amount as nine digits, a minus sign in front when negative.
std::string nineDigitAmount(std::int32_t amount) {
    const long long value = amount;
    char text[24];
    std::snprintf(text, sizeof text, "%s%09lld", value < 0 ? "-" : "", value < 0 ? -value : value);
    return text;
}

bool isOneButton(const xmlNode& posRequest) {
    const int index = posRequest.findChild("OneButton");
    return index >= 0 && posRequest.child(index).getTextInt(0) >= 1;
}

} // namespace

void QuenKlarna::prepareMessage(const char* type) {
    GatewayRequest& request = foreground.request;
    request.type = type;
    request.stan = nextStan();
    request.sentcount = 0;
}

void QuenKlarna::addReferences() {
    GatewayRequest& request = foreground.request;
    const std::string txnRef = foreground.posRequest.getChildText("TxnRef", "");
    if (!txnRef.empty()) {
        request.ref = txnRef;
    }
    if (!request.uid) {
        request.uid = makeUuid();
    }
}

bool QuenKlarna::presaleStep(xmlNode&) {
    GatewayRequest& request = foreground.request;
    request.agent = applicationStatus.getChildText("AppName", "Klarna") + "\\" +
                    applicationStatus.getChildText("Version", KLARNA_VERSION_TEXT);
    const xmlNode details = getPinpadDetails(bridge);
    setWhenNotEmpty(request.ppacq, details.getChildText("Acquirer", ""));
    setWhenNotEmpty(request.pptid, details.getChildText("TID", ""));
    setWhenNotEmpty(request.ppmid, details.getChildText("MID", ""));
    if (details.getChildText("QR_code", "") != "1") {
        origin.qrMode = false;
    }
    const BasketOutcome basket = takeBasket(foreground.posRequest, request);
    if (basket.status == BasketStatus::noJsonChild) {
        trace(bridge, "Klarna basket left out: no json");
    } else if (basket.status == BasketStatus::notJson) {
        trace(bridge, "Klarna basket left out: " + basket.error);
    }
    if (!settings.brand.empty()) {
        request.brand = settings.brand;
    }
    const platform::CalendarTime& start = foreground.startTime.local;
    request.date = digits(start.day, 2, start.month, 2, start.year, 4);
    request.time = digits(start.hour, 2, start.minute, 2, start.second, 2);
    request.tzd = foreground.startTime.utcOffsetMinutes;
    activationCheck();
    return true;
}

bool QuenKlarna::validationStep(xmlNode&) {
    std::string errorText;
    if (isOneButton(foreground.posRequest) &&
        !validatePosRequest(foreground.posRequest, errorText)) {
        foreground.response.lookupResponse("XF", errorText);
        foreground.completeTransaction();
        return false;
    }
    return runNextStep();
}

bool QuenKlarna::purchaseAnalysisStep(xmlNode&) {
    const PurchaseAnalysisOutcome outcome =
        mapPurchaseAnalysis(foreground.posRequest, foreground.request);
    for (const std::string& tag : outcome.tagsLeftOut) {
        trace(bridge, "Klarna purchase analysis tag too long, left out: " + tag);
    }
    if (outcome.smsRequested) {
        origin.qrMode = false;
    }
    if (outcome.orderIdUnreadable) {
        trace(bridge, outcome.orderIdError);
        foreground.response.code = "X2";
        foreground.completeTransaction();
        return true;
    }
    return runNextStep();
}

bool QuenKlarna::pendingReversalStep(xmlNode& parameters) {
    return startReversal(parameters);
}

bool QuenKlarna::referenceStep(xmlNode&) {
    xmlNode& posRequest = foreground.posRequest;
    if (posRequest.findChild("TxnRef") < 0) {
        posRequest.getChild("TxnRef").setText(nextTxnNo(txnRefLength, txnRefPrefix));
    }
    posRequest.getChild("AmtPurchase").setText(nineDigitAmount(foreground.request.amt.value_or(0)));
    origin.presale = true;
    dllStartTransaction(bridge, posRequest,
                        answerOnce(handler(&QuenKlarna::onDllStartTransaction)));
    return true;
}

std::int32_t QuenKlarna::onDllStartTransaction(xmlDoc& document, xmlNode& element, std::string&) {
    platform::debugOutput("PreSale Start Returned:\n");
    platform::debugOutput(document.toString());
    if (!foregroundOpen()) {
        return 1;
    }
    // The host could not start its transaction (or never answered): no
    // money is asked for, the sale ends with the host's code.
    const std::string result = element.getChildText("Result", "00");
    if (result != "00") {
        foreground.response.lookupResponse(result, element.getChildText("ResultText", ""));
        foreground.completeTransaction();
        return 1;
    }
    // An event without the request keeps the copy the flow already has.
    if (!element.children.empty()) {
        foreground.posRequest = element.children.front();
    }
    runNextStep();
    return 1;
}

bool QuenKlarna::refundStep(xmlNode&) {
    const GatewayRequest& request = foreground.request;
    if (!request.amt || (!request.orderid && !request.manualorderid)) {
        foreground.response.setResponse("F0");
        return false;
    }
    prepareMessage("R");
    addReferences();
    startForegroundSend(saleMessageType, saleReplyType, saleReplyType, settingTimeout, false,
                        [this] { return onRefundReply(); });
    return true;
}

bool QuenKlarna::onRefundReply() {
    // An approved refund has paid the customer back and has no reversal: it
    // stands, and the POS hears so, even when the pinpad went offline.
    const bool refunded = foreground.reply.rc && foreground.response.code == "00";
    if (!refunded && pinpadWentOffline()) {
        return false;
    }
    if (!foreground.reply.rc) {
        foreground.response.setResponse("X0");
    }
    const std::string& code = foreground.response.code;
    if (code == "X0") {
        // The reply stays for the result unless the refund is sent again.
        xmlNode none;
        if (!offerRetry(none)) {
            foreground.completeTransaction();
            return false;
        }
        return true;
    }
    if (code == "00") {
        runNextStep();
        return true;
    }
    return false;
}

bool QuenKlarna::pinpadWentOffline() {
    if (origin.pinpadOnline) {
        return false;
    }
    storeReversal(bridge, foreground.request);
    foreground.response.setResponse("PF");
    return true;
}
