// A host variable store for configuration tests: a RecordingHost that answers
// GetVariable and GetLaneInfoVariable from two maps (a missing name gets a
// reply without Var_result) and keeps every SetVariable.
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "host/host_bridge.h"
#include "tests/support/recording_host.h"

class HostVariableStore {
  public:
    std::map<std::string, std::string> variables;
    std::map<std::string, std::string> laneInfo;
    RecordingHost host;
    HostBridge bridge;

    HostVariableStore() {
        host.connect(bridge);
        host.respondWith([this](const RecordingHost::Request& request) { return answer(request); });
    }

    // (method, VariableName, Default or Value) of every request, in order.
    using Call = std::tuple<std::string, std::string, std::string>;
    std::vector<Call> calls() const {
        std::vector<Call> made;
        for (const RecordingHost::Request& request : host.requests()) {
            const xmlNode& element = request.element();
            const std::string second = element.findChild("Value") >= 0
                                           ? element.getChildText("Value", "")
                                           : element.getChildText("Default", "");
            made.emplace_back(element.name, element.getChildText("VariableName", ""), second);
        }
        return made;
    }

  private:
    RecordingHost::Answer answer(const RecordingHost::Request& request) {
        const xmlNode& element = request.element();
        const std::string name = element.getChildText("VariableName", "");
        if (element.name == "SetVariable") {
            variables[name] = element.getChildText("Value", "");
            return {};
        }
        const auto& source = element.name == "GetLaneInfoVariable" ? laneInfo : variables;
        const auto found = source.find(name);
        RecordingHost::Parameters parameters;
        if (found != source.end()) {
            parameters.emplace_back("Var_result", found->second);
        }
        return {0, RecordingHost::eventReply(element.name, parameters)};
    }
};
