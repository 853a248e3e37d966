// A host client for the benchmarks, in the same process as the module: it
// keeps variables, answers every request at once (synchronous replies in the
// reply buffer, events queued for delivery after the call returns) and plays
// a gateway that approves every order, wait, purchase and refund.
//
// Work done inside the host is kept out of the module's figures: allocation
// counting pauses while the host runs, and the enter/leave hooks let a
// program toggle callgrind's collection around it.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/module_api.h"

class BenchHost {
  public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    BenchHost();
    ~BenchHost();
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;

    static HostSendCallback callback();
    static void (*onEnter)();
    static void (*onLeave)();

    std::map<std::string, std::string> variables;
    // Event texts waiting to be delivered to the module, oldest first.
    std::deque<std::string> pending;
    std::size_t requestCount = 0;
    // The ResponseCode of the last TransactionEvent handed to DllEndTransaction.
    std::string lastResult;
    bool transactionEnded = false;

    // A POS DoTransaction as the host delivers it.
    static std::string posTransaction(const Fields& fields);
    static std::string eventText(const std::string& name, const Fields& fields, const char* source);
    static std::string methodText(const std::string& name, const Fields& fields,
                                  const char* source);

  private:
    static std::int32_t KLARNA_CALL receive(std::uint32_t hostContext, const char* message,
                                            std::int32_t length, char* replyBuffer,
                                            std::int32_t* replyLength);
    std::int32_t handle(const char* message, std::int32_t length, std::string& reply);
};
