#include "config/persisted_records.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "documents/gateway_message.h"
#include "tests/config/host_variable_store.h"

namespace {

using Call = HostVariableStore::Call;

class PersistedRecordsTest : public ::testing::Test {
  protected:
    HostVariableStore store;
};

TEST_F(PersistedRecordsTest, EachStoreWritesItsOwnVariable) {
    const struct {
        std::function<void(HostBridge&, const std::string&)> write;
        const char* variable;
    } cases[] = {
        {storeActivationStatus, "ACTIVATION_STATUS"},
        {storeLastTransaction, "LAST_TXN"},
        {storeLastReceipt, "LAST_RECEIPT"},
        {storeDuplicateReceipt, "RECEIPT_DUPLICATE"},
    };
    for (const auto& c : cases) {
        store.host.clear();
        c.write(store.bridge, "value of " + std::string(c.variable));
        EXPECT_EQ(store.calls(), std::vector<Call>({{"SetVariable", c.variable,
                                                     "value of " + std::string(c.variable)}}));
        c.write(store.bridge, "");
        EXPECT_EQ(store.variables[c.variable], "") << c.variable;
    }
}

TEST_F(PersistedRecordsTest, TokenIsReadWithAnEmptyDefault) {
    EXPECT_EQ(readToken(store.bridge), "");
    store.variables["TOKEN"] = "tok-123";
    EXPECT_EQ(readToken(store.bridge), "tok-123");
    EXPECT_EQ(store.calls(),
              std::vector<Call>({{"GetVariable", "TOKEN", ""}, {"GetVariable", "TOKEN", ""}}));
}

GatewayRequest purchaseRequest(const std::string& type) {
    GatewayRequest request;
    request.mt = 150;
    request.type = type;
    request.stan = 12;
    request.sentcount = 1;
    request.amt = 1500;
    request.tt = "20240131235959";
    return request;
}

TEST_F(PersistedRecordsTest, ReversalRecordMarksTheTypeAndAddsTheCounters) {
    for (const char* type : {"P", "N", "D"}) {
        store.host.clear();
        EXPECT_EQ(storeReversal(store.bridge, purchaseRequest(type)), ReversalRecord::stored)
            << type;
        const std::string expected =
            std::string("{\"amt\":1500,\"mt\":150,\"repeat\":0,\"reply\":0,"
                        "\"sentcount\":1,\"stan\":12,"
                        "\"tt\":\"20240131235959\",\"type\":\"") +
            type + "-\"}";
        EXPECT_EQ(store.calls(), std::vector<Call>({{"SetVariable", "REVERSAL_DATA", expected}}));
    }
}

TEST_F(PersistedRecordsTest, OtherKindsAreNotStored) {
    for (const char* type : {"O", "Q", "R", "A+", "", "P-", "p", "PP", " P"}) {
        EXPECT_EQ(storeReversal(store.bridge, purchaseRequest(type)), ReversalRecord::notNeeded)
            << '"' << type << '"';
    }
    GatewayRequest untyped = purchaseRequest("P");
    untyped.type.reset();
    EXPECT_EQ(storeReversal(store.bridge, untyped), ReversalRecord::notNeeded);
    EXPECT_TRUE(store.host.requests().empty());
}

TEST_F(PersistedRecordsTest, ReversalRecordReadsBackAsTheRequestWithMarkedType) {
    GatewayRequest request = purchaseRequest("P");
    request.basket = R"({"items":[{"sku":"A1","qty":2}]})";
    request.staffcode = "07";
    request.ref = "REF \"quoted\" \\ back";
    std::string latin1;
    for (int byte = 128; byte <= 255; ++byte) {
        latin1.push_back(static_cast<char>(byte));
    }
    request.staffname = "Jos" + latin1;
    ASSERT_EQ(storeReversal(store.bridge, request), ReversalRecord::stored);

    const std::string& stored = store.variables["REVERSAL_DATA"];
    EXPECT_NE(stored.find("\"staffname\":\"Jos" + latin1 + "\""), std::string::npos);

    GatewayRequest readBack;
    ASSERT_TRUE(fromJson(stored, readBack));
    GatewayRequest expected = request;
    expected.type = "P-";
    expected.basket = R"({"items":[{"qty":2,"sku":"A1"}]})";
    EXPECT_TRUE(readBack == expected);
    EXPECT_EQ(readBack.staffname.value_or(""), "Jos" + latin1);
}

TEST_F(PersistedRecordsTest, ClearReversalEmptiesTheRecord) {
    ASSERT_EQ(storeReversal(store.bridge, purchaseRequest("N")), ReversalRecord::stored);
    ASSERT_FALSE(store.variables["REVERSAL_DATA"].empty());
    store.host.clear();
    clearReversal(store.bridge);
    EXPECT_EQ(store.calls(), std::vector<Call>({{"SetVariable", "REVERSAL_DATA", ""}}));
    EXPECT_EQ(store.variables["REVERSAL_DATA"], "");
}

} // namespace
