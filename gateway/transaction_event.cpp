#include "gateway/transaction_event.h"

#include "config/persisted_records.h"
#include "documents/tag_list.h"
#include "gateway/gateway_transaction.h"
#include "gateway/result_text.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "host/startup_registration.h"
#include "transaction/request_origin.h"

namespace {

const char* const noAmount = "000000000";

const char* flag(bool value) {
    return value ? "1" : "0";
}

// A copy of the request's child (an empty element when it has none).
void addCopy(xmlNode& element, const xmlNode& request, const char* name) {
    xmlNode copy;
    const int index = request.findChild(name);
    if (index >= 0) {
        copy = request.child(index);
    }
    copy.name = name;
    element.children.push_back(std::move(copy));
}

std::string purchaseAmount(const GatewayReply& reply, const xmlNode& posRequest) {
    if (reply.amt) {
        return zeroPadded(*reply.amt, 9);
    }
    const int index = posRequest.findChild("AmtPurchase");
    return index >= 0 ? posRequest.child(index).text : noAmount;
}

void addIdentity(xmlNode& event, const GatewayTransaction& transaction) {
    const xmlNode& posRequest = transaction.posRequest;
    if (transaction.reply.mt) {
        appendChild(event, "ResponseType", std::to_string(*transaction.reply.mt));
    }
    appendChild(event, "TxnType", posRequest.getChildText("TxnType", "?"));
    appendChild(event, "Stan", stanText(transaction.request.stan));
    appendChild(event, "Merchant",
                posRequest.getChildText("Merchant", registration::merchantNumber));
    appendChild(event, "ResponseCode", transaction.response.code);
    appendChild(event, "ResponseText", transaction.response.text);
    appendChild(event, "Success", flag(transaction.response.code == "00"));
    appendChild(event, "Caid", transaction.request.trn.value_or(""));
    appendChild(event, "Date", compactDate(transaction.startTime.local));
    appendChild(event, "Time", compactTime(transaction.startTime.local));
}

void addAmounts(xmlNode& event, const GatewayTransaction& transaction) {
    const std::string amount = purchaseAmount(transaction.reply, transaction.posRequest);
    appendChild(event, "AmtPurchase", amount);
    if (transaction.reply.currency) {
        appendChild(event, "CurrencyCode", *transaction.reply.currency);
    }
    appendChild(event, "AmtCash", noAmount);
    appendChild(event, "AmtTip", noAmount);
    appendChild(event, "AmtTotal", amount);
    if (transaction.request.pan) {
        appendChild(event, "Pan", *transaction.request.pan);
    }
    appendChild(event, "CardName", registration::merchantNumber);
}

void addResultTags(xmlNode& event, const GatewayTransaction& transaction,
                   std::vector<std::string>& tagsLeftOut) {
    const TagList tags =
        resultTags(transaction.reply, transaction.request, transaction.response.code,
                   transaction.posRequest.getChildText("TxnType", "?"));
    if (!tags.empty()) {
        appendChild(event, "PurchaseAnalysisData", tags.toString(true, tagsLeftOut));
    }
}

} // namespace

xmlNode buildTransactionEvent(const GatewayTransaction& transaction, const RequestOrigin& origin,
                              std::vector<std::string>& tagsLeftOut) {
    const xmlNode& posRequest = transaction.posRequest;
    xmlNode event;
    event.name = "TransactionEvent";
    addIdentity(event, transaction);
    addAmounts(event, transaction);
    appendChild(event, "TxnRef", posRequest.getChildText("TxnRef", ""));
    appendChild(event, "CsdReservedBool1", flag(origin.reserved));
    appendChild(event, "CsdReservedString1",
                std::string(flag(origin.reserved)) + flag(origin.receiptPrinted) +
                    transaction.request.pansrc.value_or("0") + "00000");
    addResultTags(event, transaction, tagsLeftOut);
    addCopy(event, posRequest, "OriginalSource");
    addCopy(event, posRequest, "OriginalProcessor");
    appendChild(event, "m_Klarna", posRequest.getChildText("m_Klarna", "Event"));
    if (!origin.presale) {
        appendChild(event, "m_SkipPostSaleApps", "1");
    }
    return event;
}

void QuenKlarna::sendTransactionEvent() {
    std::vector<std::string> tagsLeftOut;
    foreground.result = buildTransactionEvent(foreground, origin, tagsLeftOut);
    for (const std::string& tag : tagsLeftOut) {
        trace(bridge, "Result tag " + tag + " too long, left out");
    }
    storeLastTransaction(bridge, foreground.result.toString());
    dllEndTransaction(bridge, foreground.result);
    foreground.inProgress = false;
    foreground.finished = true;
}
