// The amount, order id and phone prompts: when they are skipped, what they
// show and what their answers do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/transaction/payment_fixture.h"

namespace {

using PromptStep = bool (QuenKlarna::*)(xmlNode&);

std::int32_t readLeadingIntegerOr(const char* text) {
    std::int32_t value = -999;
    readLeadingInteger(text, value);
    return value;
}

class CustomerPromptsTest : public PaymentFixture {
  protected:
    bool nextStepRan = false;

    // The prompt as the first step of a plan, followed by a recording step.
    void runPrompt(PromptStep prompt, const xmlNode& parameters = xmlNode()) {
        klarna.clearSteps();
        klarna.addStep(parameters, klarna.stepOf(prompt));
        klarna.addStep(xmlNode(), [this](xmlNode&) { return nextStepRan = true; });
        klarna.runNextStep();
    }
    static std::vector<std::string> childNames(const xmlNode& element) {
        std::vector<std::string> names;
        for (const xmlNode& child : element.children) {
            names.push_back(child.name);
        }
        return names;
    }
};

TEST_F(CustomerPromptsTest, AmountPromptIsSkippedForAKnownAmountUnlessForced) {
    struct Case {
        const char* amtPurchase; // nullptr: absent
        const char* force;       // nullptr: absent
        bool shown;
    };
    const std::vector<Case> cases = {{"0", nullptr, false},    {"-5", nullptr, true},
                                     {nullptr, nullptr, true}, {"1250", "1", true},
                                     {"1250", "x", false},     {" 30c", "0", false}};
    for (const Case& c : cases) {
        reset();
        Parameters fields = {{"TxnType", "P"}};
        if (c.amtPurchase != nullptr) {
            fields.emplace_back("AmtPurchase", c.amtPurchase);
        }
        begin(fields);
        xmlNode parameters;
        if (c.force != nullptr) {
            parameters.getChild("force").setText(c.force);
        }
        runPrompt(&QuenKlarna::promptAmount, parameters);
        EXPECT_EQ(requestsOf("GetMultiLineFromPinpad").size(), c.shown ? 1u : 0u) << c.amtPurchase;
        EXPECT_EQ(nextStepRan, !c.shown);
        if (!c.shown) {
            EXPECT_EQ(klarna.foreground.request.amt, readLeadingIntegerOr(c.amtPurchase));
        }
        nextStepRan = false;
    }
}

TEST_F(CustomerPromptsTest, EachPromptShowsItsScreens) {
    struct Case {
        PromptStep prompt;
        std::string posLine1, inputMode, minimum, maximum, line0;
        bool resetsTimeout;
    };
    const std::vector<Case> cases = {
        {&QuenKlarna::promptAmount, "ENTER SALE AMOUNT", "2", "0", "8", "ENTER SALE AMOUNT", false},
        {&QuenKlarna::promptOrderId, "ENTER ORDER ID", "3", "6", "32", "KLARNA ORDER ID:", false},
        {&QuenKlarna::promptPhone, "ENTER PHONE", "1", "10", "11", "ENTER MOBILE PHONE #", true},
    };
    klarna.settings.inputTimeout = 90;
    for (const Case& c : cases) {
        reset();
        begin({{"TxnType", "P"}, {"OriginalSource", "POS"}, {"DialogTitle", "K"}});
        runPrompt(c.prompt, RecordingHost::element("p", {{"force", "1"}}));
        ASSERT_EQ(host.methodNames(),
                  (std::vector<std::string>{"DisplayOnPos", "GetMultiLineFromPinpad"}));
        const xmlNode& pos = requestsOf("DisplayOnPos").front()->element();
        EXPECT_EQ(pos.getChildText("line1", ""), c.posLine1);
        EXPECT_EQ(pos.getChildText("line2", ""), "ON PINPAD");
        EXPECT_EQ(pos.getChildText("SendToPOS", ""), "0");
        EXPECT_EQ(pos.getChildText("DialogTitle", ""), "K");
        const xmlNode& screen = lastScreen();
        std::vector<std::string> names = {"Heading",     "Subtitle",       "Timeout",
                                          "CancelOnPOS", "CancelOnPinpad", "InputMode",
                                          "Minimum",     "Maximum",        "TextLines"};
        if (c.resetsTimeout) {
            names.insert(names.begin() + 5, "ResetTimeoutonKeyPress");
        }
        EXPECT_EQ(childNames(screen), names);
        EXPECT_EQ(screen.getChildText("Heading", ""), "KLARNA");
        EXPECT_EQ(screen.getChildText("Timeout", ""), "90");
        EXPECT_EQ(screen.getChildText("CancelOnPOS", ""), "1");
        EXPECT_EQ(screen.getChildText("CancelOnPinpad", ""), "1");
        EXPECT_EQ(screen.getChildText("InputMode", ""), c.inputMode);
        EXPECT_EQ(screen.getChildText("Minimum", ""), c.minimum);
        EXPECT_EQ(screen.getChildText("Maximum", ""), c.maximum);
        EXPECT_EQ(textLine(screen, "0"), c.line0);
    }
}

TEST_F(CustomerPromptsTest, ParametersReplaceLinesAndLimits) {
    klarna.settings.qrCodeHeading = "MY SHOP";
    begin({{"TxnType", "R"}, {"OriginalSource", "POS"}});
    xmlNode parameters = RecordingHost::element("p", {{"minimum", "4"}, {"maximum", "abc"}});
    parameters.getChild("pos").getChild("line1").setText("SCAN RECEIPT");
    parameters.getChild("pinpad").getChild("1").setText("ORDER?");
    runPrompt(&QuenKlarna::promptOrderId, parameters);
    const xmlNode& pos = requestsOf("DisplayOnPos").front()->element();
    EXPECT_EQ(pos.getChildText("line1", ""), "SCAN RECEIPT");
    EXPECT_EQ(pos.findChild("line2"), -1);
    const xmlNode& screen = lastScreen();
    EXPECT_EQ(textLine(screen, "1"), "ORDER?");
    EXPECT_EQ(textLine(screen, "0"), "?");
    EXPECT_EQ(screen.getChildText("Minimum", ""), "4");
    EXPECT_EQ(screen.getChildText("Maximum", ""), "32");
    EXPECT_EQ(screen.getChildText("Heading", ""), "MY SHOP");
    EXPECT_EQ(screen.getChildText("Subtitle", ""), "REFUND" + std::string(14, ' '));
}

TEST_F(CustomerPromptsTest, AnswersStoreTheValueSkipOrEnd) {
    struct Case {
        PromptStep prompt;
        std::string skipOnCancel;
        Parameters answer;
        bool continued;
        std::string code, text; // at completion
    };
    const Parameters cancelled = {{"Result", "CN"}, {"PinpadCancelled", "1"}};
    const std::vector<Case> cases = {
        {&QuenKlarna::promptPhone, "1", cancelled, true, "", ""},
        {&QuenKlarna::promptPhone, "0", cancelled, false, "CN", ""},
        {&QuenKlarna::promptOrderId, "1", {{"Result", "CN"}, {"PosCancelled", "1"}}, true, "", ""},
        {&QuenKlarna::promptOrderId, "1", {{"Result", "TO"}}, false, "TO", "TIMEOUT"},
        {&QuenKlarna::promptPhone, "1", {{"Result", "TO"}}, false, "TO", ""},
        {&QuenKlarna::promptAmount, "1", cancelled, false, "CN", ""},
    };
    for (const Case& c : cases) {
        reset();
        nextStepRan = false;
        begin({{"TxnType", "P"}});
        runPrompt(c.prompt,
                  RecordingHost::element("p", {{"force", "1"}, {"skipOnCancel", c.skipOnCancel}}));
        answerScreen(c.answer);
        EXPECT_EQ(nextStepRan, c.continued);
        EXPECT_EQ(completedCode, c.code);
        EXPECT_EQ(klarna.origin.promptResponse.code, c.code);
        EXPECT_FALSE(klarna.foreground.request.phone || klarna.foreground.request.manualorderid);
        if (!c.continued) {
            EXPECT_NE(klarna.foreground.response.text.find(c.text), std::string::npos);
        }
    }
}

TEST_F(CustomerPromptsTest, AcceptedAnswersGoIntoTheRequest) {
    begin({{"TxnType", "P"}, {"OriginalSource", "POS"}});
    klarna.clearSteps();
    klarna.addStep(xmlNode(), klarna.stepOf(&QuenKlarna::promptAmount));
    klarna.addStep(xmlNode(), klarna.stepOf(&QuenKlarna::promptOrderId));
    klarna.addStep(xmlNode(), klarna.stepOf(&QuenKlarna::promptPhone));
    klarna.runNextStep();
    answerScreen({{"Result", "00"}, {"InputData", "1250"}});
    EXPECT_EQ(klarna.foreground.request.amt, 1250);
    EXPECT_EQ(klarna.foreground.posRequest.getChildText("AmtPurchase", ""), "1250");
    EXPECT_EQ(lastScreen().getChildText("Subtitle", ""), "PURCHASE      $12.50");
    answerScreen({{"Result", "00"}, {"InputData", "ORD-1"}});
    answerScreen({{"Result", "00"}, {"InputData", "0412345678"}});
    EXPECT_EQ(klarna.foreground.request.manualorderid, "ORD-1");
    EXPECT_EQ(klarna.foreground.request.phone, "0412345678");
    EXPECT_EQ(requestsOf("ClosePosDisplay").size(), 3u);
    EXPECT_EQ(completions, 1); // no step left
}

TEST_F(CustomerPromptsTest, ARequestFromElsewhereHasNoPosDialog) {
    begin({{"TxnType", "P"}, {"OriginalSource", "CsdReserved3"}});
    runPrompt(&QuenKlarna::promptPhone);
    EXPECT_EQ(lastScreen().getChildText("CancelOnPOS", ""), "0");
    answerScreen({{"Result", "00"}, {"InputData", "0412345678"}});
    EXPECT_TRUE(requestsOf("DisplayOnPos").empty());
    EXPECT_TRUE(requestsOf("ClosePosDisplay").empty());
    EXPECT_TRUE(nextStepRan);
}

} // namespace
