// Which delivery answers a gateway message: the first reply event after it
// decides, and only a reply the module can match (Result "00", MTYPE one
// window above the message type, same type and stan, an rc) answers it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/checks/invariants.h"
#include "tests/sim/run_builder.h"

namespace {

using simtest::gatewayJson;
using simtest::json;
using simtest::replyJson;
using simtest::RunBuilder;

// Builds a run around gateway message number `sent`.
using Build = std::function<void(RunBuilder&, std::size_t& sent)>;

struct AnswerCase {
    const char* name;
    Build build;
    bool answered;
    const char* rc;
};

const json nMessage = gatewayJson("N", 5, {{"hppsid", "HPP1"}});

class AnswerTo : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTo, TakesTheFirstReplyEventAfterTheMessage) {
    RunBuilder run;
    std::size_t sent = 0;
    GetParam().build(run, sent);
    std::string rc = "stale";
    const sim::ObservedDelivery* reply = sim::answerTo(run.record, run.seen, sent, rc);
    EXPECT_EQ(reply != nullptr, GetParam().answered);
    EXPECT_EQ(rc, GetParam().rc);
}

const AnswerCase answerCases[] = {
    {"matching_reply",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.reply(160, replyJson(nMessage, "00"));
     },
     true, "00"},
    {"declined_reply_still_answers",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.reply(160, replyJson(nMessage, "05"));
     },
     true, "05"},
    {"other_events_are_passed_over",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.deliver("PinpadNotify");
         b.deliver("TimerTrigger");
         b.reply(160, replyJson(nMessage, "00"));
     },
     true, "00"},
    {"host_failure",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.hostFailure("X0", "TIMEOUT");
     },
     false, ""},
    {"host_failure_carrying_a_reply",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.reply(160, replyJson(nMessage, "00").dump(), "X1");
     },
     false, ""},
    {"no_reply_at_all", [](RunBuilder& b, std::size_t& s) { s = b.send(nMessage, 150); }, false,
     ""},
    {"wrong_mtype",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.reply(210, replyJson(nMessage, "00"));
     },
     false, ""},
    {"wrong_type",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         json reply = replyJson(nMessage, "00");
         reply["type"] = "O";
         b.reply(160, reply);
     },
     false, ""},
    {"wrong_stan",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         json reply = replyJson(nMessage, "00");
         reply["stan"] = 6;
         b.reply(160, reply);
     },
     false, ""},
    {"stan_missing_from_reply",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         json reply = replyJson(nMessage, "00");
         reply.erase("stan");
         b.reply(160, reply);
     },
     false, ""},
    {"rc_missing",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         json reply = replyJson(nMessage, "00");
         reply.erase("rc");
         b.reply(160, reply);
     },
     false, ""},
    {"rc_empty",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.reply(160, replyJson(nMessage, ""));
     },
     false, ""},
    {"unreadable_reply",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.reply(160, std::string("{\"type\":\"N\",\"stan\":5,"));
     },
     false, ""},
    {"matching_reply_after_an_unmatched_one_is_too_late",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         json reply = replyJson(nMessage, "00");
         reply["stan"] = 4;
         b.reply(160, reply);
         b.reply(160, replyJson(nMessage, "00"));
     },
     false, ""},
    {"matching_reply_after_a_host_failure_is_too_late",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.hostFailure();
         b.reply(160, replyJson(nMessage, "00"));
     },
     false, ""},
    {"reply_delivered_before_the_message_answers_nothing",
     [](RunBuilder& b, std::size_t& s) {
         b.reply(160, replyJson(nMessage, "00"));
         s = b.send(nMessage, 150);
     },
     false, ""},
    {"earlier_message_s_reply_does_not_answer_a_later_one",
     [](RunBuilder& b, std::size_t& s) {
         const json o = gatewayJson("O", 4);
         b.send(o, 150);
         b.reply(160, replyJson(o, "00"));
         s = b.send(nMessage, 150);
         b.reply(160, replyJson(nMessage, "00"));
     },
     true, "00"},
    {"reply_after_a_restart",
     [](RunBuilder& b, std::size_t& s) {
         s = b.send(nMessage, 150);
         b.restart();
         b.reply(160, replyJson(nMessage, "00"));
     },
     false, ""},
    {"message_sent_after_a_restart",
     [](RunBuilder& b, std::size_t& s) {
         b.restart();
         s = b.send(nMessage, 150);
         b.reply(160, replyJson(nMessage, "00"));
     },
     true, "00"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AnswerTo, ::testing::ValuesIn(answerCases), simtest::CaseName());

TEST(AnswerToDelivery, PointsAtTheDeliveryThatAnswered) {
    RunBuilder run;
    const std::size_t sent = run.send(nMessage, 150);
    run.deliver("PinpadNotify");
    run.reply(160, replyJson(nMessage, "00"));
    std::string rc;
    EXPECT_EQ(sim::answerTo(run.record, run.seen, sent, rc), &run.seen.deliveries[1]);
}

} // namespace
