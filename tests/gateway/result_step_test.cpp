#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gateway/result_fixture.h"

namespace {

using Names = std::vector<std::string>;

class ResultStepTest : public ResultFixture {
  protected:
    // The flow's end: the completion runs the result step.
    void complete() {
        extension.foreground.completion = [this] { extension.showResultAndPrint(); };
        extension.foreground.completeTransaction();
    }

    const xmlNode& only(const std::string& method) {
        const auto found = requestsFor(method);
        EXPECT_EQ(found.size(), 1u) << method;
        return found.at(0)->element();
    }
};

TEST_F(ResultStepTest, ApprovedPosPurchaseRunsToTheTransactionEvent) {
    approvedPurchase();
    complete();

    EXPECT_EQ(store.host.methodNames(),
              (Names{"GetMultiLineFromPinpad", "DisplayOnPos", "GetVariable", "GetVariable",
                     "GetVariable", "SetVariable", "SetVariable", "PrintReceipt"}));
    const xmlNode& screen = only("GetMultiLineFromPinpad");
    EXPECT_EQ(screen.getChildText("Heading", ""), "KLARNA");
    EXPECT_EQ(screen.getChildText("DisplayOnly", ""), "1");
    const Fields lines = {{"2", "     TRANSACTION    "}, {"3", "      APPROVED      "}};
    EXPECT_EQ(fieldsOf(screen.child(screen.findChild("TextLines"))), lines);
    const xmlNode& display = only("DisplayOnPos");
    EXPECT_EQ(display.getChildText("line1", ""), "TRANSACTION");
    EXPECT_EQ(display.getChildText("line2", ""), "APPROVED");

    const std::string& customer = store.variables["LAST_RECEIPT"];
    const std::string& duplicate = store.variables["RECEIPT_DUPLICATE"];
    EXPECT_NE(customer.find("TRANSACTION APPROVED 00"), std::string::npos) << customer;
    EXPECT_NE(customer.find("Term ID:        TERM0001\r\n"), std::string::npos) << customer;
    EXPECT_NE(customer.find("Ref No:          POSREF1\r\n"), std::string::npos) << customer;
    EXPECT_NE(customer.find("31/01/24 10:15:30 000042\r\n"), std::string::npos) << customer;
    EXPECT_EQ(customer.find("DUPLICATE"), std::string::npos);
    EXPECT_NE(duplicate.find(" *** DUPLICATE COPY *** \r\n"), std::string::npos) << duplicate;
    const Fields print = {{"Receipt", customer}, {"Printer", "POS"}, {"ReceiptType", "C"}};
    EXPECT_EQ(fieldsOf(only("PrintReceipt")), print);
    EXPECT_TRUE(extension.foreground.inProgress);

    store.host.clear();
    EXPECT_EQ(deliverEvent("PrintReceiptEvent", {{"Result", "00"}}).result, 1);
    EXPECT_TRUE(extension.origin.receiptPrinted);
    EXPECT_EQ(fieldsOf(only("WaitForKeyPress")),
              (Fields{{"PosKeyMask", "000001001"}, {"Timeout", "10"}}));

    store.host.clear();
    EXPECT_EQ(deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}}).result, 1);
    EXPECT_EQ(store.host.methodNames(), (Names{"ClosePosDisplay", "EndSession", "AddJournal",
                                               "SetVariable", "DllEndTransaction"}));
    EXPECT_FALSE(extension.foreground.inProgress);
    const xmlNode last(store.variables["LAST_TXN"].c_str());
    EXPECT_EQ(last.getChildText("ResponseCode", ""), "00");
    EXPECT_EQ(last.getChildText("CsdReservedString1", ""), "01000000");
}

// LAST_RECEIPT first, RECEIPT_DUPLICATE after it: a host that stops between
// the two leaves a last receipt and the previous duplicate, never a
// duplicate of a receipt that was not stored.
TEST_F(ResultStepTest, CustomerCopyIsStoredBeforeTheDuplicate) {
    approvedPurchase();
    complete();
    const auto stores = requestsFor("SetVariable");
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(stores[0]->element().getChildText("VariableName", ""), "LAST_RECEIPT");
    EXPECT_EQ(stores[1]->element().getChildText("VariableName", ""), "RECEIPT_DUPLICATE");
    EXPECT_EQ(stores[0]->element().getChildText("Value", ""), store.variables["LAST_RECEIPT"]);
}

TEST_F(ResultStepTest, DeclinedPinpadTransactionShowsTheDeclineAndWaitsOnThePinpadToo) {
    xmlNode request = posPurchase();
    request.getChild("OriginalSource").setText("CsdReserved3");
    request.getChild("TxnType").setText("R");
    request.getChild("PrinterName").setText("NPT");
    begin(request);
    extension.foreground.response.lookupResponse("99", "CARD EXPIRED TODAY");
    extension.settings.qrCodeHeading = "MY SHOP";
    complete();

    EXPECT_EQ(requestsFor("DisplayOnPos").size(), 0u);
    const xmlNode& screen = only("GetMultiLineFromPinpad");
    EXPECT_EQ(screen.getChildText("Heading", ""), "MY SHOP");
    const Fields lines = {{"0", "TRANSACTION DECLINED"},
                          {"1", ""},
                          {"2", "    CARD EXPIRED    "},
                          {"3", "        TODAY       "}};
    EXPECT_EQ(fieldsOf(screen.child(screen.findChild("TextLines"))), lines);
    EXPECT_EQ(only("PrintReceipt").getChildText("Printer", ""), "PINPAD");
    EXPECT_NE(store.variables["LAST_RECEIPT"].find("REFUND:"), std::string::npos);
    EXPECT_NE(store.variables["LAST_RECEIPT"].find("CARD EXPIRED TODAY 99"), std::string::npos);

    store.host.clear();
    deliverEvent("PrintReceiptEvent", {{"Result", "05"}});
    EXPECT_FALSE(extension.origin.receiptPrinted);
    EXPECT_EQ(
        fieldsOf(only("WaitForKeyPress")),
        (Fields{{"PosKeyMask", "000001001"}, {"PinpadKeyMask", "!1110000"}, {"Timeout", "10"}}));

    // A time-out of the key wait ends the transaction the same way.
    deliverEvent("WaitForKeyPressEvent", {{"Result", "TI"}});
    const xmlNode last(store.variables["LAST_TXN"].c_str());
    EXPECT_EQ(last.getChildText("Success", ""), "0");
    EXPECT_EQ(last.getChildText("CsdReservedString1", ""), "00000000");
}

TEST_F(ResultStepTest, ReceiptWidthHeaderAndFooterComeFromTheHost) {
    struct Case {
        const char* width;
        const char* header; // nullptr: not set
        std::size_t columns;
        std::string headerLine;
    };
    const std::vector<Case> cases = {
        {"40", "MY SHOP", 40, "MY SHOP" + std::string(33, ' ')},
        {"20", nullptr, 24, std::string(7, ' ') + "KLARNA" + std::string(11, ' ')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        store.variables.clear();
        store.variables["RECEIPT_WIDTH"] = c.width;
        store.variables["RECEIPT_FOOTER"] = "BYE";
        if (c.header != nullptr) {
            store.variables["RECEIPT_HEADER"] = c.header;
        }
        extension.foreground.inProgress = false;
        approvedPurchase();
        complete();
        const std::string& receipt = store.variables["LAST_RECEIPT"];
        const std::string separator = std::string(c.columns, '-') + "\r\n";
        EXPECT_EQ(receipt.substr(0, separator.size() + c.columns + 2),
                  separator + c.headerLine + "\r\n");
        EXPECT_NE(receipt.find("\r\nBYE" + std::string(c.columns - 3, ' ') + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(ResultStepTest, EventsOutsideTheResultStepAreIgnored) {
    approvedPurchase();
    complete();
    deliverEvent("PrintReceiptEvent", {{"Result", "00"}});
    deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}});
    ASSERT_FALSE(extension.foreground.inProgress);

    // A repeated key event must not send a second result or journal record.
    store.host.clear();
    EXPECT_EQ(deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}}).result, 0);
    EXPECT_TRUE(store.host.requests().empty());

    // Nor may a late print event start a key wait in a running transaction.
    approvedPurchase();
    extension.origin.receiptPrinted = false;
    EXPECT_EQ(deliverEvent("PrintReceiptEvent", {{"Result", "00"}}).result, 0);
    EXPECT_TRUE(store.host.requests().empty());
    EXPECT_FALSE(extension.origin.receiptPrinted);
}

// The module gave up waiting for the print's answer (nothing came for
// minutes) and went on to the key wait. The host's answer then comes before
// the result is sent: the result says the receipt was printed, and no second
// key wait is asked for.
TEST_F(ResultStepTest, PrintAnswerAfterTheModuleGaveUpStillCountsBeforeTheResult) {
    approvedPurchase();
    complete();
    store.host.clear();
    extension.endLostWait();
    ASSERT_EQ(requestsFor("WaitForKeyPress").size(), 1u);
    ASSERT_FALSE(extension.origin.receiptPrinted);

    EXPECT_EQ(deliverEvent("PrintReceiptEvent", {{"Result", "00"}}).result, 0);
    EXPECT_TRUE(extension.origin.receiptPrinted);
    EXPECT_EQ(requestsFor("WaitForKeyPress").size(), 1u);

    deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}});
    const xmlNode last(store.variables["LAST_TXN"].c_str());
    EXPECT_EQ(last.getChildText("CsdReservedString1", ""), "01000000");
}

} // namespace
