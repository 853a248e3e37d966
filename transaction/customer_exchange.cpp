// The conversation with the gateway that lets the customer pay: the payment
// session ("O"), the link by SMS ("D"), the status waits ("N") and their
// interruption ("Q"), the purchase ("P"), and the switch from QR to SMS.
#include <cstdint>
#include <optional>
#include <string>

#include "config/persisted_records.h"
#include "gateway/message_types.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"

namespace {

// The gateway is told to give up this much earlier than the host.
constexpr std::int32_t gatewayMarginSeconds = 10;

bool missing(QuenKlarna& klarna, bool absent) {
    if (absent) {
        klarna.foreground.response.setResponse("F0");
    }
    return absent;
}

} // namespace

bool QuenKlarna::orderStep(xmlNode&) {
    GatewayRequest& request = foreground.request;
    if (missing(*this, !request.amt || !request.countrycode)) {
        return false;
    }
    prepareMessage("O");
    request.currency = foreground.posRequest.getChildText("CurrencyCode", "");
    request.hppsid.reset();
    request.hppstatus.reset();
    addReferences();
    startForegroundSend(sessionMessageType, sessionReplyType, sessionReplyType, settingTimeout,
                        false, [this] { return onOrderReply(); });
    return true;
}

bool QuenKlarna::qrStep(xmlNode&) {
    if (missing(*this, !foreground.request.hppsid || !foreground.reply.redirecturl)) {
        return false;
    }
    const std::string qrData = *foreground.reply.redirecturl;
    foreground.reply = GatewayReply();
    if (!startWait(settings.qrWaitTime)) {
        return false;
    }
    showQrCode(qrData);
    return true;
}

bool QuenKlarna::smsStep(xmlNode&) {
    if (missing(*this, !foreground.request.hppsid || !foreground.request.phone)) {
        return false;
    }
    prepareMessage("D");
    addReferences();
    startForegroundSend(sessionMessageType, sessionReplyType, sessionReplyType, settingTimeout,
                        false, [this] { return onSmsReply(); });
    return true;
}

bool QuenKlarna::purchaseStep(xmlNode&) {
    if (missing(*this, !foreground.request.orderid)) {
        return false;
    }
    prepareMessage("P");
    addReferences();
    startForegroundSend(saleMessageType, saleReplyType, saleReplyType, settingTimeout, false,
                        [this] { return onPurchaseReply(); });
    return true;
}

bool QuenKlarna::startWait(std::int32_t seconds) {
    GatewayRequest& request = foreground.request;
    if (missing(*this, !request.hppsid)) {
        return false;
    }
    prepareMessage("N");
    request.hppstatus = "WAITING";
    request.timeout = seconds - gatewayMarginSeconds;
    startForegroundSend(sessionMessageType, sessionReplyType, sessionReplyType, seconds, true,
                        [this] { return onWaitReply(); });
    // A refused send has completed the transaction: no screen to show.
    return foregroundOpen();
}

bool QuenKlarna::paymentWait() {
    foreground.response.clear();
    GatewayRequest& request = foreground.request;
    prepareMessage("N");
    request.hppstatus = foreground.reply.hppstatus;
    request.timeout = settings.paymentWaitTime - gatewayMarginSeconds;
    startForegroundSend(sessionMessageType, sessionReplyType, sessionReplyType,
                        settings.paymentWaitTime, true, [this] { return onPaymentWaitReply(); });
    if (!foregroundOpen()) {
        return false;
    }
    showPaymentInProgress(settings.paymentWaitTime);
    return true;
}

bool QuenKlarna::interruptWait() {
    GatewayRequest& request = foreground.request;
    if (missing(*this, !request.hppsid)) {
        return false;
    }
    // The reply that ends the wait still answers the pending "N".
    const std::optional<std::string> waitType = request.type;
    const std::optional<std::int32_t> waitStan = request.stan;
    prepareMessage("Q");
    startForegroundSend(sessionMessageType, sessionReplyType, sessionReplyType, 0, false,
                        ReplyCallback());
    request.type = waitType;
    request.stan = waitStan;
    return true;
}

bool QuenKlarna::onOrderReply() {
    GatewayRequest& request = foreground.request;
    const GatewayReply& reply = foreground.reply;
    // An open session that is abandoned is kept for reversal.
    const auto keepSession = [this, &request, &reply] {
        if (reply.hppsid) {
            request.type = "N";
            request.hppsid = reply.hppsid;
            storeReversal(bridge, request);
        }
    };
    if (!origin.pinpadOnline) {
        keepSession();
        foreground.response.setResponse("PF");
        return false;
    }
    if (foreground.response.code != "00") {
        return false;
    }
    if ((request.paysid || reply.paysid) && reply.hppsid) {
        if (reply.paysid) {
            request.paysid = reply.paysid;
        }
        request.hppsid = reply.hppsid;
        runNextStep();
        return true;
    }
    keepSession();
    foreground.response.setResponse("XC");
    return false;
}

bool QuenKlarna::onSmsReply() {
    if (pinpadWentOffline()) {
        return false;
    }
    if (foreground.response.code != "00") {
        storeReversal(bridge, foreground.request);
        return false;
    }
    foreground.reply = GatewayReply();
    if (!startWait(settings.qrWaitTime)) {
        return false;
    }
    showSmsSent();
    return true;
}

bool QuenKlarna::onWaitReply() {
    if (pinpadWentOffline()) {
        return false;
    }
    if (!origin.screenAnswered) {
        cancelCurrentCommand(bridge);
    }
    const std::string code = foreground.response.code;
    if (code == "TM") {
        if (origin.switchToSms) {
            return switchToSmsPlan();
        }
        if (!origin.promptResponse.code.empty()) {
            foreground.response = origin.promptResponse;
        }
        return false;
    }
    if (code != "00") {
        return false;
    }
    if (!foreground.reply.orderid) {
        return paymentWait();
    }
    foreground.request.orderid = foreground.reply.orderid;
    foreground.request.hppstatus = foreground.reply.hppstatus;
    runNextStep();
    return true;
}

bool QuenKlarna::switchToSmsPlan() {
    origin.qrMode = false;
    clearSteps();
    foreground.reply = GatewayReply();
    foreground.response.clear();
    foreground.request.phone.reset();
    foreground.request.txid = makeUniqueRef();
    xmlNode phone;
    phone.getChild("force").setText(1);
    addSmsSteps(phone);
    runNextStep();
    return true;
}

bool QuenKlarna::onPaymentWaitReply() {
    if (pinpadWentOffline()) {
        return false;
    }
    if (!origin.screenAnswered) {
        cancelCurrentCommand(bridge);
    }
    if (foreground.response.code != "00") {
        return false;
    }
    foreground.request.orderid = foreground.reply.orderid;
    foreground.request.hppstatus = foreground.reply.hppstatus;
    runNextStep();
    return true;
}

bool QuenKlarna::onPurchaseReply() {
    if (pinpadWentOffline()) {
        return false;
    }
    if (foreground.response.code != "00") {
        return false;
    }
    runNextStep();
    return true;
}
