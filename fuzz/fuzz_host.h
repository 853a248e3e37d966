// A compact host client in the fuzzer's process: it keeps variables,
// answers the synchronous requests at once (with -181 when the reply does
// not fit the module's buffer), and remembers the events it owes the module
// for the requests that expect one (key waits, menus, input screens, prints,
// gateway messages, the host transaction start). The program decides when
// and how each owed event is answered; normalAnswer and timeoutAnswer give
// the two plain ways. One host is current at a time (the send callback
// carries no object).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "documents/xml_node.h"
#include "host/entry_points.h"
#include "host/module_api.h"
#include "sim/host/run_record.h"

class FuzzHost {
  public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    struct Owed {
        std::string event;            // the event that answers the request
        std::string source;           // VORTAXIS_SOURCE of that event
        xmlNode request;              // the method element as the module sent it
        std::size_t gatewayIndex = 0; // a SendHostMessage: its index in record.gateway
    };

    FuzzHost();
    ~FuzzHost();
    FuzzHost(const FuzzHost&) = delete;
    FuzzHost& operator=(const FuzzHost&) = delete;

    static HostSendCallback callback();
    // The startup record a host gives: full size, this host's callback and
    // name, the version text written into versionBuffer (16 bytes).
    static StartupFields startupFields(char* versionBuffer);
    // True when FUZZ_TRACE is set: requests and deliveries are printed.
    static bool tracing();
    // One line about a message text (its element names and texts).
    static void traceMessage(const char* direction, const std::string& text);

    std::map<std::string, std::string> variables;
    std::vector<Owed> owed; // oldest first
    std::size_t requestCount = 0;
    std::size_t transactionEvents = 0;
    // Told of every TransactionEvent, inside the DllEndTransaction request.
    std::function<void(const xmlNode& event)> onTransactionEvent;
    // Result given to the next requests that the host answers at once
    // (never to those that owe an event), instead of answering them (a
    // SetVariable given a result that is not negative is still made);
    // counts down per request.
    std::int32_t forcedResult = 0;
    int forcedCount = 0;
    // The next requests that owe an event (a print, a screen, a gateway
    // message) are refused with -1 instead, and nothing is owed.
    int refusedOwing = 0;
    // Every request as the host took it, with its result (for the ledger).
    sim::RunRecord record;

    // Message texts as the host delivers them.
    static std::string eventText(const std::string& name, const Fields& fields,
                                 const std::string& source);
    static std::string methodText(const std::string& name, const Fields& fields,
                                  const std::string& source);
    static std::string posTransaction(const Fields& fields);
    static std::string entryPoint(const std::string& name, const Fields& transaction);

    // The approved gateway reply to a request (JSON object), by its type.
    static nlohmann::json approvedReply(const nlohmann::json& request);
    // The request JSON carried by an owed SendHostMessage (null when none).
    static nlohmann::json gatewayRequest(const Owed& owed);
    // HostReceiveEvent with the given host result and gateway text; the
    // MTYPE is the request's MsgType plus 10.
    static std::string hostReceive(const Owed& owed, const std::string& result,
                                   const std::string& message);

    static std::string normalAnswer(const Owed& owed);
    static std::string timeoutAnswer(const Owed& owed);

  private:
    static std::int32_t KLARNA_CALL receive(std::uint32_t hostContext, const char* message,
                                            std::int32_t length, char* replyBuffer,
                                            std::int32_t* replyLength);
    std::int32_t handle(const char* message, std::int32_t length, std::string& reply);
    std::int32_t answer(const xmlNode& method, std::string& reply);
    void owe(const std::string& event, const std::string& source, const xmlNode& request,
             bool replaces);
};
