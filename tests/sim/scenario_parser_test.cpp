// The scenario language: what a file means, and how a bad one is reported.
#include <gtest/gtest.h>

#include "sim/scenario/scenario.h"
#include "sim/scenario/scenario_tokens.h"

namespace {

using sim::ActionKind;
using sim::CheckOp;
using sim::ExpectKind;

sim::Scenario parseOk(const std::string& text) {
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_TRUE(sim::parseScenario("t.scenario", text, scenario, errors));
    for (const sim::ParseError& e : errors) {
        ADD_FAILURE() << e.text();
    }
    return scenario;
}

TEST(ScenarioTokens, QuotesEscapesAndOperators) {
    std::vector<sim::Token> tokens;
    std::string error;
    ASSERT_TRUE(sim::tokenizeLine(
        R"(pos TxnRef="R 1" line~"a\"b" !USERNAME TOKEN? "x=y" "\x41\n" # comment)", tokens,
        error));
    ASSERT_EQ(tokens.size(), 7u);
    EXPECT_EQ(tokens[1].key(), "TxnRef");
    EXPECT_EQ(tokens[1].value(), "R 1");
    EXPECT_TRUE(tokens[2].hasOp('~'));
    EXPECT_EQ(tokens[2].value(), "a\"b");
    EXPECT_TRUE(tokens[3].negated);
    EXPECT_EQ(tokens[3].text, "USERNAME");
    EXPECT_TRUE(tokens[4].presence);
    EXPECT_EQ(tokens[4].text, "TOKEN");
    EXPECT_FALSE(tokens[5].hasOp('=')) << "an = inside quotes is text";
    EXPECT_EQ(tokens[6].text, "A\n");
}

TEST(ScenarioTokens, BadQuotingIsReported) {
    std::vector<sim::Token> tokens;
    std::string error;
    EXPECT_FALSE(sim::tokenizeLine("input \"0412", tokens, error));
    EXPECT_EQ(error, "unterminated quote");
    EXPECT_FALSE(sim::tokenizeLine("input \"\\q\"", tokens, error));
    EXPECT_FALSE(sim::tokenizeLine("input \"\\x4\"", tokens, error));
}

TEST(ScenarioDurations, Units) {
    struct Case {
        const char* text;
        bool ok;
        sim::Millis value;
    };
    for (const Case& c : {Case{"0", true, 0}, Case{"2s", true, 2000}, Case{"1.5s", true, 1500},
                          Case{"500ms", true, 500}, Case{"2m", true, 120000},
                          Case{"1h", true, 3600000}, Case{"70", true, 70000}, Case{"", false, 0},
                          Case{"-1s", false, 0}, Case{"5x", false, 0}, Case{"s", false, 0}}) {
        sim::Millis value = -7;
        EXPECT_EQ(sim::parseDuration(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ScenarioParser, SetUpTimelineRulesAndExpectations) {
    const sim::Scenario s = parseOk(R"(
scenario "QR purchase"
var TOKEN "T1"
var LANE_ID=7
lane MerchantId "777"
pinpad QR_code=0 TID=T9
host reply-too-small GetVariable times=2
host result SetVariable -5 always
host reply-too-small SendHostMessage match="\"type\":\"P\"" from=2 forever
host event HostReceiveEvent late match=P- from=3
gateway token T1
gateway order K-1 5000 NZD
fault N late 80s keep from=2 times=3
fault P decline 05 "DO NOT HONOUR"
at 1s pinpad-online 1
at 2.5s pos TxnType=P AmtPurchase=1250 BasketData/json="[1]"
on prompt "PHONE" after 3s input "0412345678"
each keywait key pos 1
on gateway N after 20s customer pays
at 3s try command DoGetLastReceipt
expect result ResponseCode=00 !Pan TxnRef?
expect gateway N#2 timeout=120 @Timeout=130
expect request-order AddDllEntryPoint:Name=Klarna_Purchase InterceptSet
expect journal count=1
)");
    EXPECT_EQ(s.name, "QR purchase");
    ASSERT_EQ(s.setup.variables.size(), 2u);
    EXPECT_EQ(s.setup.variables[1], (std::pair<std::string, std::string>("LANE_ID", "7")));
    EXPECT_EQ(s.setup.host.laneVariables.at("MerchantId"), "777");
    EXPECT_EQ(s.setup.host.pinpadDetails.at("QR_code"), "0");
    EXPECT_EQ(s.setup.host.pinpadDetails.at("Acquirer"), "SIMACQ")
        << "other details keep their defaults";
    ASSERT_EQ(s.setup.host.methodFaults.size(), 3u);
    EXPECT_EQ(s.setup.host.methodFaults[0].times, 2);
    EXPECT_EQ(s.setup.host.methodFaults[1].value, -5);
    EXPECT_EQ(s.setup.host.methodFaults[1].times, 0);
    EXPECT_EQ(s.setup.host.methodFaults[2].match, "\"type\":\"P\"");
    EXPECT_TRUE(s.setup.host.methodFaults[2].forever);
    EXPECT_EQ(s.setup.host.methodFaults[2].start, 2);
    ASSERT_EQ(s.setup.host.eventFaults.size(), 1u);
    EXPECT_EQ(s.setup.host.eventFaults[0].mode, sim::EventFault::Mode::late);
    EXPECT_EQ(s.setup.host.eventFaults[0].match, "P-");
    EXPECT_EQ(s.setup.host.eventFaults[0].start, 3);
    EXPECT_EQ(s.setup.gateway.issuedToken, "T1");
    ASSERT_EQ(s.setup.orders.size(), 1u);
    EXPECT_EQ(s.setup.orders[0].currency, "NZD");
    ASSERT_EQ(s.setup.faults.size(), 2u);
    EXPECT_EQ(s.setup.faults[0].delay, 80000);
    EXPECT_TRUE(s.setup.faults[0].keepAfterTimeout);
    EXPECT_EQ(s.setup.faults[0].from, 2);
    EXPECT_EQ(s.setup.faults[0].times, 3);
    EXPECT_EQ(s.setup.faults[1].text, "DO NOT HONOUR");

    ASSERT_EQ(s.timeline.size(), 3u);
    EXPECT_EQ(s.timeline[1].at, 2500);
    EXPECT_EQ(s.timeline[1].action.kind, ActionKind::pos);
    EXPECT_EQ(s.timeline[1].action.fields.back(),
              (std::pair<std::string, std::string>("BasketData/json", "[1]")));
    EXPECT_TRUE(s.timeline[2].action.optional);
    EXPECT_EQ(s.timeline[2].action.line, 20);

    ASSERT_EQ(s.rules.size(), 3u);
    EXPECT_EQ(s.rules[0].match, "PHONE");
    EXPECT_EQ(s.rules[0].delay, 3000);
    EXPECT_EQ(s.rules[0].action.answer.text, "0412345678");
    EXPECT_TRUE(s.rules[1].every);
    EXPECT_EQ(s.rules[1].action.answer.where, "pos");
    EXPECT_EQ(s.rules[2].match, "N");
    EXPECT_EQ(s.rules[2].action.kind, ActionKind::customer);

    ASSERT_EQ(s.expectations.size(), 4u);
    const sim::Expectation& result = s.expectations[0];
    EXPECT_EQ(result.kind, ExpectKind::result);
    ASSERT_EQ(result.checks.size(), 3u);
    EXPECT_EQ(result.checks[1].op, CheckOp::absent);
    EXPECT_EQ(result.checks[2].op, CheckOp::present);
    EXPECT_EQ(s.expectations[1].subject, "N");
    EXPECT_EQ(s.expectations[1].index, 2);
    EXPECT_EQ(s.expectations[1].checks[1].path, "@Timeout");
    EXPECT_EQ(s.expectations[2].words[0], "AddDllEntryPoint:Name=Klarna_Purchase");
    EXPECT_TRUE(s.expectations[3].countOnly);
    EXPECT_EQ(s.expectations[3].line, 24);
}

TEST(ScenarioParser, ScreenRuleWithoutMatchTakesTheActionDirectly) {
    const sim::Scenario s =
        parseOk("on screen after 2s confirm\non menu select 2\non qr select BUTTON1\n");
    ASSERT_EQ(s.rules.size(), 3u);
    EXPECT_TRUE(s.rules[0].match.empty());
    EXPECT_EQ(s.rules[0].action.answer.kind, sim::Answer::Kind::confirm);
    EXPECT_TRUE(s.rules[1].match.empty());
    EXPECT_EQ(s.rules[1].action.answer.text, "2");
    EXPECT_EQ(s.rules[2].action.answer.text, "BUTTON1");
}

TEST(ScenarioParser, EveryBadLineIsReportedWithItsNumber) {
    struct Case {
        const char* line;
        const char* message;
    };
    const std::vector<Case> cases{
        {"frobnicate", "unknown directive \"frobnicate\""},
        {"var TOKEN", "usage: var NAME"},
        {"at soon pos", "usage: at TIME ACTION"},
        {"at 1s dance", "unknown action \"dance\""},
        {"at 1s pos TxnType", "\"TxnType\" is not a FIELD=value pair"},
        {"at 1s customer sings", "usage: customer pays|opens|gives-up"},
        {"at 1s cancel kiosk", "cancel on pinpad or pos"},
        {"on banana confirm", "usage: on|each"},
        {"on qr after later confirm", "after needs a DURATION"},
        {"fault Z no-reply", "unknown message kind \"Z\""},
        {"fault O explode", "unknown fault \"explode\""},
        {"fault O late", "late needs a DURATION"},
        {"fault O decline", "decline needs a CODE"},
        {"fault O set rc", "set needs FIELD=value"},
        {"fault O no-reply times=0", "expected times=N, from=N or always"},
        {"host reply-capacity lots", "malformed host setting"},
        {"host result GetVariable", "needs a number after the method"},
        {"host refuse SetVariable -1 forever", "expected match=TEXT, times=N, from=N or always"},
        {"host event PinpadNotify lose", "is not an answer event the host gives"},
        {"host event PrintReceiptEvent vanish", "unknown fault \"vanish\""},
        {"host event PrintReceiptEvent fail times=2", "fail needs the Result CODE"},
        {"gateway order K-1 much", "malformed gateway setting"},
        {"expect", "usage: expect WHAT"},
        {"expect weather sunny=1", "unknown expectation \"weather\""},
        {"expect result", "checks nothing"},
        {"expect result sunny", "is not a check"},
        {"expect request", "needs a NAME[#N]"},
        {"expect request Trace#0 TraceData=x", "expected NAME#N or NAME#last"},
        {"expect journal count=x", "count needs a number"},
        {"expect journal count=1 text~F", "cannot be combined"},
        {"at 1s input \"open", "unterminated quote"},
    };
    std::string text = "scenario fine\n";
    for (const Case& c : cases) {
        text += std::string(c.line) + "\n";
    }
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_FALSE(sim::parseScenario("bad.scenario", text, scenario, errors));
    ASSERT_EQ(errors.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(errors[i].line, static_cast<int>(i) + 2) << cases[i].line;
        EXPECT_NE(errors[i].message.find(cases[i].message), std::string::npos)
            << cases[i].line << " gave: " << errors[i].message;
        EXPECT_EQ(errors[i].text().rfind("bad.scenario:" + std::to_string(i + 2) + ": ", 0), 0u);
    }
}

// A misspelt field would make a check that can never hold (or, with !,
// always holds); misspelt request, kind, variable and POS field names are
// refused the same way.
TEST(ScenarioParser, UnknownNamesAreRefusedWithTheNearestKnownOne) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {"expect result Sucess=1", "\"Sucess\" is not a field of a TransactionEvent (did you mean "
                                   "Success?)"},
        {"expect result !ResponceText", "(did you mean ResponseText?)"},
        {"expect request DisplayOnPinapd count=1", "(did you mean DisplayOnPinpad?)"},
        {"expect request PrintReceipt Printr=POS", "a field of a PrintReceipt (did you mean "
                                                   "Printer?)"},
        {"expect gateway P ordrid?", "a field of a gateway message (did you mean orderid?)"},
        {"expect gateway-kinds O N X", "\"X\" is not a gateway message kind"},
        {"expect var REVERSAL_DAT=\"\"", "(did you mean REVERSAL_DATA?)"},
        {"var TERMINAL_REF_NUMBER \"T1\"", "(did you mean TERMINAL_REF_NUM?)"},
        {"at 1s pos TxnType=P AmtPurchse=1250", "a field of a POS request (did you mean "
                                                "AmtPurchase?)"},
        {"on request GetVariabel wait", "(did you mean GetVariable?)"},
    };
    std::string text;
    for (const auto& c : cases) {
        text += std::string(c.first) + "\n";
    }
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_FALSE(sim::parseScenario("names.scenario", text, scenario, errors));
    ASSERT_EQ(errors.size(), cases.size());
    for (const sim::ParseError& error : errors) {
        const auto& c = cases.at(static_cast<std::size_t>(error.line) - 1);
        EXPECT_NE(error.message.find(c.second), std::string::npos)
            << c.first << " gave: " << error.message;
    }
}

TEST(ScenarioParser, BinaryNoiseIsReportedNotFatal) {
    std::string noise;
    for (int i = 0; i < 512; ++i) {
        noise += static_cast<char>((i * 37) % 256);
    }
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_FALSE(sim::parseScenario("noise", noise, scenario, errors));
    EXPECT_FALSE(errors.empty());
}

TEST(ScenarioParser, TypedActionLines) {
    sim::Action action;
    std::string error;
    ASSERT_TRUE(sim::parseActionLine("key pinpad ENTER", action, error));
    EXPECT_EQ(action.answer.kind, sim::Answer::Kind::key);
    EXPECT_EQ(action.answer.text, "ENTER");
    ASSERT_TRUE(sim::parseActionLine("result 05 ResultText=\"PAPER OUT\"", action, error));
    EXPECT_EQ(action.answer.fields.at(0).second, "PAPER OUT");
    ASSERT_TRUE(sim::parseActionLine("refresh-settings", action, error));
    EXPECT_EQ(action.kind, ActionKind::command);
    EXPECT_EQ(action.name, "RefreshSettings");
    EXPECT_FALSE(sim::parseActionLine("key keyboard 1", action, error));
}

} // namespace
