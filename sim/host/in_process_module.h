// The module run inside the simulator's own process: no library is loaded;
// Startup is called with the host's send callback itself (a native 64-bit
// build cannot pass it through the 32-bit startup record), and messages go
// to the module's exported OnReceive_v2 directly. The module's objects are
// process-wide, so only one in-process module runs at a time.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "host/module_api.h"
#include "platform/platform.h"
#include "sim/scenario/scenario_runner.h"

namespace sim {

class InProcessModule : public ModuleInstance {
  public:
    // The host context is taken from the startup record (offset 16), where
    // a run puts its host's context.
    explicit InProcessModule(HostSendCallback callback = HostSim::sendCallback());
    // A fixed host context, for driving a HostSim directly.
    InProcessModule(HostSendCallback callback, std::uint32_t hostContext);

    // Interface version text and host name given at start-up.
    void setVersionText(const std::string& text) { versionText_ = text; }
    void setHostName(const std::string& name) { hostName_ = name; }

    // Loading gives a fresh module, as loading the library again would:
    // the module-wide objects are made anew. Unloading does nothing.
    bool load(std::string& error) override;
    void unload() override {}
    std::int32_t startup(StartupRecord& record) override;
    std::int32_t shutdown() override;
    std::int32_t deliver(const std::string& message, std::int32_t capacity,
                         std::string& reply) override;
    bool readsRecordAddresses() const override { return false; }
    // The module's wall clock, tick count and epoch seconds follow the
    // virtual clock on the calendar; its UUIDs and random numbers come from
    // the seed: two runs of a scenario see the same values.
    void followClock(const EventQueue* clock, const VirtualCalendar& calendar,
                     unsigned seed) override;

  private:
    std::string nextUuid();

    const EventQueue* clock_ = nullptr;
    VirtualCalendar calendar_;
    unsigned seed_ = 1;
    std::mt19937 uuids_;
    std::uint32_t random_ = 1;
    bool following_ = false;
    platform::Seams saved_; // the seams before the run, given back after it

    HostSendCallback callback_;
    bool fixedContext_ = false;
    std::uint32_t hostContext_ = 0;
    std::string versionText_ = "2.0";
    std::string hostName_ = "klarna-sim";
};

// Makes the module-wide objects anew (bridge, extension, lifecycle).
void resetInProcessModule();

} // namespace sim
