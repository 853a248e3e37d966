#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/startup_registration.h"
#include "tests/gateway/result_fixture.h"

namespace {

class ReceiptQueriesTest : public ResultFixture {
  protected:
    ReceiptQueriesTest() {
        runStartupRegistration(store.bridge, extension);
        store.host.clear();
    }

    // The command as the host passes it on, with the requester's source
    // when one is given.
    RecordingHost::Delivery command(const std::string& name,
                                    const RecordingHost::Parameters& parameters,
                                    const std::string& source = "") {
        xmlDoc message;
        message.name = "VORTAXIS_BRIDGE";
        if (!source.empty()) {
            message.getChild("VORTAXIS_SOURCE").setText(source);
        }
        message.getChild("VORTAXIS_METHOD")
            .children.push_back(RecordingHost::element(name, parameters));
        return RecordingHost::deliver(store.bridge, message.toString());
    }

    // The last request must be an answer event; returns it.
    const xmlNode& answer(const std::string& destination) {
        const RecordingHost::Request& sent = store.host.last();
        EXPECT_EQ(sent.envelopeKeys(),
                  (std::vector<std::string>{"VORTAXIS_SOURCE", "VORTAXIS_DESTINATION",
                                            "VORTAXIS_EVENT"}));
        EXPECT_EQ(sent.document.getChildText("VORTAXIS_SOURCE", ""), "Klarna");
        EXPECT_EQ(sent.document.getChildText("VORTAXIS_DESTINATION", ""), destination);
        return sent.element();
    }

    // A finished purchase, from its result step to its TransactionEvent.
    void storedSale() {
        approvedPurchase();
        extension.foreground.completion = [this] { extension.showResultAndPrint(); };
        extension.foreground.completeTransaction();
        deliverEvent("PrintReceiptEvent", {{"Result", "00"}});
        deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}});
        ASSERT_FALSE(extension.foreground.inProgress);
        store.host.clear();
        debug.clear();
    }
};

TEST_F(ReceiptQueriesTest, NothingStoredAnswersNotFound) {
    struct Case {
        const char* command;
        const char* event;
        const char* text;
        const char* label;
    };
    const std::vector<Case> cases = {
        {"DoReprintReceipt", "ReprintReceiptEvent", "RECEIPT NOT FOUND",
         "Klarna TX Reprint Receipt:\n"},
        {"DoGetLastReceipt", "GetLastReceiptEvent", "RECEIPT NOT FOUND",
         "Klarna TX Get Last Receipt:\n"},
        {"DoGetLastTransaction", "GetLastTransactionEvent", "TXN NOT FOUND",
         "Klarna TX Get Last Transaction:\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        for (const bool fromRequest : {false, true}) {
            store.host.clear();
            debug.clear();
            RecordingHost::Parameters parameters;
            if (fromRequest) {
                parameters = {{"Merchant", "71"}, {"OriginalSource", "CsdReserved3"}};
            }
            EXPECT_EQ(command(c.command, parameters).result, 1);
            EXPECT_EQ(store.host.methodNames().back(), c.event);
            const xmlNode& event = answer(fromRequest ? "CsdReserved3" : "POS");
            const Fields expected = {{"ResponseCode", "E1"},
                                     {"ResponseText", c.text},
                                     {"Merchant", fromRequest ? "71" : "70"},
                                     {"Success", "0"}};
            EXPECT_EQ(fieldsOf(event), expected);
            EXPECT_EQ(debug.rfind(c.label, 0), 0u) << debug;
            EXPECT_NE(debug.find(c.event), std::string::npos);
        }
    }
}

TEST_F(ReceiptQueriesTest, LastTransactionAndReceiptAfterASale) {
    storedSale();
    const xmlNode stored(store.variables["LAST_TXN"].c_str());

    command("DoGetLastTransaction", {{"Merchant", "70"}});
    const xmlNode& transaction = answer("POS");
    EXPECT_EQ(transaction.name, "GetLastTransactionEvent");
    EXPECT_EQ(fieldsOf(transaction), fieldsOf(stored));
    EXPECT_EQ(transaction.getChildText("ResponseCode", ""), "00");

    command("DoGetLastReceipt", {{"OriginalSource", "POS2"}});
    const Fields receipt = {{"ResponseCode", "00"},
                            {"ResponseText", "APPROVED"},
                            {"Merchant", "70"},
                            {"Success", "1"},
                            {"Receipt", store.variables["LAST_RECEIPT"]}};
    EXPECT_EQ(fieldsOf(answer("POS2")), receipt);
    EXPECT_NE(store.variables["LAST_RECEIPT"].find("PURCHASE:"), std::string::npos);
}

TEST_F(ReceiptQueriesTest, ReprintPrintsTheDuplicateAndAnswersThePrintResult) {
    storedSale();
    const struct {
        RecordingHost::Parameters printed;
        const char* code;
        const char* text;
    } cases[] = {{{{"Result", "00"}}, "00", "APPROVED"},
                 {{{"Result", "05"}}, "05", "ERROR"},
                 {{}, "E1", "ERROR"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        store.host.clear();
        EXPECT_EQ(command("DoReprintReceipt",
                          {{"Merchant", "72"}, {"ReceiptAutoPrint", "1"}, {"OriginalSource", "X"}},
                          "POS_APP")
                      .result,
                  1);
        ASSERT_EQ(store.host.methodNames(),
                  (std::vector<std::string>{"GetVariable", "PrintReceipt"}));
        const Fields print = {{"Receipt", store.variables["RECEIPT_DUPLICATE"]},
                              {"Printer", "AUTO_POS"}};
        EXPECT_EQ(fieldsOf(store.host.last().element()), print);

        store.host.clear();
        EXPECT_EQ(deliverEvent("PrintReceiptEvent", c.printed).result, 1);
        ASSERT_EQ(store.host.methodNames(),
                  (std::vector<std::string>{"ReprintReceiptEvent", "EndSession"}));
        const RecordingHost::Request& sent = store.host.requests().at(0);
        EXPECT_EQ(sent.document.getChildText("VORTAXIS_DESTINATION", ""), "POS_APP");
        const Fields expected = {{"ResponseCode", c.code},
                                 {"ResponseText", c.text},
                                 {"Merchant", "72"},
                                 {"Success", "1"}};
        EXPECT_EQ(fieldsOf(sent.element()), expected);
    }
    EXPECT_NE(store.variables["RECEIPT_DUPLICATE"].find("DUPLICATE COPY"), std::string::npos);
}

TEST_F(ReceiptQueriesTest, ReprintWhileATransactionPrintsLeavesItsPrintEventAlone) {
    storedSale();
    approvedPurchase();
    extension.foreground.completion = [this] { extension.showResultAndPrint(); };
    extension.foreground.completeTransaction();
    store.host.clear();

    command("DoReprintReceipt", {{"Merchant", "72"}});
    EXPECT_EQ(store.host.methodNames(),
              (std::vector<std::string>{"GetVariable", "ReprintReceiptEvent"}));
    const Fields busy = {
        {"ResponseCode", "E1"}, {"ResponseText", "ERROR"}, {"Merchant", "72"}, {"Success", "0"}};
    EXPECT_EQ(fieldsOf(answer("POS")), busy);

    // The transaction's own print and key wait still end it, with its result.
    store.host.clear();
    deliverEvent("PrintReceiptEvent", {{"Result", "00"}});
    deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}});
    EXPECT_FALSE(extension.foreground.inProgress);
    EXPECT_EQ(requestsFor("DllEndTransaction").size(), 1u);
    EXPECT_TRUE(requestsFor("ReprintReceiptEvent").empty());
}

// Earlier in a sale (waiting for the customer or the gateway) the reprint is
// answered at once too: printing now would leave a print event for the
// sale's result step to take.
TEST_F(ReceiptQueriesTest, ReprintWhileASaleRunsTakesNothingFromIt) {
    storedSale();
    approvedPurchase();
    extension.foreground.completion = [this] { extension.showResultAndPrint(); };

    command("DoReprintReceipt", {{"Merchant", "72"}});
    EXPECT_EQ(store.host.methodNames(),
              (std::vector<std::string>{"GetVariable", "ReprintReceiptEvent"}));
    EXPECT_EQ(answer("POS").getChildText("ResponseCode", ""), "E1");

    store.host.clear();
    extension.foreground.completeTransaction();
    deliverEvent("PrintReceiptEvent", {{"Result", "05"}});
    EXPECT_FALSE(extension.origin.receiptPrinted);
    deliverEvent("WaitForKeyPressEvent", {{"Result", "00"}});
    EXPECT_EQ(requestsFor("WaitForKeyPress").size(), 1u);
    EXPECT_EQ(requestsFor("DllEndTransaction").size(), 1u);
    EXPECT_TRUE(requestsFor("ReprintReceiptEvent").empty());
}

TEST_F(ReceiptQueriesTest, ReprintForARequestWithoutSourceIsAnsweredToItsOrigin) {
    storedSale();
    command("DoReprintReceipt", {{"OriginalSource", "CsdReserved3"}});
    store.host.clear();
    deliverEvent("PrintReceiptEvent", {{"Result", "00"}});
    EXPECT_EQ(store.host.requests().at(0).document.getChildText("VORTAXIS_DESTINATION", ""),
              "CsdReserved3");
}

TEST_F(ReceiptQueriesTest, StoredTransactionWithoutResponseCodeIsNotFound) {
    for (const char* stored :
         {"<TransactionEvent>\n <ResponseCode></ResponseCode>\n "
          "<Stan>000001</Stan>\n</TransactionEvent>\n",
          "<TransactionEvent>\n <Stan>000001</Stan>\n</TransactionEvent>\n", "not xml at all"}) {
        SCOPED_TRACE(stored);
        store.variables["LAST_TXN"] = stored;
        command("DoGetLastTransaction", {});
        const Fields expected = {{"ResponseCode", "E1"},
                                 {"ResponseText", "TXN NOT FOUND"},
                                 {"Merchant", "70"},
                                 {"Success", "0"}};
        EXPECT_EQ(fieldsOf(answer("POS")), expected);
    }
}

} // namespace
