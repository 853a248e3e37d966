// One exchange with the payment gateway: the request that started it, the
// gateway message being sent and its reply, the outcome, the timing and the
// callbacks that carry the flow on. The extension owns two of them, the
// foreground one (payments and refunds) and the background one (logon and
// reversal).
#pragma once

#include <cstdint>
#include <functional>

#include "documents/gateway_message.h"
#include "documents/xml_node.h"
#include "gateway/response_info.h"
#include "platform/platform.h"

// Run once when the exchange finishes.
using CompletionCallback = std::function<void()>;
// Run after a reply or error result has been recorded: true when the flow has
// taken over (it sent the next message or waits for an event), false when the
// exchange is finished.
using ReplyCallback = std::function<bool()>;

struct GatewayTransaction {
    std::uint32_t startTick = 0;   // tick count at beginTransaction
    platform::WallClock startTime; // local and UTC calendar time at beginTransaction
    xmlNode posRequest;            // copy of the request that started the exchange
    xmlNode result;                // becomes the TransactionEvent
    GatewayRequest request;        // filled by the flows, serialised on every send
    GatewayReply reply;            // parsed from the gateway's answer
    ResponseInfo response;         // the outcome of the exchange
    bool inProgress = false;
    bool finished = false;
    std::uint64_t sentAt = 0;     // monotonic ns right before the hand-over to the host
    std::int64_t elapsedMs = 0;   // last send to reply arrival; 0 until a reply
    std::int32_t messageType = 0; // MsgType of the outgoing message
    std::int32_t windowLow = 0;   // lowest MTYPE accepted as the reply
    std::int32_t windowHigh = 0;  // highest MTYPE accepted as the reply
    std::int32_t timeout = -1;    // seconds for the host; -1: the TIMEOUT_RESPONSE setting
    bool reversalStored = false;  // the last send stored a pending reversal
    bool awaitingReply = false;   // sent and no reply taken yet
    bool resultChanged = false;   // the outcome changed after the result step began
    CompletionCallback completion;
    ReplyCallback replyCallback;

    // False when already in progress. Otherwise starts a fresh exchange for
    // posRequest: every field reset, the clocks read, both callbacks dropped.
    bool beginTransaction(const xmlNode& request);
    // Finishes the exchange once: runs the completion callback (which then
    // owns clearing inProgress) or, without one, clears inProgress. Does
    // nothing when not in progress or already finished.
    void completeTransaction();
};
