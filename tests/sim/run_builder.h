// Hand-made run records for the checks that follow every scenario run: the
// gateway messages the module sent, the messages the host delivered (in the
// shape the simulated host writes them), the requests, results and restarts,
// each placed where the run record stood at that moment.
#pragma once

#include <cstddef>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/checks/invariants.h"
#include "sim/host/run_record.h"
#include "sim/host/sim_xml.h"
#include "sim/host/variable_store.h"

namespace simtest {

using nlohmann::json;

class RunBuilder {
  public:
    sim::RunRecord record;
    sim::RunObservations seen;
    sim::VariableStore store;

    // A SendHostMessage the module made; returns its index in record.gateway.
    std::size_t send(const json& message, int msgType) {
        sim::GatewayMessage sent;
        sent.at = now();
        sent.json = message;
        sent.kind = message.is_object() && message.contains("type") && message["type"].is_string()
                        ? message["type"].get<std::string>()
                        : "?";
        sent.hostRequest = sim::XmlElement{"SendHostMessage", {}, {}};
        sent.hostRequest.add("MsgType", std::to_string(msgType));
        sent.hostRequest.add("Message", message.dump());
        record.gateway.push_back(sent);
        request("SendHostMessage");
        return record.gateway.size() - 1;
    }

    // The gateway's reply as the host delivers it: Result "00", the Header
    // carrying MTYPE, and the reply text.
    void reply(int mtype, const std::string& messageText, const std::string& result = "00") {
        sim::XmlElement event{"HostReceiveEvent", {}, {}};
        event.add("Result", result);
        sim::XmlElement header{"Header", {}, {}};
        header.add("MTYPE", std::to_string(mtype));
        event.add("Header", sim::toXml(header));
        event.add("MTYPE", std::to_string(mtype));
        event.add("Message", messageText);
        deliverEvent(event, 1);
    }
    void reply(int mtype, const json& message) { reply(mtype, message.dump()); }

    // A host failure or time-out: no gateway message at all.
    void hostFailure(const std::string& result = "X0", const std::string& text = "TIMEOUT") {
        sim::XmlElement event{"HostReceiveEvent", {}, {}};
        event.add("Result", result);
        event.add("ResultText", text);
        deliverEvent(event, 1);
    }

    // Any other event the host hands over.
    void deliverEvent(const sim::XmlElement& event, std::int32_t returned) {
        sim::XmlElement root{"VORTAXIS_BRIDGE", {}, {}};
        root.add("VORTAXIS_SOURCE", "VORTAXIS_DLL_HANDLER");
        root.add("VORTAXIS_DESTINATION", "Klarna");
        root.add("VORTAXIS_EVENT").children.push_back(event);
        sim::ObservedDelivery delivery;
        delivery.at = now();
        delivery.name = event.name;
        delivery.text = sim::toXmlDocument(root);
        delivery.returned = returned;
        delivery.requestsBefore = record.requests.size();
        delivery.gatewayBefore = record.gateway.size();
        seen.deliveries.push_back(delivery);
    }
    void deliver(const std::string& name, std::int32_t returned = 1) {
        deliverEvent(sim::XmlElement{name, {}, {}}, returned);
    }

    // The POS asks for a transaction and the module takes it (returned 1).
    void startSale(std::int32_t returned = 1) { deliver("PosDirectEntryPoint", returned); }

    sim::RequestRecord& request(const std::string& name, int startup = 0) {
        sim::RequestRecord made;
        made.at = now();
        made.name = name;
        made.element = sim::XmlElement{name, {}, {}};
        made.startup = startup;
        record.requests.push_back(made);
        return record.requests.back();
    }
    void journal(const std::string& entry = "KLARNA REVERSAL") {
        sim::RequestRecord& made = request("AddJournal");
        made.isEvent = true;
        made.element.add("jnl_entry", entry);
    }
    // The transaction result for the POS: DllEndTransaction carrying a
    // TransactionEvent with that ResponseCode.
    void result(const std::string& code) {
        sim::XmlElement transaction{"TransactionEvent", {}, {}};
        transaction.add("ResponseCode", code);
        transaction.add("Success", code == "00" ? "1" : "0");
        sim::RequestRecord& made = request("DllEndTransaction");
        made.element.add("VORTAXIS_EVENT").children.push_back(transaction);
        record.results.push_back(transaction);
    }

    // The module is unloaded and loaded again; it makes its start-up
    // requests afresh.
    void restart() {
        seen.restartsAtDelivery.push_back(seen.deliveries.size());
        seen.restartsAtRequest.push_back(record.requests.size());
        seen.restartsAtGateway.push_back(record.gateway.size());
        seen.storeAtRestart.push_back(store.all());
        request("EventSubscribe", static_cast<int>(seen.restartsAtRequest.size()) + 1);
    }

  private:
    sim::Millis now() { return clock_ += 100; }
    sim::Millis clock_ = 0;
};

// A gateway message of that type and stan, with extra members.
inline json gatewayJson(const std::string& type, int stan, const json& extra = json::object()) {
    json message = extra;
    message["type"] = type;
    message["stan"] = stan;
    return message;
}

// The gateway's reply to message: type and stan repeated, rc and rt.
inline json replyJson(const json& message, const std::string& rc) {
    json reply = json::object();
    reply["type"] = message["type"];
    reply["stan"] = message["stan"];
    reply["rc"] = rc;
    reply["rt"] = rc == "00" ? "APPROVED" : "DECLINED";
    return reply;
}

// Names each case of a table-driven test after the case's own name.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& param) const {
        return param.param.name;
    }
};

} // namespace simtest
