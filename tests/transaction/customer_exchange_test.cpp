// The customer payment exchange: the messages sent for QR and SMS payments,
// the waits and their interruption, the switch to SMS and every way the
// exchange ends early.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/transaction/payment_fixture.h"

namespace {

using nlohmann::json;

const json session = {{"paysid", "PS1"}, {"hppsid", "H1"}, {"redirecturl", "https://pay/1"}};

class CustomerExchangeTest : public PaymentFixture {
  protected:
    // A POS purchase whose QR code is shown and whose first wait runs.
    void toQrWait(const Parameters& extra = {}) {
        startAndConfirm(posPurchase(extra));
        reply("00", session);
    }
    // A purchase paid by SMS whose first wait runs.
    void toSmsWait() {
        klarna.settings.paymentMode = "SMS";
        startAndConfirm(posPurchase());
        answerScreen({{"Result", "00"}, {"InputData", "0412345678"}});
        reply("00", session);
        reply("00");
    }
    std::string field(const char* name) const { return lastSendField(name); }
};

TEST_F(CustomerExchangeTest, QrPurchaseSendsOrderWaitAndPurchase) {
    startAndConfirm(posPurchase());
    EXPECT_EQ(field("MsgType"), "150");
    EXPECT_EQ(field("Timeout"), "45");
    EXPECT_FALSE(lastMessage().contains("hppsid"));
    reply("00", session);
    expectMembers({{"type", "N"},
                   {"hppstatus", "WAITING"},
                   {"timeout", 60},
                   {"hppsid", "H1"},
                   {"paysid", "PS1"}});
    EXPECT_EQ(field("Timeout"), "70");
    // No processing screen before the wait: the second screen is the QR code.
    ASSERT_EQ(requestsOf("GetMultiLineFromPinpad").size(), 2u);
    EXPECT_EQ(lastScreen().getChildText("QRBCodeData", ""), "https://pay/1");
    EXPECT_EQ(reversalType(), "N-");

    reply("00", {{"orderid", "ORD1"}, {"hppstatus", "PAID"}});
    EXPECT_EQ(requestsOf("CancelCurrentCommand").size(), 1u);
    EXPECT_EQ(field("MsgType"), "200");
    expectMembers({{"orderid", "ORD1"}, {"hppstatus", "PAID"}, {"ref", "POSREF1"}});
    EXPECT_EQ(reversalType(), "P-");
    reply("00");
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(completedCode, "00");
    EXPECT_EQ(sentTypes(), "ONP");
    EXPECT_EQ(reversalType(), "");
}

TEST_F(CustomerExchangeTest, SmsIsChosenBySettingPinpadOrTag) {
    const std::vector<std::function<void()>> choices = {
        [this] { klarna.settings.paymentMode = "SMS"; },
        [this] { pinpadDetails.getChild("QR_code").setText("0"); },
        [this] {
            klarna.foreground.posRequest.getChild("PurchaseAnalysisData").setText("PMD003SMS");
        },
    };
    for (const auto& choose : choices) {
        reset();
        klarna.settings.paymentMode.clear();
        pinpadDetails.getChild("QR_code").setText("1");
        begin(posPurchase());
        choose();
        klarna.startPurchase();
        confirmStart();
        EXPECT_EQ(lastScreen().getChildText("InputMode", ""), "1");
        answerScreen({{"Result", "00"}, {"InputData", "0412345678"}});
        reply("00", session);
        EXPECT_EQ(lastMessage()["phone"], "0412345678");
        EXPECT_EQ(lastMessage()["hppsid"], "H1");
        reply("00");
        EXPECT_EQ(lastMessage()["timeout"], 60);
        EXPECT_EQ(field("Timeout"), "70");
        EXPECT_EQ(textLine(lastScreen(), "0"), "    CHECK PHONE     ");
        reply("00", {{"orderid", "ORD1"}});
        EXPECT_EQ(sentTypes(), "ODNP");
        EXPECT_FALSE(klarna.origin.qrMode);
    }
}

TEST_F(CustomerExchangeTest, AWaitWithoutOrderStartsThePaymentWait) {
    toQrWait();
    reply("00", {{"hppstatus", "PAYING"}});
    expectMembers({{"type", "N"}, {"hppstatus", "PAYING"}, {"timeout", 120}});
    EXPECT_EQ(field("Timeout"), "130");
    EXPECT_EQ(lastScreen().getChildText("Timeout", ""), "130");
    EXPECT_EQ(textLine(lastScreen(), "1"), "     IN PROGRESS    ");
    EXPECT_TRUE(klarna.foreground.response.code.empty());
    reply("00", {{"orderid", "ORD2"}});
    EXPECT_EQ(lastMessage()["orderid"], "ORD2");
    EXPECT_EQ(sentTypes(), "ONNP");
}

TEST_F(CustomerExchangeTest, SwitchToSmsInterruptsAndStartsOverAtThePhonePrompt) {
    toQrWait({{"PurchaseAnalysisData", "PHN0100412345678"}});
    const json wait = lastMessage();
    const std::size_t screens = requestsOf("GetMultiLineFromPinpad").size();
    answerScreen({{"Result", "00"}, {"SelectedOption", "BUTTON1"}});
    EXPECT_EQ(lastMessage()["type"], "Q");
    EXPECT_NE(lastMessage()["stan"], wait["stan"]);
    EXPECT_EQ(field("Timeout"), "0");
    EXPECT_EQ(requestsOf("GetMultiLineFromPinpad").size(), screens + 1); // processing
    EXPECT_EQ(klarna.foreground.request.type, "N");
    EXPECT_EQ(klarna.foreground.request.stan, wait["stan"].get<int>());
    EXPECT_TRUE(klarna.origin.switchToSms);

    EXPECT_EQ(reversalType(), "N-");
    reply("TM");
    // The interrupted wait was answered, so its record is gone.
    EXPECT_EQ(reversalType(), "");
    EXPECT_TRUE(requestsOf("CancelCurrentCommand").empty());
    EXPECT_EQ(lastScreen().getChildText("InputMode", ""), "1"); // forced despite PHN
    EXPECT_EQ(klarna.foreground.request.txid.value_or("").size(), 24u);
    EXPECT_FALSE(klarna.foreground.request.phone);
    answerScreen({{"Result", "00"}, {"InputData", "0499999999"}});
    EXPECT_EQ(sentTypes(), "ONQO");
    EXPECT_FALSE(lastMessage().contains("hppsid"));
    EXPECT_EQ(completions, 0);
}

TEST_F(CustomerExchangeTest, WaitingScreenAnswers) {
    struct Case {
        bool sms;
        Parameters answer;
        bool interrupted;
        bool switches;
        std::string codeAfterTm; // "" when the flow goes on
    };
    const std::vector<Case> cases = {
        {false, {{"Result", "00"}, {"SelectedOption", "BUTTON2"}}, true, false, "TM"},
        {false, {{"Result", "CN"}, {"PinpadCancelled", "1"}}, true, false, "TM"},
        {false,
         {{"Result", "CN"}, {"PosCancelled", "1"}, {"SelectedOption", "BUTTON1"}},
         true,
         false,
         "TM"},
        {false, {{"Result", "E5"}}, true, false, "E5"},
        {false, {{"Result", "TO"}}, false, false, "TM"},
        {false, {{"Result", "00"}, {"SelectedOption", "BUTTON1"}}, true, true, ""},
        {true, {{"Result", "00"}, {"SelectedOption", "BUTTON1"}}, true, false, "TM"},
        {true, {{"Result", "E5"}}, true, false, "E5"},
        {true, {{"Result", "TO"}}, false, false, "TM"},
    };
    for (const Case& c : cases) {
        reset();
        klarna.settings.paymentMode.clear();
        c.sms ? toSmsWait() : toQrWait();
        const std::string before = sentTypes();
        answerScreen(c.answer);
        EXPECT_EQ(sentTypes(), before + (c.interrupted ? "Q" : ""));
        EXPECT_EQ(klarna.origin.switchToSms, c.switches);
        EXPECT_TRUE(klarna.origin.screenAnswered);
        reply("TM");
        EXPECT_EQ(completedCode, c.codeAfterTm);
    }
}

TEST_F(CustomerExchangeTest, WaitingScreensShowTheirFields) {
    using ScreenFieldNames = std::vector<std::string>;
    const ScreenFieldNames qrNames = {"Heading",   "Subtitle",   "Timeout",     "QRBCodeData",
                                      "IsQRCode",  "QRErrorLvl", "CancelOnPOS", "CancelOnPinpad",
                                      "TextLines", "Button1"};
    const ScreenFieldNames noticeNames = {"Heading",   "Subtitle",    "Timeout",
                                          "TextLines", "CancelOnPOS", "CancelOnPinpad"};
    struct Case {
        std::function<void(QuenKlarna&)> show;
        ScreenFieldNames names;
        std::string posLine1, posLine2, line0, line1, timeout, cancelOnPinpad;
    };
    const std::vector<Case> cases = {
        {[](QuenKlarna& k) { k.showQrCode("https://q"); }, qrNames, "CUSTOMER", "SCAN QR CODE",
         "SCAN QR FOR PAYMENT", "", "70", "1"},
        {[](QuenKlarna& k) { k.showSmsSent(); }, noticeNames, "SMS SENT TO", " CUSTOMER",
         "    CHECK PHONE     ", "      FOR SMS       ", "70", "0"},
        {[](QuenKlarna& k) { k.showPaymentInProgress(130); }, noticeNames, "CUSTOMER PAYMENT",
         "IN PROGRESS", "  CUSTOMER PAYMENT  ", "     IN PROGRESS    ", "130", "0"},
    };
    klarna.settings.qrCodeErrorCorrection = "2";
    begin(posPurchase());
    for (const Case& c : cases) {
        host.clear();
        klarna.origin.screenAnswered = klarna.origin.switchToSms = true;
        c.show(klarna);
        EXPECT_FALSE(klarna.origin.screenAnswered || klarna.origin.switchToSms);
        ASSERT_EQ(host.methodNames(), (ScreenFieldNames{"DisplayOnPos", "GetMultiLineFromPinpad"}));
        const xmlNode& pos = requestsOf("DisplayOnPos").front()->element();
        EXPECT_EQ(pos.getChildText("line1", ""), c.posLine1);
        EXPECT_EQ(pos.getChildText("line2", ""), c.posLine2);
        EXPECT_EQ(pos.getChildText("SendToPOS", ""), "0");
        const xmlNode& screen = lastScreen();
        ScreenFieldNames names;
        for (const xmlNode& child : screen.children) {
            names.push_back(child.name);
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(textLine(screen, "0"), c.line0);
        EXPECT_EQ(textLine(screen, "1"), c.line1);
        EXPECT_EQ(screen.getChildText("Timeout", ""), c.timeout);
        EXPECT_EQ(screen.getChildText("CancelOnPOS", ""), "1");
        EXPECT_EQ(screen.getChildText("CancelOnPinpad", ""), c.cancelOnPinpad);
    }
    EXPECT_EQ(requestsOf("GetMultiLineFromPinpad").size(), 1u);
    klarna.showQrCode("https://q");
    EXPECT_EQ(lastScreen().getChildText("Button1", ""), "   SWITCH TO SMS    ");
    EXPECT_EQ(lastScreen().getChildText("QRErrorLvl", ""), "2");
    EXPECT_EQ(lastScreen().getChildText("IsQRCode", ""), "1");
}

TEST_F(CustomerExchangeTest, MissingFieldsEndWithF0) {
    const std::vector<std::function<bool(QuenKlarna&)>> attempts = {
        [](QuenKlarna& k) { return k.orderStep(k.foreground.posRequest); },
        [](QuenKlarna& k) { return k.qrStep(k.foreground.posRequest); },
        [](QuenKlarna& k) { return k.smsStep(k.foreground.posRequest); },
        [](QuenKlarna& k) { return k.purchaseStep(k.foreground.posRequest); },
        [](QuenKlarna& k) { return k.startWait(70); },
        [](QuenKlarna& k) { return k.interruptWait(); },
        [](QuenKlarna& k) { return k.refundStep(k.foreground.posRequest); },
    };
    begin(posPurchase());
    klarna.background.response.setResponse("00");
    for (const auto& attempt : attempts) {
        klarna.foreground.response.clear();
        EXPECT_FALSE(attempt(klarna));
        EXPECT_EQ(klarna.foreground.response.code, "F0");
    }
    // Each needs its own field besides the session id.
    klarna.foreground.request.hppsid = "H1";
    EXPECT_FALSE(klarna.qrStep(klarna.foreground.posRequest));
    EXPECT_FALSE(klarna.smsStep(klarna.foreground.posRequest));
    klarna.foreground.request.amt = 5;
    EXPECT_FALSE(klarna.orderStep(klarna.foreground.posRequest));
    EXPECT_FALSE(klarna.refundStep(klarna.foreground.posRequest));
    EXPECT_TRUE(requestsOf("SendHostMessage").empty());
}

TEST_F(CustomerExchangeTest, OrderReplyWithoutSessionIdsOrPinpad) {
    struct Case {
        json members;
        bool online;
        std::string code, reversal;
    };
    const std::vector<Case> cases = {
        {{{"hppsid", "H9"}}, true, "XC", "N-"},
        {json::object(), true, "XC", ""},
        {{{"paysid", "P1"}}, true, "XC", ""},
        {{{"hppsid", "H9"}, {"paysid", "P1"}}, false, "PF", "N-"},
        {{{"paysid", "P1"}}, false, "PF", ""},
    };
    for (const Case& c : cases) {
        reset();
        startAndConfirm(posPurchase());
        klarna.origin.pinpadOnline = c.online;
        reply("00", c.members);
        EXPECT_EQ(completedCode, c.code);
        EXPECT_EQ(reversalType(), c.reversal);
        if (!c.reversal.empty()) {
            EXPECT_NE(variables["REVERSAL_DATA"].find("\"hppsid\":\"H9\""), std::string::npos);
        }
        klarna.origin.pinpadOnline = true;
    }
}

TEST_F(CustomerExchangeTest, LaterRepliesEndOnDeclineOrPinpadOffline) {
    struct Case {
        int replies; // gateway "00" replies before the deciding one
        bool sms;
        bool online;
        std::string rc; // of the deciding reply
        std::string code, reversal;
    };
    const json paid = {{"orderid", "ORD1"}};
    const std::vector<Case> cases = {
        {1, true, true, "05", "05", "D-"},   {1, true, false, "00", "PF", "D-"},
        {1, false, false, "00", "PF", "N-"}, {1, false, true, "05", "05", ""},
        {2, false, false, "00", "PF", "P-"}, {2, false, true, "51", "51", ""},
    };
    for (const Case& c : cases) {
        reset();
        klarna.settings.paymentMode = c.sms ? "SMS" : "";
        startAndConfirm(posPurchase());
        if (c.sms) {
            answerScreen({{"Result", "00"}, {"InputData", "0412345678"}});
        }
        reply("00", session);
        if (c.replies == 2) {
            reply("00", paid);
        }
        klarna.origin.pinpadOnline = c.online;
        reply(c.rc, paid);
        EXPECT_EQ(completedCode, c.code);
        EXPECT_EQ(reversalType(), c.reversal);
        klarna.origin.pinpadOnline = true;
    }
}

TEST_F(CustomerExchangeTest, ARefusedWaitShowsNoQrCode) {
    startAndConfirm(posPurchase());
    klarna.background.response.setResponse("05"); // a reversal was not accepted
    reply("00", session);
    EXPECT_EQ(completedCode, "TX");
    EXPECT_EQ(lastScreen().findChild("IsQRCode"), -1);
    EXPECT_EQ(sentTypes(), "O");
}

} // namespace

namespace {

TEST_F(CustomerExchangeTest, AScreenAnsweredAfterTheEndChangesNothing) {
    toQrWait();
    klarna.origin.pinpadOnline = false;
    reply("00");
    answerScreen({{"Result", "CN"}, {"PinpadCancelled", "1"}});
    EXPECT_EQ(sentTypes(), "ON");
    EXPECT_EQ(completions, 1);
}

TEST_F(CustomerExchangeTest, ARetriedRefundIsJudgedOnItsOwnReply) {
    startAndConfirm({{"TxnType", "R"}, {"AmtPurchase", "9"}, {"PurchaseAnalysisData", "RFN001X"}},
                    true);
    reply("X0");
    deliver(RecordingHost::element("WaitForKeyPressEvent",
                                   {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}}));
    EXPECT_EQ(sentTypes(), "RR");
    hostFailure("TO");
    EXPECT_EQ(requestsOf("WaitForKeyPress").size(), 2u);
    EXPECT_EQ(completions, 0);
}

} // namespace
