// The doors into a transaction: payment menu and its answer, menu
// validation, purchase and refund buttons and the POS DoTransaction.
#include <gtest/gtest.h>

#include <string>

#include "tests/transaction/payment_fixture.h"

namespace {

class EntryPointsTest : public PaymentFixture {
  protected:
    std::string reply;

    // An entry-point call as dispatch makes it: the request first, then
    // the routing children.
    static xmlNode entryCall(const Parameters& request, const char* method = "DoTransaction") {
        xmlNode call;
        call.name = "EntryPointEvent";
        call.children.push_back(RecordingHost::element("DoTransaction", request));
        call.getChild("VORTAXIS_METHOD").setText(method);
        return call;
    }
    std::int32_t call(QuenKlarna::Member member, xmlNode element) {
        xmlDoc document;
        return (klarna.*member)(document, element, reply);
    }
    bool started() const { return !requestsOf("StartSession").empty(); }
    const xmlNode* resultEvent() const {
        const auto ends = requestsOf("DllEndTransaction");
        return ends.empty() ? nullptr : &ends.back()->element();
    }
    // A field of the TransactionEvent handed to DllEndTransaction.
    std::string resultField(const char* name) const {
        const xmlNode* end = resultEvent();
        if (end == nullptr) {
            return "none";
        }
        const int container = end->findChild("VORTAXIS_EVENT");
        if (container < 0) {
            return "?";
        }
        const xmlNode& events = end->child(container);
        const int index = events.findChild("TransactionEvent");
        return index < 0 ? "?" : events.child(index).getChildText(name, "?");
    }
    std::string resultCode() const { return resultField("ResponseCode"); }
    // The flags an earlier sale leaves behind: presale, receipt printed.
    void leaveFlagsOfAFinishedSale() {
        klarna.origin.presale = true;
        klarna.origin.receiptPrinted = true;
    }
};

TEST_F(EntryPointsTest, MenuEntryStartsAOneTypeRequestWithoutAMenu) {
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall({{"TxnType", "R"}})), 1);
    EXPECT_TRUE(requestsOf("GetButtonMenuFromPinpad").empty());
    EXPECT_TRUE(started());
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("Merchant", ""), "70");
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("TxnType", ""), "R");
}

TEST_F(EntryPointsTest, MenuEntryWithoutTypeShowsPurchaseAndRefund) {
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall({{"AmtPurchase", "100"}})), 1);
    const auto menus = requestsOf("GetButtonMenuFromPinpad");
    ASSERT_EQ(menus.size(), 1u);
    const xmlNode& menu = menus.front()->element();
    EXPECT_EQ(menu.getChildText("Heading", ""), "KLARNA");
    EXPECT_EQ(menu.getChildText("Timeout", ""), "60");
    EXPECT_EQ(menu.getChildText("EnterKeyDefault", ""), "1");
    const xmlNode& items = menu.child(menu.findChild("MenuItems"));
    ASSERT_EQ(items.children.size(), 2u);
    EXPECT_EQ(items.getChildText("1", ""), "Purchase");
    EXPECT_EQ(items.getChildText("2", ""), "Refund");
    EXPECT_FALSE(started());
}

TEST_F(EntryPointsTest, MenuAnswersEndOrStartTheFlow) {
    struct Case {
        Parameters answer;
        std::string code; // result sent at once; "" when a flow starts
        std::string type;
    };
    const Case cases[] = {
        {{{"Result", "TO"}, {"ResultText", "time out"}}, "TO", ""},
        {{{"Result", "00"}, {"PinpadCancelled", "0"}, {"PosCancelled", "1"}}, "TM", ""},
        {{{"Result", "00"}, {"PinpadCancelled", "1"}}, "TM", ""},
        {{{"Result", "00"}}, "TX", ""},
        {{{"Result", "00"}, {"SelectedOption", "3"}}, "TX", ""},
        {{{"Result", "00"}, {"SelectedOption", "1"}}, "", "P"},
        {{{"Result", "00"}, {"SelectedOption", "2"}}, "", "R"},
    };
    for (const Case& c : cases) {
        reset();
        ASSERT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall({})), 1);
        deliver(RecordingHost::element("GetButtonMenuFromPinpadEvent", c.answer));
        if (c.code.empty()) {
            EXPECT_TRUE(started()) << c.type;
            EXPECT_EQ(klarna.foreground.posRequest.getChildText("TxnType", ""), c.type);
            EXPECT_EQ(klarna.foreground.posRequest.getChildText("Merchant", ""), "70");
            EXPECT_EQ(resultEvent(), nullptr);
        } else {
            EXPECT_EQ(resultCode(), c.code);
            EXPECT_FALSE(started()) << c.code;
            EXPECT_FALSE(klarna.foreground.inProgress) << c.code;
        }
    }
}

// A result built before the flow starts describes a transaction that never
// started, not the one before it: no receipt printed, no presale.
TEST_F(EntryPointsTest, ResultsBeforeTheFlowStartsCarryNoFlagsOfTheLastSale) {
    leaveFlagsOfAFinishedSale();
    klarna.origin.pinpadOnline = false;
    ASSERT_EQ(call(&QuenKlarna::onPosEntry, entryCall(posPurchase())), 1);
    EXPECT_EQ(resultCode(), "PF");
    EXPECT_EQ(resultField("CsdReservedString1"), "00000000");
    EXPECT_EQ(resultField("m_SkipPostSaleApps"), "1");
    EXPECT_FALSE(klarna.origin.pinpadOnline); // lives across transactions

    reset();
    leaveFlagsOfAFinishedSale();
    ASSERT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall({})), 1);
    deliver(RecordingHost::element("GetButtonMenuFromPinpadEvent", {{"Result", "00"}}));
    EXPECT_EQ(resultCode(), "TX");
    EXPECT_EQ(resultField("CsdReservedString1"), "00000000");
    EXPECT_EQ(resultField("m_SkipPostSaleApps"), "1");
}

// A menu answer is taken only while the menu waits for it: a repeated or
// stray one changes nothing, whether the transaction has ended or runs on.
TEST_F(EntryPointsTest, MenuAnswerNobodyWaitsForChangesNothing) {
    ASSERT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall({})), 1);
    const xmlNode cancelled = RecordingHost::element("GetButtonMenuFromPinpadEvent",
                                                     {{"Result", "00"}, {"PinpadCancelled", "1"}});
    deliver(cancelled);
    ASSERT_EQ(resultCode(), "TM");
    variables["LAST_TXN"] = "<TransactionEvent><ResponseCode>TM</ResponseCode></TransactionEvent>";
    const std::size_t sent = host.requests().size();
    deliver(RecordingHost::element("GetButtonMenuFromPinpadEvent",
                                   {{"Result", "00"}, {"SelectedOption", "1"}}));
    EXPECT_EQ(host.requests().size(), sent);
    EXPECT_FALSE(klarna.foreground.inProgress);
    EXPECT_NE(variables["LAST_TXN"], "");

    reset();
    ASSERT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall({})), 1);
    const xmlNode purchase = RecordingHost::element("GetButtonMenuFromPinpadEvent",
                                                    {{"Result", "00"}, {"SelectedOption", "1"}});
    deliver(purchase);
    ASSERT_TRUE(started());
    const std::size_t running = host.requests().size();
    deliver(RecordingHost::element("GetButtonMenuFromPinpadEvent",
                                   {{"Result", "00"}, {"SelectedOption", "2"}}));
    EXPECT_EQ(host.requests().size(), running);
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("TxnType", ""), "P");
    EXPECT_TRUE(klarna.foreground.inProgress);
}

TEST_F(EntryPointsTest, MenuValidationAcceptsOnlyKlarnaTypes) {
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuValidate, entryCall({})), 1);
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuValidate, entryCall({{"TxnType", ""}})), 1);
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuValidate, entryCall({{"TxnType", "P"}})), 1);
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuValidate, entryCall({{"TxnType", "R"}})), 1);
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuValidate, entryCall({{"TxnType", "C"}})), 0);
    EXPECT_TRUE(host.requests().empty());
}

TEST_F(EntryPointsTest, ButtonsFixTheirType) {
    EXPECT_EQ(call(&QuenKlarna::onRefundEntry, entryCall({{"TxnType", "P"}})), 1);
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("TxnType", ""), "R");
    EXPECT_NE(debug.find("Klarna Refund Entry Point\n\r"), std::string::npos);
    reset();
    EXPECT_EQ(call(&QuenKlarna::onPurchaseEntry, entryCall({{"TxnType", "R"}})), 1);
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("TxnType", ""), "P");
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("Merchant", ""), "70");
    EXPECT_TRUE(started());
}

TEST_F(EntryPointsTest, EveryDoorIsShutWhileATransactionRuns) {
    ASSERT_EQ(call(&QuenKlarna::onPosEntry, entryCall(posPurchase())), 1);
    const std::size_t sent = host.requests().size();
    const xmlNode running = klarna.foreground.posRequest;
    const Parameters other = {{"TxnType", "R"}, {"AmtPurchase", "9"}};
    EXPECT_EQ(call(&QuenKlarna::onPosEntry, entryCall(other)), 0);
    EXPECT_EQ(call(&QuenKlarna::onPaymentMenuEntry, entryCall(other)), 0);
    EXPECT_EQ(call(&QuenKlarna::onPurchaseEntry, entryCall(other)), 0);
    EXPECT_EQ(call(&QuenKlarna::onRefundEntry, entryCall(other)), 0);
    EXPECT_EQ(host.requests().size(), sent);
    EXPECT_EQ(klarna.foreground.posRequest.toString(), running.toString());
}

TEST_F(EntryPointsTest, PosRequestsThatNeedNoExchangeAreAnsweredAtOnce) {
    EXPECT_EQ(call(&QuenKlarna::onPosEntry, entryCall(posPurchase(), "DoSomethingElse")), 0);
    EXPECT_FALSE(klarna.foreground.inProgress);

    klarna.origin.pinpadOnline = false;
    EXPECT_EQ(call(&QuenKlarna::onPosEntry, entryCall(posPurchase())), 1);
    EXPECT_EQ(resultCode(), "PF");
    EXPECT_TRUE(requestsOf("DisplayOnPinpad").empty());
    EXPECT_TRUE(requestsOf("GetMultiLineFromPinpad").empty());
    EXPECT_TRUE(requestsOf("SendHostMessage").empty());
    EXPECT_FALSE(klarna.foreground.inProgress);

    reset();
    klarna.origin.pinpadOnline = true;
    EXPECT_EQ(call(&QuenKlarna::onPosEntry, entryCall({{"TxnType", "C"}})), 1);
    EXPECT_EQ(resultCode(), "XG");
    EXPECT_FALSE(started());
    EXPECT_FALSE(klarna.foreground.inProgress);
}

} // namespace
