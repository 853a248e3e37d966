// The purchase and refund plans: what every payment or refund does first,
// and the order of the steps that prepare it.
#include <cstdint>

#include "config/persisted_records.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"

namespace {

constexpr const char* refundAmountPrompt = "ENTER REFUND AMOUNT";

} // namespace

StepAction QuenKlarna::stepOf(bool (QuenKlarna::*member)(xmlNode&)) {
    return [this, member](xmlNode& parameters) { return (this->*member)(parameters); };
}

bool QuenKlarna::foregroundOpen() const {
    return foreground.inProgress && !foreground.finished;
}

void QuenKlarna::openPlan(const char* kind) {
    startSession(bridge);
    storeLastTransaction(bridge, "");
    storeLastReceipt(bridge, "");
    foreground.posRequest.getChild("m_Klarna").setText(kind);
    clearSteps();
    const xmlNode none;
    addStep(none, stepOf(&QuenKlarna::presaleStep));
    addStep(none, stepOf(&QuenKlarna::validationStep));
    addStep(none, stepOf(&QuenKlarna::tokenStep));
    addStep(none, stepOf(&QuenKlarna::purchaseAnalysisStep));
}

std::int32_t QuenKlarna::startPurchase() {
    openPlan("Payment");
    const xmlNode none;
    addStep(none, stepOf(&QuenKlarna::promptAmount));
    addStep(none, stepOf(&QuenKlarna::pendingReversalStep));
    addStep(none, stepOf(&QuenKlarna::referenceStep));
    addStep(none, stepOf(&QuenKlarna::paymentMethodStep));
    runNextStep();
    return 1;
}

std::int32_t QuenKlarna::startRefund() {
    openPlan("Refund");
    const xmlNode none;
    xmlNode amount;
    amount.getChild("prompt").setText(refundAmountPrompt);
    addStep(amount, stepOf(&QuenKlarna::promptAmount));
    addStep(none, stepOf(&QuenKlarna::promptOrderId));
    addStep(none, stepOf(&QuenKlarna::pendingReversalStep));
    addStep(none, stepOf(&QuenKlarna::referenceStep));
    addStep(none, stepOf(&QuenKlarna::refundStep));
    runNextStep();
    return 1;
}

bool QuenKlarna::paymentMethodStep(xmlNode&) {
    const xmlNode none;
    if (origin.qrMode && settings.paymentMode != "SMS") {
        origin.qrMode = true;
        addStep(none, stepOf(&QuenKlarna::orderStep));
        addStep(none, stepOf(&QuenKlarna::qrStep));
        addStep(none, stepOf(&QuenKlarna::purchaseStep));
    } else {
        origin.qrMode = false;
        addSmsSteps(none);
    }
    runNextStep();
    return true;
}

void QuenKlarna::addSmsSteps(const xmlNode& phoneParameters) {
    const xmlNode none;
    addStep(phoneParameters, stepOf(&QuenKlarna::promptPhone));
    addStep(none, stepOf(&QuenKlarna::orderStep));
    addStep(none, stepOf(&QuenKlarna::smsStep));
    addStep(none, stepOf(&QuenKlarna::purchaseStep));
}
