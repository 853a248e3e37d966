// The module run in the simulator's process: start-up through the fields,
// a fresh module on every load, and the end-to-end scenarios giving the same
// verdicts as with the loaded library.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>

#include "host/module_state.h"
#include "sim/host/in_process_module.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/scenario_runner.h"

#ifndef KLARNA_SCENARIO_DIR
#error KLARNA_SCENARIO_DIR names the folder of the end-to-end scenarios
#endif

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

sim::RunReport runText(const std::string& file, const std::string& text,
                       sim::InProcessModule& module) {
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_TRUE(sim::parseScenario(file, text, scenario, errors)) << file;
    std::ostringstream out;
    sim::RunSettings settings;
    settings.module = &module;
    settings.out = &out;
    settings.level = sim::Level::quiet;
    return sim::runScenario(scenario, settings);
}

std::string failures(const sim::RunReport& report) {
    std::string all;
    for (const sim::Failure& failure : report.failures) {
        all += failure.text() + "\n";
    }
    return all;
}

// A host that answers every request with an empty reply.
std::int32_t KLARNA_CALL silentHost(std::uint32_t, const char*, std::int32_t, char*,
                                    std::int32_t* replyLength) {
    *replyLength = 0;
    return 0;
}

const char* const qrPurchase = R"(
var TERMINAL_REF_NUM "TERM0001"
var TOKEN "TOK7"
gateway accept-token TOK7
at 1s pinpad-online 1
at 2s pos TxnType=P AmtPurchase=1250 CurrencyCode=AUD TxnRef=POS0001
on qr after 2s customer pays
expect gateway-kinds O N P
expect result ResponseCode=00 Success=1 TxnRef=POS0001
expect var REVERSAL_DATA=""
)";

TEST(InProcessModule, StartsWithTheHostCallbackAndWritesItsVersion) {
    sim::InProcessModule module(&silentHost, 7);
    std::string error;
    ASSERT_TRUE(module.load(error));
    sim::StartupRecord record;
    EXPECT_EQ(module.startup(record), 0);
    EXPECT_EQ(record.versionWritten().substr(0, 7), "1.0.0.0");
    EXPECT_EQ(record.versionWritten()[7], '#'); // nothing written past the version
    EXPECT_EQ(moduleState().bridge.hostContext, 7u);
    EXPECT_EQ(module.startup(record), -1); // already started
    EXPECT_EQ(module.shutdown(), 0);
    EXPECT_EQ(module.startup(record), 0); // started again after Shutdown
    EXPECT_EQ(module.shutdown(), 0);
}

TEST(InProcessModule, WithoutACallbackStartupFails) {
    sim::InProcessModule module(nullptr, 7);
    std::string error;
    ASSERT_TRUE(module.load(error));
    sim::StartupRecord record;
    EXPECT_EQ(module.startup(record), -9);
    EXPECT_EQ(record.versionWritten().substr(0, 7), "#######");
}

TEST(InProcessModule, LoadingGivesAFreshModule) {
    sim::InProcessModule module(&silentHost, 7);
    std::string error;
    ASSERT_TRUE(module.load(error));
    sim::StartupRecord record;
    ASSERT_EQ(module.startup(record), 0);
    moduleState().extension.rotatingTid = "LEFTOVER";
    ASSERT_FALSE(moduleState().bridge.handlers.empty());
    ASSERT_TRUE(module.load(error));
    EXPECT_FALSE(moduleState().lifecycle.started);
    EXPECT_TRUE(moduleState().bridge.handlers.empty());
    EXPECT_TRUE(moduleState().extension.rotatingTid.empty());
    EXPECT_EQ(&moduleState().extension.bridge, &moduleState().bridge);
    EXPECT_EQ(module.startup(record), 0);
    EXPECT_EQ(module.shutdown(), 0);
}

TEST(InProcessModule, RunsAQrPurchaseScenarioTwiceInARow) {
    sim::InProcessModule module;
    for (int run = 0; run < 2; ++run) {
        const sim::RunReport report = runText("qr.scenario", qrPurchase, module);
        EXPECT_TRUE(report.passed()) << "run " << run << ":\n" << failures(report);
    }
}

TEST(InProcessModule, AFailedExpectationIsReported) {
    sim::InProcessModule module;
    const sim::RunReport report =
        runText("qr.scenario", std::string(qrPurchase) + "expect result ResponseCode=05\n", module);
    EXPECT_TRUE(report.ran);
    EXPECT_FALSE(report.passed());
}

// In process the module's wall clock is the virtual clock on the run's
// calendar (here ten hours east of UTC): its local dates, its UTC send times
// and the gateway's payment time tell the same time.
TEST(InProcessModule, TheModulesClockIsTheRunsVirtualClock) {
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    ASSERT_TRUE(sim::parseScenario("clock.scenario", std::string(qrPurchase) + R"(
expect result Date=010124 Time=200002
expect gateway O date=01012024 time=200002 tt=20240101100002 tzd=600
expect gateway P tt=20240101100004
expect receipt line="01/01/24 20:00:02 000003" line="2024-01-01 20:00:04"
)",
                                   scenario, errors));
    sim::InProcessModule module;
    std::ostringstream out;
    sim::RunSettings settings;
    settings.module = &module;
    settings.out = &out;
    settings.level = sim::Level::quiet;
    settings.calendar = sim::VirtualCalendar(1704103200, 600); // 2024-01-01 10:00:00 UTC
    const sim::RunReport report = sim::runScenario(scenario, settings);
    EXPECT_TRUE(report.passed()) << failures(report);
}

// Scenarios that read the 32-bit startup record itself (sizes, null fields,
// addresses): in this process the callback and texts are given directly.
const std::set<std::string> needsTheRecord = {"startup_record.scenario"};

TEST(InProcessModule, EveryEndToEndScenarioPasses) {
    DIR* folder = opendir(KLARNA_SCENARIO_DIR);
    ASSERT_NE(folder, nullptr);
    std::vector<std::string> names;
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() > 9 && name.substr(name.size() - 9) == ".scenario" &&
            needsTheRecord.count(name) == 0) {
            names.push_back(name);
        }
    }
    closedir(folder);
    ASSERT_GT(names.size(), 30u);
    sim::InProcessModule module;
    for (const std::string& name : names) {
        const std::string path = std::string(KLARNA_SCENARIO_DIR) + "/" + name;
        const sim::RunReport report = runText(path, readFile(path), module);
        EXPECT_TRUE(report.passed()) << failures(report);
    }
}

} // namespace
