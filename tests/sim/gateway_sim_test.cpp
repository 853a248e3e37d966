// The simulated gateway on its own, fed JSON messages shaped as the module
// builds them.
#include <gtest/gtest.h>

#include <cstdio>

#include <nlohmann/json.hpp>

#include "sim/gateway/gateway_sim.h"

namespace {

using nlohmann::json;
using sim::GatewayOutcome;

class GatewayTest : public ::testing::Test {
  protected:
    GatewayTest() : gateway(queue, [this](const GatewayOutcome& o) { replies.push_back(o); }) {
        gateway.config().latency = 100;
    }

    // Sends and runs the clock until nothing is due before the limit.
    void send(std::int32_t msgType, const json& request, sim::Millis runFor = 1000) {
        gateway.receive(++exchange, msgType, request.dump());
        runUntil(queue.now() + runFor);
    }

    void runUntil(sim::Millis until) {
        while (!queue.empty() && queue.nextTime() <= until) {
            queue.runNext();
        }
        queue.advanceTo(until);
    }

    json lastReply() const { return json::parse(replies.back().message); }

    json logon() const {
        return {{"type", "A+"},
                {"mt", 100},
                {"stan", 1},
                {"sentcount", 1},
                {"username", "user"},
                {"password", "secret"},
                {"trn", "M123_S1_007"},
                {"agent", "Klarna\\1.0.0.0"},
                {"date", "01012024"},
                {"time", "100000"},
                {"tzd", 600},
                {"tt", "20240101000000"}};
    }

    std::string logonToken() {
        send(100, logon());
        return lastReply().at("token").get<std::string>();
    }

    json paymentMessage(const std::string& type, int stan, const std::string& token) const {
        const int mt = type == "P" || type == "R" ? 200 : 150;
        return {
            {"type", type},   {"mt", mt},    {"stan", stan},        {"sentcount", 1},
            {"token", token}, {"ref", "R1"}, {"countrycode", "AU"}, {"agent", "Klarna\\1.0.0.0"}};
    }

    // Opens a session for amount and returns the reply.
    json openSession(const std::string& token, int amount = 1250) {
        json order = paymentMessage("O", 2, token);
        order["amt"] = amount;
        order["currency"] = "AUD";
        send(150, order);
        return lastReply();
    }

    json wait(const std::string& token, const json& session, int stan, const std::string& status,
              int timeout) {
        json enquiry = paymentMessage("N", stan, token);
        enquiry["hppsid"] = session.at("hppsid");
        enquiry["paysid"] = session.at("paysid");
        enquiry["hppstatus"] = status;
        enquiry["timeout"] = timeout;
        return enquiry;
    }

    sim::EventQueue queue;
    std::vector<GatewayOutcome> replies;
    sim::GatewaySim gateway;
    std::uint64_t exchange = 0;
};

TEST_F(GatewayTest, LogonRepeatsTypeAndStanUnderTheReplyMessageTypeAndIssuesAToken) {
    send(100, logon());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].mtype, 110);
    EXPECT_EQ(replies[0].result, "00");
    EXPECT_EQ(replies[0].delay, 100);
    const json reply = lastReply();
    EXPECT_EQ(reply.at("type"), "A+");
    EXPECT_EQ(reply.at("stan"), 1);
    EXPECT_EQ(reply.at("mt"), 110);
    EXPECT_EQ(reply.at("rc"), "00");
    EXPECT_EQ(reply.at("trn"), "M123_S1_007");
    EXPECT_FALSE(reply.at("token").get<std::string>().empty());
}

TEST_F(GatewayTest, LogonChecksCredentialsAndTerminalReference) {
    gateway.config().username = "user";
    gateway.config().password = "other";
    send(100, logon());
    EXPECT_EQ(lastReply().at("rc"), "55");
    EXPECT_FALSE(lastReply().contains("token"));

    json noTerminal = logon();
    noTerminal["trn"] = "";
    send(100, noTerminal);
    EXPECT_EQ(lastReply().at("rc"), "30");
    EXPECT_EQ(lastReply().at("rt"), "TRN MISSING");
}

TEST_F(GatewayTest, ConfiguredTokenIsIssuedAndAccepted) {
    gateway.config().issuedToken = "T1";
    EXPECT_EQ(logonToken(), "T1");
    EXPECT_EQ(openSession("T1").at("rc"), "00");
}

TEST_F(GatewayTest, PaymentMessagesAreCheckedLikeARealGateway) {
    const std::string token = logonToken();
    struct Case {
        const char* what;
        std::function<void(json&)> change;
        std::int32_t msgType;
        const char* rc;
        const char* rt;
    };
    const std::vector<Case> cases{
        {"no token", [](json& m) { m.erase("token"); }, 150, "TF", "INVALID TOKEN"},
        {"unknown token", [](json& m) { m["token"] = "forged"; }, 150, "TF", "INVALID TOKEN"},
        {"no amount", [](json& m) { m.erase("amt"); }, 150, "30", "AMT MISSING"},
        {"zero amount", [](json& m) { m["amt"] = 0; }, 150, "T8", "INVALID AMOUNT"},
        {"amount as text", [](json& m) { m["amt"] = "1250"; }, 150, "T8", "INVALID AMOUNT"},
        {"no currency", [](json& m) { m.erase("currency"); }, 150, "30", "CURRENCY MISSING"},
        {"no country code", [](json& m) { m.erase("countrycode"); }, 150, "30",
         "COUNTRYCODE MISSING"},
        {"no stan", [](json& m) { m.erase("stan"); }, 150, "30", "STAN MISSING"},
        {"purchase message type", [](json&) {}, 200, "30", "WRONG MESSAGE TYPE"},
        {"mt member not 150", [](json& m) { m["mt"] = 100; }, 150, "30", "WRONG MESSAGE TYPE"},
    };
    for (const Case& c : cases) {
        json order = paymentMessage("O", 5, token);
        order["amt"] = 1250;
        order["currency"] = "AUD";
        c.change(order);
        replies.clear();
        send(c.msgType, order);
        ASSERT_EQ(replies.size(), 1u) << c.what;
        EXPECT_EQ(lastReply().at("rc"), c.rc) << c.what;
        EXPECT_EQ(lastReply().at("rt"), c.rt) << c.what;
        EXPECT_FALSE(lastReply().contains("hppsid")) << c.what;
    }
    EXPECT_TRUE(gateway.sessions().empty());
}

TEST_F(GatewayTest, SessionReplyCarriesSessionIdsAndPaymentLink) {
    const json session = openSession(logonToken());
    EXPECT_EQ(session.at("rc"), "00");
    EXPECT_EQ(session.at("type"), "O");
    EXPECT_EQ(session.at("stan"), 2);
    EXPECT_EQ(session.at("mt"), 160);
    EXPECT_EQ(session.at("amt"), 1250);
    const std::string hppsid = session.at("hppsid");
    EXPECT_FALSE(session.at("paysid").get<std::string>().empty());
    EXPECT_NE(session.at("redirecturl").get<std::string>().find(hppsid), std::string::npos);
    ASSERT_EQ(gateway.sessions().size(), 1u);
    EXPECT_EQ(gateway.sessions()[0].status, "WAITING");
}

TEST_F(GatewayTest, SmsNeedsAKnownSessionAndAPlausiblePhone) {
    const std::string token = logonToken();
    const json session = openSession(token);
    struct Case {
        std::string hppsid;
        std::string phone;
        const char* rc;
    };
    for (const Case& c : std::vector<Case>{{"HPP-nope", "0412345678", "25"},
                                           {session.at("hppsid"), "04123", "30"},
                                           {session.at("hppsid"), "04a2345678", "30"},
                                           {session.at("hppsid"), "0412345678", "00"}}) {
        json sms = paymentMessage("D", 3, token);
        sms["hppsid"] = c.hppsid;
        sms["phone"] = c.phone;
        send(150, sms);
        EXPECT_EQ(lastReply().at("rc"), c.rc) << c.phone;
    }
    EXPECT_TRUE(gateway.sessions()[0].smsSent);
    EXPECT_EQ(lastReply().at("rt"), "SMS SENT");
}

TEST_F(GatewayTest, StatusWaitIsHeldUntilTheCustomerPays) {
    const std::string token = logonToken();
    const json session = openSession(token);
    replies.clear();
    send(150, wait(token, session, 3, "WAITING", 60), 20000);
    EXPECT_TRUE(replies.empty());
    EXPECT_EQ(gateway.heldWaits(), 1u);

    std::string error;
    ASSERT_TRUE(gateway.customerPays(error)) << error;
    runUntil(queue.now() + 1000);
    ASSERT_EQ(replies.size(), 1u);
    const json reply = lastReply();
    EXPECT_EQ(reply.at("type"), "N");
    EXPECT_EQ(reply.at("stan"), 3);
    EXPECT_EQ(reply.at("rc"), "00");
    EXPECT_EQ(reply.at("hppstatus"), "COMPLETED");
    EXPECT_FALSE(reply.at("orderid").get<std::string>().empty());
    EXPECT_EQ(gateway.heldWaits(), 0u);
    EXPECT_TRUE(queue.empty()) << "the expiry at 60 s was cancelled";
}

TEST_F(GatewayTest, OpenedPaymentPageEndsTheFirstWaitWithoutOrderAndTheSecondWaitGetsIt) {
    const std::string token = logonToken();
    const json session = openSession(token);
    replies.clear();
    send(150, wait(token, session, 3, "WAITING", 60));
    std::string error;
    ASSERT_TRUE(gateway.customerOpens(error));
    runUntil(queue.now() + 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(lastReply().at("rc"), "00");
    EXPECT_EQ(lastReply().at("hppstatus"), "IN_PROGRESS");
    EXPECT_FALSE(lastReply().contains("orderid"));

    send(150, wait(token, session, 4, "IN_PROGRESS", 120));
    EXPECT_EQ(replies.size(), 1u);
    ASSERT_TRUE(gateway.customerPays(error));
    runUntil(queue.now() + 1000);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(lastReply().at("stan"), 4);
    EXPECT_TRUE(lastReply().contains("orderid"));
}

TEST_F(GatewayTest, AWaitForAStatusAlreadyPassedIsAnsweredAtOnce) {
    const std::string token = logonToken();
    const json session = openSession(token);
    std::string error;
    ASSERT_TRUE(gateway.customerPays(error));
    replies.clear();
    send(150, wait(token, session, 3, "WAITING", 60));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(lastReply().at("hppstatus"), "COMPLETED");
}

TEST_F(GatewayTest, WaitRunsOutAtTheAnnouncedTimeout) {
    const std::string token = logonToken();
    const json session = openSession(token);
    replies.clear();
    send(150, wait(token, session, 3, "WAITING", 60), 59000);
    EXPECT_TRUE(replies.empty());
    runUntil(queue.now() + 2000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(lastReply().at("rc"), "TI");
    EXPECT_EQ(lastReply().at("stan"), 3);
    EXPECT_EQ(lastReply().at("type"), "N");
}

TEST_F(GatewayTest, InterruptEndsThePendingWaitUnderItsOwnStanAndHasNoReplyOfItsOwn) {
    const std::string token = logonToken();
    const json session = openSession(token);
    replies.clear();
    send(150, wait(token, session, 3, "WAITING", 60));
    json interrupt = paymentMessage("Q", 4, token);
    interrupt["hppsid"] = session.at("hppsid");
    send(150, interrupt);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(lastReply().at("type"), "N");
    EXPECT_EQ(lastReply().at("stan"), 3);
    EXPECT_EQ(lastReply().at("rc"), "TM");
    EXPECT_EQ(replies[0].mtype, 160);
    runUntil(queue.now() + 120000);
    EXPECT_EQ(replies.size(), 1u);
}

TEST_F(GatewayTest, CustomerGivingUpEndsTheWait) {
    const std::string token = logonToken();
    const json session = openSession(token);
    replies.clear();
    send(150, wait(token, session, 3, "WAITING", 60));
    std::string error;
    ASSERT_TRUE(gateway.customerGivesUp(error));
    runUntil(queue.now() + 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(lastReply().at("rc"), "TM");
    EXPECT_EQ(lastReply().at("rt"), "CUSTOMER CANCELLED");
    EXPECT_FALSE(gateway.customerPays(error));
    EXPECT_EQ(error, "no payment session is open");
}

TEST_F(GatewayTest, CustomerActionsNeedAnOpenSession) {
    std::string error;
    EXPECT_FALSE(gateway.customerPays(error));
    EXPECT_EQ(error, "no payment session has been opened");
    EXPECT_FALSE(gateway.customerOpens(error));
}

class PaidOrderTest : public GatewayTest {
  protected:
    void SetUp() override {
        token = logonToken();
        session = openSession(token, 1250);
        send(150, wait(token, session, 3, "WAITING", 60));
        std::string error;
        ASSERT_TRUE(gateway.customerPays(error));
        runUntil(queue.now() + 1000);
        orderid = lastReply().at("orderid");
    }

    json purchase(int amount, int stan = 5) const {
        json message = paymentMessage("P", stan, token);
        message["orderid"] = orderid;
        message["amt"] = amount;
        message["hppsid"] = session.at("hppsid");
        return message;
    }

    std::string token;
    json session;
    std::string orderid;
};

TEST_F(PaidOrderTest, PurchaseCompletesThePaidOrderOnceAndRepeatsTheSameAnswer) {
    send(200, purchase(1250));
    json reply = lastReply();
    EXPECT_EQ(reply.at("rc"), "00");
    EXPECT_EQ(reply.at("mt"), 210);
    EXPECT_EQ(replies.back().mtype, 210);
    EXPECT_EQ(reply.at("orderid"), orderid);
    EXPECT_EQ(reply.at("amt"), 1250);
    EXPECT_TRUE(reply.contains("paydt"));
    const std::string txref = reply.at("txref");
    send(200, purchase(1250, 6));
    EXPECT_EQ(lastReply().at("txref"), txref);
    EXPECT_TRUE(gateway.orders().at(orderid).captured);
}

TEST_F(PaidOrderTest, PurchaseChecksOrderAndAmount) {
    send(200, purchase(1000));
    EXPECT_EQ(lastReply().at("rc"), "T8");
    json unknown = purchase(1250);
    unknown["orderid"] = "ORD-unknown";
    send(200, unknown);
    EXPECT_EQ(lastReply().at("rc"), "25");
    EXPECT_FALSE(gateway.orders().at(orderid).captured);
}

TEST_F(PaidOrderTest, ReversalOfThePurchaseUndoesItAndIsRepeatedUnderTheReversalType) {
    send(200, purchase(1250));
    json reversal = purchase(1250);
    reversal["type"] = "P-";
    reversal["mt"] = 400;
    reversal["sentcount"] = 2;
    send(400, reversal);
    EXPECT_EQ(replies.back().mtype, 410);
    EXPECT_EQ(lastReply().at("type"), "P-");
    EXPECT_EQ(lastReply().at("stan"), 5);
    EXPECT_EQ(lastReply().at("rc"), "00");
    EXPECT_TRUE(gateway.orders().at(orderid).reversed);
    ASSERT_EQ(gateway.reversals().size(), 1u);
    send(200, purchase(1250, 7));
    EXPECT_EQ(lastReply().at("rc"), "25");
}

TEST_F(PaidOrderTest, RefundChecksTheRemainingAmountAndARepeatedRefundIsNotPaidTwice) {
    send(200, purchase(1250));
    json refund = paymentMessage("R", 8, token);
    refund["orderid"] = orderid;
    refund["uid"] = "uid-1";
    refund["amt"] = 1000;
    send(200, refund);
    const json first = lastReply();
    EXPECT_EQ(first.at("rc"), "00");
    EXPECT_FALSE(first.at("refundid").get<std::string>().empty());
    send(200, refund); // the operator's retry of the same message
    EXPECT_EQ(lastReply(), first);
    EXPECT_EQ(gateway.orders().at(orderid).refunded, 1000);

    refund["stan"] = 9;
    refund["amt"] = 500;
    send(200, refund);
    EXPECT_EQ(lastReply().at("rc"), "T8");
    refund["amt"] = 250;
    send(200, refund);
    EXPECT_EQ(lastReply().at("rc"), "00");
}

// A simulator started again reads the gateway's file: the token it issued,
// the paid order and the refund already answered are all still known.
TEST_F(PaidOrderTest, TheGatewaysFileKeepsTokensOrdersAndAnsweredRefunds) {
    send(200, purchase(1250));
    json refund = paymentMessage("R", 8, token);
    refund["orderid"] = orderid;
    refund["uid"] = "uid-1";
    refund["amt"] = 1000;
    send(200, refund);
    const json first = lastReply();
    ASSERT_EQ(first.at("rc"), "00");
    const std::string path = "gateway_state_test.gateway";
    std::string error;
    ASSERT_TRUE(sim::writeGatewayState(path, gateway.state(), error)) << error;
    gateway.restore(sim::GatewayState());
    sim::GatewayState read;
    ASSERT_TRUE(sim::readGatewayState(path, read, error)) << error;
    gateway.restore(read);
    send(200, refund);
    EXPECT_EQ(lastReply(), first) << "a repeated refund is not paid twice";
    refund["stan"] = 9;
    refund["amt"] = 250;
    send(200, refund);
    EXPECT_EQ(lastReply().at("rc"), "00");
    EXPECT_EQ(gateway.orders().at(orderid).refunded, 1250);
    EXPECT_EQ(gateway.state().counter, read.counter + 1) << "ids go on from the kept number";

    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fputs("{\"order\":{\"orderid\":\"K1\",\"amt\":\"12.50\"}}\n", file);
    std::fclose(file);
    EXPECT_FALSE(sim::readGatewayState(path, read, error));
    // After the heading, the counter, the token, the session, the order and the refund.
    EXPECT_NE(error.find(path + ":7: an order needs"), std::string::npos) << error;
    std::remove(path.c_str());
}

TEST_F(GatewayTest, RefundOfAnEarlierOrderByTheOperatorsOrderId) {
    gateway.addOrder("K-42", 5000, "AUD");
    json refund = paymentMessage("R", 3, logonToken());
    refund["manualorderid"] = "K-42";
    refund["amt"] = 5000;
    send(200, refund);
    EXPECT_EQ(lastReply().at("rc"), "00");
    EXPECT_EQ(lastReply().at("manualorderid"), "K-42");

    refund.erase("manualorderid");
    send(200, refund);
    EXPECT_EQ(lastReply().at("rc"), "30");
    EXPECT_EQ(lastReply().at("rt"), "ORDERID MISSING");
}

TEST_F(GatewayTest, UnreadableRequestGetsAFormatErrorWithoutTypeOrStan) {
    gateway.receive(1, 150, "{\"type\":\"O\",");
    runUntil(1000);
    ASSERT_EQ(replies.size(), 1u);
    const json reply = lastReply();
    EXPECT_EQ(reply.at("rc"), "30");
    EXPECT_FALSE(reply.contains("type"));
    EXPECT_FALSE(reply.contains("stan"));
}

TEST_F(GatewayTest, BytesThatAreNotUtf8AreReadAsLatin1) {
    json message = logon();
    std::string text = message.dump();
    const std::string marker = "\"agent\":\"";
    text.insert(text.find(marker) + marker.size(), "J\xF6rg ");
    gateway.receive(1, 100, text);
    runUntil(1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(lastReply().at("rc"), "00");
}

struct FaultCase {
    const char* name;
    sim::Fault fault;
    std::function<void(const GatewayOutcome&)> verify;
};

class GatewayFaultTest : public GatewayTest, public ::testing::WithParamInterface<FaultCase> {};

sim::Fault makeFault(sim::FaultMode mode, const std::string& code = "",
                     const std::string& text = "") {
    sim::Fault fault;
    fault.kind = "A+";
    fault.mode = mode;
    fault.code = code;
    fault.text = text;
    fault.field = code;
    fault.value = text;
    return fault;
}

TEST_P(GatewayFaultTest, AppliesToTheLogonReply) {
    gateway.addFault(GetParam().fault);
    send(100, logon(), 10000);
    if (replies.empty()) {
        GetParam().verify(GatewayOutcome{});
        return;
    }
    GetParam().verify(replies.back());
}

json parsed(const GatewayOutcome& outcome) {
    return json::parse(outcome.message);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, GatewayFaultTest,
    ::testing::Values(
        FaultCase{"hostFailure", makeFault(sim::FaultMode::hostFailure, "X0", "NO RESPONSE"),
                  [](const GatewayOutcome& o) {
                      EXPECT_EQ(o.result, "X0");
                      EXPECT_EQ(o.resultText, "NO RESPONSE");
                      EXPECT_FALSE(o.hasMessage);
                  }},
        FaultCase{"noReply", makeFault(sim::FaultMode::noReply),
                  [](const GatewayOutcome& o) { EXPECT_EQ(o.exchange, 0u) << "a reply came"; }},
        FaultCase{"wrongStan", makeFault(sim::FaultMode::wrongStan),
                  [](const GatewayOutcome& o) { EXPECT_EQ(parsed(o).at("stan"), 2); }},
        FaultCase{"wrongType", makeFault(sim::FaultMode::wrongType),
                  [](const GatewayOutcome& o) { EXPECT_EQ(parsed(o).at("type"), "X"); }},
        FaultCase{"wrongMtype", makeFault(sim::FaultMode::wrongMtype),
                  [](const GatewayOutcome& o) {
                      EXPECT_EQ(o.mtype, 111);
                      EXPECT_EQ(parsed(o).at("rc"), "00");
                  }},
        FaultCase{"badJson", makeFault(sim::FaultMode::badJson),
                  [](const GatewayOutcome& o) {
                      EXPECT_TRUE(json::parse(o.message, nullptr, false).is_discarded());
                  }},
        FaultCase{"dropRc", makeFault(sim::FaultMode::dropField, "rc"),
                  [](const GatewayOutcome& o) {
                      EXPECT_FALSE(parsed(o).contains("rc"));
                      EXPECT_TRUE(parsed(o).contains("token"));
                  }},
        FaultCase{"setToken", makeFault(sim::FaultMode::setField, "token", "\"\""),
                  [](const GatewayOutcome& o) { EXPECT_EQ(parsed(o).at("token"), ""); }},
        FaultCase{"setNumber", makeFault(sim::FaultMode::setField, "stan", "77"),
                  [](const GatewayOutcome& o) { EXPECT_EQ(parsed(o).at("stan"), 77); }},
        FaultCase{"decline", makeFault(sim::FaultMode::decline, "05", "DO NOT HONOUR"),
                  [](const GatewayOutcome& o) {
                      EXPECT_EQ(parsed(o).at("rc"), "05");
                      EXPECT_EQ(parsed(o).at("rt"), "DO NOT HONOUR");
                      EXPECT_EQ(o.result, "00");
                  }}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

TEST_F(GatewayTest, LateFaultDelaysTheReply) {
    sim::Fault late = makeFault(sim::FaultMode::late);
    late.delay = 45000;
    gateway.addFault(late);
    send(100, logon(), 45000);
    EXPECT_TRUE(replies.empty());
    runUntil(queue.now() + 200);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].delay, 45100);
}

TEST_F(GatewayTest, FaultCountsMessagesOfItsKindOnly) {
    sim::Fault fault = makeFault(sim::FaultMode::decline, "91", "ISSUER DOWN");
    fault.kind = "O";
    fault.from = 2;
    fault.times = 2;
    gateway.addFault(fault);
    const std::string token = logonToken();
    std::vector<std::string> codes;
    for (int i = 0; i < 5; ++i) {
        codes.push_back(openSession(token).at("rc"));
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"00", "91", "91", "00", "00"}));
    EXPECT_EQ(lastReply().at("type"), "O");
}

TEST_F(GatewayTest, FaultOnAHeldWaitAppliesWhenTheWaitIsAnswered) {
    sim::Fault fault = makeFault(sim::FaultMode::dropField, "orderid");
    fault.kind = "N";
    gateway.addFault(fault);
    const std::string token = logonToken();
    const json session = openSession(token);
    send(150, wait(token, session, 3, "WAITING", 60));
    std::string error;
    ASSERT_TRUE(gateway.customerPays(error));
    runUntil(queue.now() + 1000);
    EXPECT_EQ(lastReply().at("rc"), "00");
    EXPECT_FALSE(lastReply().contains("orderid"));
    ASSERT_EQ(replies.back().faults.size(), 1u);
    EXPECT_EQ(replies.back().faults[0], "drop orderid");
}

TEST_F(GatewayTest, ReversalKindFaultsMatchEveryReversalType) {
    sim::Fault fault = makeFault(sim::FaultMode::hostFailure, "Z0", "MODEM ERROR");
    fault.kind = "REV";
    fault.times = 0;
    gateway.addFault(fault);
    json reversal = paymentMessage("N-", 3, logonToken());
    reversal["mt"] = 400;
    for (const char* type : {"N-", "D-", "P-"}) {
        reversal["type"] = type;
        send(400, reversal);
        EXPECT_EQ(replies.back().result, "Z0") << type;
    }
}

} // namespace
