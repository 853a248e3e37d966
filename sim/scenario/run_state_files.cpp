// The files a run keeps its state in: the host's variable store and, beside
// it, the simulated gateway's tokens, sessions, orders and refunds, so that
// a simulator started again on the same store carries on where it stopped;
// and the recording of an interactive session.
#include "sim/cli/text_files.h"
#include "sim/gateway/gateway_state.h"
#include "sim/scenario/scenario_run.h"

namespace sim {

bool ScenarioRun::attachStoreFiles(RunReport& report) {
    const std::string& path = settings_.storePath;
    if (path.empty()) {
        return true;
    }
    std::string error;
    GatewayState state;
    if (!store_.attachFile(path, error, settings_.readOnlyStore) ||
        !readGatewayState(gatewayStatePath(path), state, error)) {
        report.failures.push_back(plainFailure("file", scenario_.file, error));
        report.badInput = true;
        return false;
    }
    host_.gateway().restore(state);
    if (settings_.readOnlyStore) {
        return true;
    }
    host_.gateway().setOnChange([this] {
        std::string trouble;
        if (!writeGatewayState(gatewayStatePath(settings_.storePath), host_.gateway().state(),
                               trouble) &&
            !gatewayFileFailed_) {
            gatewayFileFailed_ = true;
            transcript_.line(Level::quiet, "host", trouble);
            record_.problems.push_back(trouble);
        }
    });
    return true;
}

void ScenarioRun::beginRecording() {
    if (settings_.recordPath.empty()) {
        return;
    }
    std::string base;
    if (scenario_.file != "(interactive)" && !readTextFile(nativePath(scenario_.file), base)) {
        base.clear();
    }
    recorder_.begin(store_.all(), host_.gateway().state(), base);
}

void ScenarioRun::endRecording(RunReport& report) {
    if (settings_.recordPath.empty()) {
        return;
    }
    std::string error;
    if (!writeTextFile(settings_.recordPath, recorder_.text(record_, store_.all()), error)) {
        report.failures.push_back(plainFailure("output", scenario_.file, error));
        return;
    }
    out_ << "recorded to " << settings_.recordPath << " (replay: klarna-sim -m MODULE "
         << settings_.recordPath << ")\n";
}

} // namespace sim
