// One scenario run: the host, the module (loaded from a library or given in
// process), the event loop and the scenario's timeline and rules. The run
// itself is in scenario_runner.cpp; what actions and rules do, in
// scenario_actions.cpp.
#pragma once

#include <iostream>
#include <string>

#include "sim/checks/invariants.h"
#include "sim/cli/interactive.h"
#include "sim/cli/session_recorder.h"
#include "sim/host/module_loader.h"
#include "sim/host/run_record.h"
#include "sim/host/variable_store.h"
#include "sim/scenario/scenario_runner.h"

namespace sim {

class LibraryModule : public ModuleInstance {
  public:
    explicit LibraryModule(const std::string& path) : path_(path) {}
    bool load(std::string& error) override { return loader_.load(path_, error); }
    void unload() override { loader_.unload(); }
    std::int32_t startup(StartupRecord& record) override { return loader_.startup(record); }
    std::int32_t shutdown() override { return loader_.shutdown(); }
    std::int32_t deliver(const std::string& message, std::int32_t capacity,
                         std::string& reply) override {
        return loader_.onReceive(message, capacity, reply);
    }

  private:
    std::string path_;
    ModuleLoader loader_;
};

// The module as the host reaches it, with every delivery noted for the
// invariants.
class ObservedModule : public ModulePort {
  public:
    ObservedModule(ModulePort& module, EventQueue& queue, const RunRecord& record,
                   RunObservations& seen)
        : module_(module), queue_(queue), record_(record), seen_(seen) {}
    std::int32_t deliver(const std::string& message, std::int32_t capacity,
                         std::string& reply) override {
        ObservedDelivery delivery;
        delivery.at = queue_.now();
        delivery.text = message;
        delivery.name = deliveredName(message);
        delivery.requestsBefore = record_.requests.size();
        delivery.gatewayBefore = record_.gateway.size();
        delivery.returned = module_.deliver(message, capacity, reply);
        seen_.deliveries.push_back(delivery);
        return delivery.returned;
    }

  private:
    ModulePort& module_;
    EventQueue& queue_;
    const RunRecord& record_;
    RunObservations& seen_;
};

class ScenarioRun : public HostListener, public ActionPerformer {
  public:
    ScenarioRun(const Scenario& scenario, const RunSettings& settings)
        : scenario_(scenario), settings_(settings),
          out_(settings.out != nullptr ? *settings.out : std::cout),
          transcript_(out_, settings.level), host_(queue_, transcript_, store_, record_),
          library_(settings.modulePath),
          module_(settings.module != nullptr ? *settings.module : library_),
          observed_(module_, queue_, record_, seen_) {
        transcript_.setClock(&queue_);
        transcript_.keepLines(&lines_);
    }

    ~ScenarioRun() override {
        module_.followClock(nullptr, settings_.calendar, settings_.seed);
        queue_.clear();
    }

    RunReport run();

    // ActionPerformer
    bool perform(const Action& action, std::uint64_t target) override;
    HostSim& host() override { return host_; }
    EventQueue& queue() override { return queue_; }
    Transcript& transcript() override { return transcript_; }
    VariableStore& store() override { return store_; }

    // HostListener
    void interactionStarted(const Interaction& interaction) override;
    void gatewayMessage(const std::string& kind) override;
    void requestSeen(const std::string& name) override;

  private:
    bool prepare(RunReport& report);
    // The store file and the gateway's file beside it (run_state_files.cpp).
    bool attachStoreFiles(RunReport& report);
    // --record: the state the session starts from, and the scenario at the end.
    void beginRecording();
    void endRecording(RunReport& report);
    void schedule();
    void loop();
    void startup(const FieldList& options);
    void shutdown();
    void restart();
    void problem(const Action& action, const std::string& text);
    void changeFaults(const Action& action);
    void fire(Rule& rule, std::uint64_t target);
    void report(RunReport& report);

    Scenario scenario_;
    const RunSettings& settings_;
    std::ostream& out_;
    EventQueue queue_;
    Transcript transcript_;
    std::vector<TranscriptLine> lines_; // the transcript at the normal level, for failures
    VariableStore store_;
    RunRecord record_;
    HostSim host_;
    LibraryModule library_;
    ModuleInstance& module_;
    RunObservations seen_;
    ObservedModule observed_;
    bool started_ = false;
    bool stopped_ = false; // a stop action ended the run
    bool gatewayFileFailed_ = false;
    SessionRecorder recorder_;
    std::string versionText_;
    std::string hostName_;
};

} // namespace sim
