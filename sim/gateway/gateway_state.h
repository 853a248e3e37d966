// What the simulated gateway remembers between messages: the tokens it
// issued, its payment sessions and orders, the refunds it answered, the
// reversals it took and the number its next id takes. Kept beside the host's
// store file (FILE.gateway) so that a restarted simulator still knows them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

struct GatewaySession {
    std::string paysid;
    std::string hppsid;
    std::string status = "WAITING"; // WAITING, IN_PROGRESS, COMPLETED, CANCELLED, REVERSED
    std::string orderid;
    std::int64_t amount = 0;
    std::string currency;
    std::string phone;
    bool smsSent = false;
};

struct GatewayOrder {
    std::string orderid;
    std::int64_t amount = 0;
    std::string currency;
    bool captured = false;
    bool reversed = false;
    std::int64_t refunded = 0;
    std::string txref;
};

struct GatewayState {
    std::vector<std::string> tokens;
    std::vector<GatewaySession> sessions;
    std::map<std::string, GatewayOrder> orders;
    std::map<std::string, nlohmann::json> refunds; // answers by "uid:stan", for repeats
    std::vector<std::string> reversals;
    int counter = 0; // the number of the last token, session, order or refund id
};

// The gateway's file beside a store file.
std::string gatewayStatePath(const std::string& storePath);

// One record per line, each a JSON object with one member: "counter",
// "token", "session", "order", "refund" or "reversal". A missing file is an
// empty gateway. False with "FILE:LINE: what is wrong (what would be right)".
bool readGatewayState(const std::string& path, GatewayState& state, std::string& error);
bool writeGatewayState(const std::string& path, const GatewayState& state, std::string& error);

} // namespace sim
