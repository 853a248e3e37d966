#include "gateway/gateway_transaction.h"

bool GatewayTransaction::beginTransaction(const xmlNode& startingRequest) {
    if (inProgress) {
        return false;
    }
    inProgress = true;
    finished = false;
    startTime = platform::wallClock();
    startTick = platform::tickCount();
    elapsedMs = 0;
    posRequest = startingRequest;
    result = xmlNode();
    request = GatewayRequest();
    reply = GatewayReply();
    response.clear();
    messageType = 0;
    windowLow = 0;
    windowHigh = 0;
    timeout = -1;
    reversalStored = false;
    awaitingReply = false;
    resultChanged = false;
    completion = nullptr;
    replyCallback = nullptr;
    return true;
}

void GatewayTransaction::completeTransaction() {
    if (!inProgress || finished) {
        return;
    }
    finished = true;
    if (completion) {
        // The callback owns clearing inProgress; a copy keeps it alive even
        // when it replaces the stored callback while it runs.
        CompletionCallback callback = completion;
        callback();
        return;
    }
    inProgress = false;
}
