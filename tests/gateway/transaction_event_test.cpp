#include "gateway/transaction_event.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gateway/result_fixture.h"

namespace {

class TransactionEventTest : public ResultFixture {
  protected:
    xmlNode build() {
        std::vector<std::string> leftOut;
        xmlNode event = buildTransactionEvent(extension.foreground, extension.origin, leftOut);
        EXPECT_TRUE(leftOut.empty());
        return event;
    }

    std::string childText(const xmlNode& event, const std::string& name) {
        EXPECT_GE(event.findChild(name), 0) << name;
        return event.getChildText(name, "<absent>");
    }
};

TEST_F(TransactionEventTest, ApprovedPurchaseCarriesEveryChildInOrder) {
    approvedPurchase();
    GatewayTransaction& foreground = extension.foreground;
    foreground.request.trn = "CAID7";
    foreground.request.pan = "4111111111111111";
    foreground.request.pansrc = "K";
    foreground.reply.hrc = "A1";
    foreground.reply.txref = "TX";
    extension.origin.presale = true;
    extension.origin.receiptPrinted = true;

    const xmlNode event = build();
    EXPECT_EQ(event.name, "TransactionEvent");
    const std::string rfn = R"({"merchant":"70","orderid":"ORD-9"})";
    const std::string tags =
        "HRC002A1REF002TXRFN0" + std::to_string(rfn.size()) + rfn + "UID005UID-1AMT0041500";
    const Fields expected = {
        {"ResponseType", "210"},
        {"TxnType", "P"},
        {"Stan", "000042"},
        {"Merchant", "70"},
        {"ResponseCode", "00"},
        {"ResponseText", "TRANSACTION APPROVED"},
        {"Success", "1"},
        {"Caid", "CAID7"},
        {"Date", "310124"},
        {"Time", "101530"},
        {"AmtPurchase", "000001500"},
        {"CurrencyCode", "AUD"},
        {"AmtCash", "000000000"},
        {"AmtTip", "000000000"},
        {"AmtTotal", "000001500"},
        {"Pan", "4111111111111111"},
        {"CardName", "70"},
        {"TxnRef", "POSREF1"},
        {"CsdReservedBool1", "0"},
        {"CsdReservedString1", "01K00000"},
        {"PurchaseAnalysisData", "0" + std::to_string(tags.size()) + tags},
        {"OriginalSource", "POS"},
        {"OriginalProcessor", ""},
        {"m_Klarna", "Payment"},
    };
    EXPECT_EQ(fieldsOf(event), expected);
}

TEST_F(TransactionEventTest, WithoutAReplyTheDefaultsStandIn) {
    begin(RecordingHost::element("DoTransaction", {{"AmtPurchase", "0000250"}}));
    extension.foreground.response.setResponse("TX");

    const Fields expected = {
        {"TxnType", "?"},
        {"Stan", "000000"},
        {"Merchant", "70"},
        {"ResponseCode", "TX"},
        {"ResponseText", "UNABLE TO PROCESS"},
        {"Success", "0"},
        {"Caid", ""},
        {"Date", "310124"},
        {"Time", "101530"},
        {"AmtPurchase", "0000250"},
        {"AmtCash", "000000000"},
        {"AmtTip", "000000000"},
        {"AmtTotal", "0000250"},
        {"CardName", "70"},
        {"TxnRef", ""},
        {"CsdReservedBool1", "0"},
        {"CsdReservedString1", "00000000"},
        {"OriginalSource", ""},
        {"OriginalProcessor", ""},
        {"m_Klarna", "Event"},
        {"m_SkipPostSaleApps", "1"},
    };
    EXPECT_EQ(fieldsOf(build()), expected);

    extension.foreground.posRequest.children.clear();
    EXPECT_EQ(childText(build(), "AmtPurchase"), "000000000");
}

TEST_F(TransactionEventTest, StanAndAmountsAreWidenedOrCut) {
    approvedPurchase();
    const struct {
        int stan;
        int amount;
        const char* stanText;
        const char* amountText;
    } cases[] = {{1234567, 1500, "234567", "000001500"},
                 {7, 2147483647, "000007", "2147483647"},
                 {0, 0, "000000", "000000000"}};
    for (const auto& c : cases) {
        extension.foreground.request.stan = c.stan;
        extension.foreground.reply.amt = c.amount;
        const xmlNode event = build();
        EXPECT_EQ(childText(event, "Stan"), c.stanText);
        EXPECT_EQ(childText(event, "AmtPurchase"), c.amountText);
        EXPECT_EQ(childText(event, "AmtTotal"), c.amountText);
    }
}

TEST_F(TransactionEventTest, ResultTagsFollowTheOutcome) {
    approvedPurchase();
    GatewayTransaction& foreground = extension.foreground;
    foreground.reply.pad = "REF003OLDSKU003ABC";

    // The pad's REF keeps its place and is kept without a txref.
    std::string tags = childText(build(), "PurchaseAnalysisData");
    EXPECT_NE(tags.find("REF003OLDSKU003ABCRFN"), std::string::npos) << tags;

    foreground.reply.txref = "NEW";
    tags = childText(build(), "PurchaseAnalysisData");
    EXPECT_EQ(tags.substr(3, 18), "REF003NEWSKU003ABC");

    // A declined purchase and an approved refund never carry RFN.
    foreground.response.setResponse("X0");
    EXPECT_EQ(childText(build(), "PurchaseAnalysisData").find("RFN"), std::string::npos);
    foreground.response.setResponse("00");
    foreground.posRequest.getChild("TxnType").setText("R");
    EXPECT_EQ(childText(build(), "PurchaseAnalysisData").find("RFN"), std::string::npos);

    // Nothing to return: no PurchaseAnalysisData at all.
    foreground.reply = GatewayReply();
    foreground.request.trackinguid.reset();
    EXPECT_LT(build().findChild("PurchaseAnalysisData"), 0);
}

TEST_F(TransactionEventTest, SendStoresTheEventHandsItToTheHostAndEndsTheTransaction) {
    approvedPurchase();
    extension.foreground.finished = true;

    extension.sendTransactionEvent();

    EXPECT_FALSE(extension.foreground.inProgress);
    EXPECT_TRUE(extension.foreground.finished);
    EXPECT_EQ(store.host.methodNames(),
              (std::vector<std::string>{"SetVariable", "DllEndTransaction"}));
    const xmlNode stored(store.variables["LAST_TXN"].c_str());
    EXPECT_EQ(stored.name, "TransactionEvent");
    EXPECT_EQ(stored.getChildText("ResponseCode", ""), "00");
    EXPECT_EQ(stored.getChildText("OriginalProcessor", "<absent>"), "");

    const xmlNode& method = store.host.last().element();
    const xmlNode& container = method.child(method.findChild("VORTAXIS_EVENT"));
    ASSERT_EQ(container.children.size(), 1u);
    const xmlNode& handed = container.child(0);
    EXPECT_EQ(handed.name, "TransactionEvent");
    EXPECT_EQ(handed.getChildText("OriginalProcessor", ""), "Klarna");
    // A second transaction can begin now, and its result starts afresh.
    ASSERT_TRUE(extension.foreground.beginTransaction(posPurchase()));
    extension.foreground.response.setResponse("TM");
    extension.sendTransactionEvent();
    const xmlNode second(store.variables["LAST_TXN"].c_str());
    EXPECT_EQ(second.getChildText("ResponseCode", ""), "TM");
    EXPECT_EQ(fieldsOf(second).size(), fieldsOf(extension.foreground.result).size());
}

} // namespace
