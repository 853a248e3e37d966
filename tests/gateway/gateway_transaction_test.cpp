#include "gateway/gateway_transaction.h"

#include <gtest/gtest.h>

#include "tests/gateway/gateway_fixture.h"

namespace {

using GatewayTransactionTest = GatewayFixture;

TEST_F(GatewayTransactionTest, BeginStartsAFreshExchange) {
    GatewayTransaction transaction;
    transaction.inProgress = false;
    transaction.finished = true;
    transaction.result.getChild("Old").setText("1");
    transaction.request.type = "P";
    transaction.reply.rc = "00";
    transaction.response.setResponse("00");
    transaction.elapsedMs = 99;
    transaction.messageType = 200;
    transaction.windowLow = 210;
    transaction.windowHigh = 210;
    transaction.timeout = 70;
    transaction.reversalStored = true;
    transaction.awaitingReply = true;
    transaction.completion = [] {};
    transaction.replyCallback = [] { return true; };
    tick = 4242;

    ASSERT_TRUE(transaction.beginTransaction(posRequest()));
    EXPECT_TRUE(transaction.inProgress);
    EXPECT_FALSE(transaction.finished);
    EXPECT_EQ(transaction.startTick, 4242u);
    EXPECT_EQ(transaction.startTime.local.hour, 18);
    EXPECT_EQ(transaction.startTime.utc.hour, 7);
    EXPECT_EQ(transaction.posRequest.toString(), posRequest().toString());
    EXPECT_TRUE(transaction.result.children.empty());
    EXPECT_EQ(transaction.request, GatewayRequest());
    EXPECT_EQ(transaction.reply, GatewayReply());
    EXPECT_TRUE(transaction.response.code.empty());
    EXPECT_EQ(transaction.elapsedMs, 0);
    EXPECT_EQ(transaction.messageType, 0);
    EXPECT_EQ(transaction.windowLow, 0);
    EXPECT_EQ(transaction.windowHigh, 0);
    EXPECT_EQ(transaction.timeout, -1);
    EXPECT_FALSE(transaction.reversalStored);
    EXPECT_FALSE(transaction.awaitingReply);
    EXPECT_FALSE(transaction.completion);
    EXPECT_FALSE(transaction.replyCallback);
}

TEST_F(GatewayTransactionTest, BeginIsRefusedWhileInProgress) {
    GatewayTransaction transaction;
    ASSERT_TRUE(transaction.beginTransaction(posRequest()));
    transaction.request.type = "O";
    EXPECT_FALSE(transaction.beginTransaction(xmlNode()));
    EXPECT_EQ(transaction.request.type, "O");
    EXPECT_EQ(transaction.posRequest.name, "DoTransaction");
}

TEST_F(GatewayTransactionTest, CompletionRunsOnceAndOwnsInProgress) {
    GatewayTransaction transaction;
    ASSERT_TRUE(transaction.beginTransaction(posRequest()));
    int runs = 0;
    transaction.completion = [&runs] { ++runs; };
    transaction.completeTransaction();
    transaction.completeTransaction();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(transaction.finished);
    EXPECT_TRUE(transaction.inProgress); // left for the callback to clear
}

TEST_F(GatewayTransactionTest, CompletionWithoutCallbackEndsTheExchange) {
    GatewayTransaction transaction;
    ASSERT_TRUE(transaction.beginTransaction(posRequest()));
    transaction.completeTransaction();
    EXPECT_TRUE(transaction.finished);
    EXPECT_FALSE(transaction.inProgress);
    EXPECT_TRUE(transaction.beginTransaction(posRequest()));
}

TEST_F(GatewayTransactionTest, CompletionOfAnIdleExchangeDoesNothing) {
    GatewayTransaction transaction;
    int runs = 0;
    transaction.completion = [&runs] { ++runs; };
    transaction.completeTransaction();
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(transaction.finished);
}

TEST_F(GatewayTransactionTest, CallbackMayReplaceItselfWhileRunning) {
    GatewayTransaction transaction;
    ASSERT_TRUE(transaction.beginTransaction(posRequest()));
    int runs = 0;
    transaction.completion = [&transaction, &runs] {
        ++runs;
        transaction.completion = nullptr;
        transaction.inProgress = false;
    };
    transaction.completeTransaction();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(transaction.inProgress);
}

} // namespace
