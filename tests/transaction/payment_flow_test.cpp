// The purchase and refund plans, the preparation steps and the refund
// exchange.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/transaction/payment_fixture.h"

namespace {

class PaymentFlowTest : public PaymentFixture {
  protected:
    // Every request so far as its method name, with the variable it names.
    std::vector<std::string> calls() const {
        std::vector<std::string> made;
        for (const RecordingHost::Request& request : host.requests()) {
            const std::string variable = request.element().getChildText("VariableName", "");
            made.push_back(request.methodName() + (variable.empty() ? "" : ":" + variable));
        }
        return made;
    }
    const xmlNode& startedRequest() const {
        return requestsOf("DllStartTransaction").back()->element().children.front();
    }
};

const std::vector<std::string> preparation = {
    "StartSession",      "SetVariable:LAST_TXN", "SetVariable:LAST_RECEIPT", "GetPinpadDetails",
    "GetVariable:TOKEN", "GetVariable:TOKEN",    "GetVariable:COUNTRY_CODE"};
const std::vector<std::string> orderSend = {"GetVariable:STAN", "SetVariable:STAN",
                                            "GetMultiLineFromPinpad", "DisplayOnPos",
                                            "SendHostMessage"};

std::vector<std::string> joined(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST_F(PaymentFlowTest, PurchasePlanPreparesThenOpensTheSession) {
    startAndConfirm(posPurchase());
    EXPECT_EQ(
        calls(),
        joined({preparation, {"GetVariable:REVERSAL_DATA", "DllStartTransaction"}, orderSend}));
    EXPECT_EQ(startedRequest().getChildText("m_Klarna", ""), "Payment");
    EXPECT_TRUE(klarna.origin.presale);
    EXPECT_EQ(sentTypes(), "O");
}

TEST_F(PaymentFlowTest, RefundPlanAsksForTheOrderIdBeforeTheReversalAndSendsR) {
    begin({{"TxnType", "R"}, {"AmtPurchase", "900"}, {"TxnRef", "T1"}});
    klarna.startRefund();
    EXPECT_EQ(calls(), joined({preparation, {"GetMultiLineFromPinpad"}}));
    answerScreen({{"Result", "00"}, {"InputData", "ORD77"}});
    confirmStart();
    EXPECT_EQ(calls(), joined({preparation,
                               {"GetMultiLineFromPinpad", "GetVariable:REVERSAL_DATA",
                                "DllStartTransaction", "GetVariable:STAN", "SetVariable:STAN",
                                "GetMultiLineFromPinpad", "SendHostMessage"}}));
    EXPECT_EQ(startedRequest().getChildText("m_Klarna", ""), "Refund");
    EXPECT_EQ(lastSendField("MsgType"), "200");
    EXPECT_EQ(lastSendField("Timeout"), "45");
    const nlohmann::json sent = lastMessage();
    EXPECT_EQ(sent["type"], "R");
    EXPECT_EQ(sent["manualorderid"], "ORD77");
    EXPECT_EQ(sent["amt"], 900);
    EXPECT_FALSE(sent.contains("orderid"));
}

TEST_F(PaymentFlowTest, RefundWithRfnSkipsTheOrderIdPromptAndAsksTheRefundAmount) {
    begin({{"TxnType", "R"}, {"PurchaseAnalysisData", "RFN005X1234"}});
    klarna.startRefund();
    EXPECT_EQ(textLine(lastScreen(), "0"), "ENTER REFUND AMOUNT");
    answerScreen({{"Result", "00"}, {"InputData", "900"}});
    confirmStart();
    EXPECT_EQ(startedRequest().getChildText("AmtPurchase", ""), "000000900");
    EXPECT_EQ(requestsOf("GetMultiLineFromPinpad").size(), 2u); // amount, processing
    EXPECT_EQ(lastMessage()["orderid"], "X1234");
}

struct TxnRefCase {
    RecordingHost::Parameters reference; // TxnRef and AmtPurchase of the POS request
    std::string txnRef;                  // as handed to DllStartTransaction
    std::string amtPurchase;             // likewise
    const char* sentRef;                 // `ref` of the "O", nullptr when absent
};

TEST_F(PaymentFlowTest, ReferenceStepMakesTheTxnRefAndPadsTheAmount) {
    const std::vector<TxnRefCase> cases = {
        {{{"AmtPurchase", "1250"}}, "KLA700000042", "000001250", "KLA700000042"},
        {{{"AmtPurchase", "0"}, {"TxnRef", ""}}, "", "000000000", nullptr},
        {{{"AmtPurchase", "7"}, {"TxnRef", "POS9"}}, "POS9", "000000007", "POS9"},
    };
    for (const TxnRefCase& c : cases) {
        reset();
        variables["TXN_NO"] = "41";
        Parameters fields = {{"TxnType", "P"}, {"CurrencyCode", "AUD"}};
        fields.insert(fields.end(), c.reference.begin(), c.reference.end());
        startAndConfirm(fields);
        EXPECT_EQ(startedRequest().getChildText("TxnRef", "?"), c.txnRef);
        EXPECT_EQ(startedRequest().getChildText("AmtPurchase", "?"), c.amtPurchase);
        const nlohmann::json sent = lastMessage();
        EXPECT_EQ(sent.contains("ref"), c.sentRef != nullptr);
        if (c.sentRef != nullptr) {
            EXPECT_EQ(sent["ref"], c.sentRef);
        }
    }
}

TEST_F(PaymentFlowTest, PresaleFillsTheCommonFields) {
    klarna.settings.brand = "Shop";
    begin(posPurchase());
    xmlNode& basket = klarna.foreground.posRequest.getChild("BasketData");
    basket.getChild("json").setText("{\"items\":[1]}");
    klarna.startPurchase();
    confirmStart();
    expectMembers({{"agent", "Klarna\\1.0.0.0"},
                   {"ppacq", "ACQ"},
                   {"pptid", "TID9"},
                   {"ppmid", nullptr},
                   {"brand", "Shop"},
                   {"date", "05032024"},
                   {"time", "180809"},
                   {"tzd", 660},
                   {"token", "T1"},
                   {"basket", {{"items", {1}}}},
                   {"countrycode", "AU"},
                   {"currency", "AUD"},
                   {"uid", "uuid-1"},
                   {"amt", 1250},
                   {"sentcount", 1}});
}

TEST_F(PaymentFlowTest, EarlyFailuresEndBeforeAnyGatewayMessage) {
    struct Case {
        Parameters extra;
        std::string code;
        std::string responseText;
    };
    const std::vector<Case> cases = {
        {{{"OneButton", "1"},
          {"CutReceipt", "1"},
          {"ReceiptAutoPrint", "0"},
          {"PurchaseAnalysisData", "SKU003ABC"}},
         "XF",
         "INVALID TXN"},
        {{{"PurchaseAnalysisData", "RFN001{"}}, "X2", ""},
    };
    for (const Case& c : cases) {
        reset();
        begin(posPurchase(c.extra));
        klarna.startPurchase();
        EXPECT_EQ(completedCode, c.code);
        EXPECT_EQ(klarna.foreground.response.text, c.responseText);
        EXPECT_EQ(requestsOf("GetPinpadDetails").size(), 1u);
        EXPECT_TRUE(requestsOf("SendHostMessage").empty());
        EXPECT_TRUE(requestsOf("DllStartTransaction").empty());
    }
    ASSERT_EQ(requestsOf("Trace").size(), 1u); // the unreadable RFN
    EXPECT_FALSE(requestsOf("Trace").front()->element().getChildText("TraceData", "").empty());
}

// Only a OneButton of 1 or more asks for a complete request, and only a
// PAYMENT_MODE of exactly "SMS" turns a QR purchase into an SMS one: these
// requests (incomplete, but not one-button) open a QR payment session.
TEST_F(PaymentFlowTest, OneButtonAndPaymentModeAreReadExactly) {
    struct Case {
        const char* oneButton;
        const char* paymentMode;
        std::string sent; // message types sent once the purchase has started
    };
    const std::vector<Case> cases = {{"0", "", "O"},    {"-1", "", "O"}, {"", "sms", "O"},
                                     {"", "SMS ", "O"}, {"", "SMS", ""}, {"1", "", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.oneButton) + "/" + c.paymentMode);
        reset();
        klarna.settings.paymentMode = c.paymentMode;
        Parameters extra;
        if (*c.oneButton != '\0') {
            extra.emplace_back("OneButton", c.oneButton);
        }
        begin(posPurchase(extra));
        klarna.startPurchase();
        if (!requestsOf("DllStartTransaction").empty()) {
            confirmStart();
        }
        EXPECT_EQ(sentTypes(), c.sent);
        EXPECT_EQ(completedCode, *c.oneButton == '1' ? "XF" : "");
    }
}

TEST_F(PaymentFlowTest, StartEventReplacesTheRequestCopyOnlyWhenItCarriesOne) {
    begin(posPurchase());
    klarna.startPurchase();
    deliver(RecordingHost::element("DllStartTransactionEvent", {}));
    EXPECT_EQ(debug.find("PreSale Start Returned:\n<?xml"), 0u);
    EXPECT_EQ(lastMessage()["currency"], "AUD");

    reset();
    begin(posPurchase());
    klarna.startPurchase();
    xmlNode event;
    event.name = "DllStartTransactionEvent";
    event.children.push_back(
        RecordingHost::element("DoTransaction", {{"TxnType", "P"}, {"CurrencyCode", "NZD"}}));
    deliver(event);
    EXPECT_EQ(lastMessage()["currency"], "NZD");
}

TEST_F(PaymentFlowTest, RefundReplyDecidesRetryOrEnd) {
    struct Case {
        const char* hostResult; // nullptr: a gateway reply with rc
        const char* rc;
        int retryLimit;
        bool retryOffered;
        std::string code; // at completion
    };
    const std::vector<Case> cases = {
        {"TO", nullptr, 5, true, ""},    {"TO", nullptr, 0, false, "X0"},
        {nullptr, "X0", 5, true, ""},    {nullptr, "00", 5, false, "00"},
        {nullptr, "05", 5, false, "05"},
    };
    for (const Case& c : cases) {
        reset();
        klarna.settings.retryLimit = c.retryLimit;
        startAndConfirm(
            {{"TxnType", "R"}, {"AmtPurchase", "900"}, {"PurchaseAnalysisData", "RFN005X1234"}},
            true);
        c.hostResult ? hostFailure(c.hostResult) : reply(c.rc);
        EXPECT_EQ(requestsOf("WaitForKeyPress").size(), c.retryOffered ? 1u : 0u);
        EXPECT_EQ(completions, c.retryOffered ? 0 : 1);
        EXPECT_EQ(completedCode, c.code);
    }
}

// "X0" from the gateway: declining the retry (or running out of retries)
// reports what the gateway said; the reply is dropped only for a resend.
TEST_F(PaymentFlowTest, DeclinedRefundRetryKeepsTheGatewaysReply) {
    for (const int retryLimit : {5, 0}) {
        SCOPED_TRACE(retryLimit);
        reset();
        klarna.settings.retryLimit = retryLimit;
        startAndConfirm(
            {{"TxnType", "R"}, {"AmtPurchase", "900"}, {"PurchaseAnalysisData", "RFN005X1234"}},
            true);
        reply("X0", {{"currency", "AUD"}, {"amt", 900}, {"txref", "KREF9"}});
        if (retryLimit > 0) {
            ASSERT_EQ(requestsOf("WaitForKeyPress").size(), 1u);
            deliver(RecordingHost::element("WaitForKeyPressEvent",
                                           {{"Result", "00"}, {"PinpadKeyPress", "CANCEL"}}));
        }
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(completedCode, "X0");
        EXPECT_EQ(klarna.foreground.reply.currency.value_or(""), "AUD");
        EXPECT_EQ(klarna.foreground.reply.amt.value_or(0), 900);
        EXPECT_EQ(klarna.foreground.reply.txref.value_or(""), "KREF9");
    }
}

// The refund's answer that comes after the host's time-out, while the
// operator is asked whether to send it again, is the refund's outcome: a
// refund the gateway paid is reported approved, the question is taken down,
// and its key, if it still comes, sends nothing.
TEST_F(PaymentFlowTest, RefundAnswerDuringTheRetryQuestionIsTaken) {
    startAndConfirm(
        {{"TxnType", "R"}, {"AmtPurchase", "900"}, {"PurchaseAnalysisData", "RFN005X1234"}}, true);
    hostFailure("TO");
    ASSERT_EQ(requestsOf("WaitForKeyPress").size(), 1u);
    reply("00", {{"currency", "AUD"}, {"amt", 900}, {"txref", "KREF9"}});
    EXPECT_EQ(requestsOf("CancelCurrentCommand").size(), 1u);
    EXPECT_EQ(klarna.foreground.response.code, "00");
    EXPECT_EQ(klarna.foreground.reply.txref.value_or(""), "KREF9");
    deliver(RecordingHost::element("WaitForKeyPressEvent",
                                   {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}}));
    EXPECT_EQ(requestsOf("SendHostMessage").size(), 1u);
    EXPECT_NE(completedCode, "X0");
}

// A refund's approval that comes only after its failure was shown and the
// receipt printed (the retry declined), before the result is sent, is still
// its outcome: the gateway paid and a refund has no reversal. The result
// step runs again at its next answer (the print's or the key's), so the
// receipt printed last, LAST_TXN and the POS all say approved.
TEST_F(PaymentFlowTest, RefundApprovedAfterItsFailureReceiptRunsTheResultStepAgain) {
    for (const bool printAnswered : {false, true}) {
        SCOPED_TRACE(printAnswered);
        reset();
        startAndConfirm(
            {{"TxnType", "R"}, {"AmtPurchase", "900"}, {"PurchaseAnalysisData", "RFN005X1234"}},
            true);
        klarna.completeWithReceiptThenResult();
        hostFailure("TO");
        deliver(RecordingHost::element("WaitForKeyPressEvent",
                                       {{"Result", "00"}, {"PinpadKeyPress", "CANCEL"}}));
        const xmlNode printed = RecordingHost::element("PrintReceiptEvent", {{"Result", "00"}});
        const xmlNode key = RecordingHost::element("WaitForKeyPressEvent", {{"Result", "00"}});
        if (printAnswered) {
            deliver(printed);
        }
        reply("00", {{"currency", "AUD"}, {"amt", 900}, {"txref", "KREF9"}});
        EXPECT_TRUE(requestsOf("DllEndTransaction").empty());
        deliver(printAnswered ? key : printed);
        const auto prints = requestsOf("PrintReceipt");
        ASSERT_EQ(prints.size(), 2u);
        EXPECT_NE(prints[0]->element().getChildText("Receipt", "").find("NO RESPONSE X0"),
                  std::string::npos);
        EXPECT_NE(prints[1]->element().getChildText("Receipt", "").find("APPROVED 00"),
                  std::string::npos);
        deliver(printed);
        deliver(key);
        const auto results = requestsOf("DllEndTransaction");
        ASSERT_EQ(results.size(), 1u);
        const std::string told = results[0]->element().toString();
        EXPECT_NE(told.find("<ResponseCode>00</ResponseCode>"), std::string::npos) << told;
        EXPECT_NE(told.find("REF005KREF9"), std::string::npos) << told;
        EXPECT_EQ(requestsOf("SendHostMessage").size(), 1u);
    }
}

// The operator's retry sends the refund again as it was: the same stan and
// uid (the gateway can tell it is the same refund), the next sentcount.
TEST_F(PaymentFlowTest, RetriedRefundResendsTheSameRequest) {
    startAndConfirm(
        {{"TxnType", "R"}, {"AmtPurchase", "900"}, {"PurchaseAnalysisData", "RFN005X1234"}}, true);
    const nlohmann::json first = lastMessage();
    hostFailure("TO");
    deliver(RecordingHost::element("WaitForKeyPressEvent",
                                   {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}}));
    ASSERT_EQ(requestsOf("SendHostMessage").size(), 2u);
    nlohmann::json again = lastMessage();
    EXPECT_EQ(first.value("type", ""), "R");
    EXPECT_EQ(again.value("stan", 0), first.value("stan", -1));
    EXPECT_EQ(again.value("uid", ""), first.value("uid", "?"));
    EXPECT_EQ(again.value("sentcount", 0), first.value("sentcount", 0) + 1);
    again["sentcount"] = first["sentcount"];
    EXPECT_EQ(again, first);
}

// A refund the gateway approved has paid the customer back and cannot be
// reversed: the POS must hear that it went through, pinpad or not. Any other
// answer ends with "PF", and a refund never leaves a reversal record.
TEST_F(PaymentFlowTest, PinpadOfflineAtTheRefundReplyKeepsAnApprovedRefund) {
    struct Case {
        const char* hostResult; // nullptr: a gateway reply with rc
        const char* rc;
        std::string code;
    };
    const std::vector<Case> cases = {
        {nullptr, "00", "00"}, {nullptr, "05", "PF"}, {nullptr, "X0", "PF"}, {"TO", nullptr, "PF"}};
    for (const Case& c : cases) {
        reset();
        startAndConfirm(
            {{"TxnType", "R"}, {"AmtPurchase", "9"}, {"PurchaseAnalysisData", "RFN001X"}}, true);
        klarna.origin.pinpadOnline = false;
        c.hostResult ? hostFailure(c.hostResult) : reply(c.rc);
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(completedCode, c.code);
        EXPECT_EQ(reversalType(), "");
        EXPECT_TRUE(requestsOf("WaitForKeyPress").empty()); // no retry offered offline
    }
}

} // namespace
