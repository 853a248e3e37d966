#include "sim/gateway/gateway_state.h"

#include <fstream>

namespace sim {

using nlohmann::json;

namespace {

const char* const recordKinds = "counter, token, session, order, refund or reversal";

// Reads one member into value; false when it is there with another type.
bool take(const json& object, const char* key, std::string& value) {
    if (!object.contains(key)) {
        return true;
    }
    if (!object[key].is_string()) {
        return false;
    }
    value = object[key].get<std::string>();
    return true;
}

bool take(const json& object, const char* key, std::int64_t& value) {
    if (!object.contains(key)) {
        return true;
    }
    if (!object[key].is_number_integer()) {
        return false;
    }
    value = object[key].get<std::int64_t>();
    return true;
}

bool take(const json& object, const char* key, bool& value) {
    if (!object.contains(key)) {
        return true;
    }
    if (!object[key].is_boolean()) {
        return false;
    }
    value = object[key].get<bool>();
    return true;
}

json sessionRecord(const GatewaySession& session) {
    return json{{"paysid", session.paysid}, {"hppsid", session.hppsid},
                {"status", session.status}, {"orderid", session.orderid},
                {"amt", session.amount},    {"currency", session.currency},
                {"phone", session.phone},   {"sms", session.smsSent}};
}

json orderRecord(const GatewayOrder& order) {
    return json{{"orderid", order.orderid},   {"amt", order.amount},
                {"currency", order.currency}, {"captured", order.captured},
                {"reversed", order.reversed}, {"refunded", order.refunded},
                {"txref", order.txref}};
}

bool readSession(const json& value, GatewayState& state, std::string& error) {
    GatewaySession session;
    if (!value.is_object() || !take(value, "paysid", session.paysid) ||
        !take(value, "hppsid", session.hppsid) || !take(value, "status", session.status) ||
        !take(value, "orderid", session.orderid) || !take(value, "amt", session.amount) ||
        !take(value, "currency", session.currency) || !take(value, "phone", session.phone) ||
        !take(value, "sms", session.smsSent) || session.hppsid.empty()) {
        error = "a session needs \"hppsid\"; ids and texts are strings, \"amt\" a whole number, "
                "\"sms\" true or false";
        return false;
    }
    state.sessions.push_back(session);
    return true;
}

bool readOrder(const json& value, GatewayState& state, std::string& error) {
    GatewayOrder order;
    if (!value.is_object() || !take(value, "orderid", order.orderid) ||
        !take(value, "amt", order.amount) || !take(value, "currency", order.currency) ||
        !take(value, "captured", order.captured) || !take(value, "reversed", order.reversed) ||
        !take(value, "refunded", order.refunded) || !take(value, "txref", order.txref) ||
        order.orderid.empty()) {
        error = "an order needs \"orderid\"; \"amt\" and \"refunded\" are whole numbers, "
                "\"captured\" and \"reversed\" true or false";
        return false;
    }
    state.orders[order.orderid] = order;
    return true;
}

bool readRecord(const json& record, GatewayState& state, std::string& error) {
    if (!record.is_object() || record.size() != 1) {
        error = std::string("expected an object with one member: ") + recordKinds;
        return false;
    }
    const std::string kind = record.begin().key();
    const json& value = record.begin().value();
    if (kind == "counter" && value.is_number_integer() && value.get<std::int64_t>() >= 0) {
        state.counter = static_cast<int>(value.get<std::int64_t>());
        return true;
    }
    if ((kind == "token" || kind == "reversal") && value.is_string()) {
        (kind == "token" ? state.tokens : state.reversals).push_back(value.get<std::string>());
        return true;
    }
    if (kind == "session") {
        return readSession(value, state, error);
    }
    if (kind == "order") {
        return readOrder(value, state, error);
    }
    if (kind == "refund" && value.is_object() && value.contains("key") &&
        value["key"].is_string() && value.contains("reply") && value["reply"].is_object()) {
        state.refunds[value["key"].get<std::string>()] = value["reply"];
        return true;
    }
    if (kind == "counter" || kind == "token" || kind == "reversal" || kind == "refund") {
        error = kind == "counter"  ? "\"counter\" takes a whole number, 0 or more"
                : kind == "refund" ? "a refund is {\"key\": TEXT, \"reply\": OBJECT}"
                                   : "\"" + kind + "\" takes a string";
        return false;
    }
    error = "unknown record \"" + kind + "\" (expected " + recordKinds + ")";
    return false;
}

std::string recordLine(const char* kind, const json& value) {
    return json{{kind, value}}.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

std::string gatewayStatePath(const std::string& storePath) {
    return storePath + ".gateway";
}

bool readGatewayState(const std::string& path, GatewayState& state, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return true; // nothing kept yet
    }
    GatewayState loaded;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const json record = json::parse(line, nullptr, false);
        std::string why = "not JSON (each line is one JSON object)";
        if (record.is_discarded() || !readRecord(record, loaded, why)) {
            error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
    }
    state = loaded;
    return true;
}

bool writeGatewayState(const std::string& path, const GatewayState& state, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "# klarna-sim gateway state: one JSON record per line\n";
    out << recordLine("counter", state.counter);
    for (const std::string& token : state.tokens) {
        out << recordLine("token", token);
    }
    for (const GatewaySession& session : state.sessions) {
        out << recordLine("session", sessionRecord(session));
    }
    for (const auto& order : state.orders) {
        out << recordLine("order", orderRecord(order.second));
    }
    for (const auto& refund : state.refunds) {
        out << recordLine("refund", json{{"key", refund.first}, {"reply", refund.second}});
    }
    for (const std::string& reversal : state.reversals) {
        out << recordLine("reversal", reversal);
    }
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace sim
