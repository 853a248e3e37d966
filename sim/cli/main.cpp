// klarna-sim: loads the module as a host client does and plays the host.
#include <ctime>
#include <iostream>

#include "klarna_version.h"
#include "sim/checks/fault_matrix.h"
#include "sim/checks/host_fault_matrix.h"
#include "sim/cli/cli_options.h"
#include "sim/cli/reports.h"
#include "sim/cli/text_files.h"
#include "sim/host/in_process_module.h"
#include "sim/host/module_loader.h"
#include "sim/host/qr_render.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/scenario_runner.h"

namespace {

const char* const filesSuite = "scenarios";

struct Loaded {
    sim::Scenario scenario;
    bool ok = false;
    std::vector<sim::Failure> errors; // why the file cannot be run
};

Loaded loadScenario(const std::string& path) {
    Loaded one;
    std::string text;
    std::vector<sim::ParseError> errors;
    if (!sim::readTextFile(sim::nativePath(path), text)) {
        one.errors.push_back(sim::plainFailure("file", path, "cannot read the file"));
    } else {
        one.ok = sim::parseScenario(path, text, one.scenario, errors);
    }
    for (const sim::ParseError& error : errors) {
        one.errors.push_back(sim::plainFailure(
            "file", error.file + ":" + std::to_string(error.line), error.message));
    }
    one.scenario.file = path;
    return one;
}

// The named files (or the demonstration) that the filter picks.
std::vector<Loaded> loadScenarios(const sim::CliOptions& options) {
    std::vector<Loaded> loaded;
    if (options.scenarios.empty()) {
        Loaded demo;
        std::vector<sim::ParseError> errors;
        demo.ok =
            sim::parseScenario("(demonstration)", sim::demoScenarioText(), demo.scenario, errors);
        loaded.push_back(demo);
        return loaded;
    }
    for (const std::string& path : options.scenarios) {
        Loaded one = loadScenario(path);
        if (sim::caseSelected(options.filter, one.scenario.name, path)) {
            loaded.push_back(one);
        }
    }
    return loaded;
}

void runAll(const sim::CliOptions& options, std::vector<Loaded>& loaded, sim::CaseSink& sink) {
    for (Loaded& one : loaded) {
        const std::string& file = one.scenario.file;
        if (!one.ok) {
            sink.caseDone(sim::errorCase(filesSuite, one.scenario.name, file, one.errors));
            continue;
        }
        const sim::Stopwatch watch;
        const sim::RunReport report = sim::runScenario(one.scenario, options.run);
        sink.caseDone(
            sim::caseFromRuns(filesSuite, one.scenario.name, file, {report}, watch.seconds()));
    }
}

// Every file the run will write: made now when missing, so that one that
// cannot be written stops the run before it starts.
bool outputsWritable(const sim::CliOptions& options, std::ostream& err) {
    const std::string none;
    const std::pair<const char*, const std::string*> outputs[] = {
        // A read-only store is only read.
        {"--store", options.run.readOnlyStore ? &none : &options.run.storePath},
        {"--journal", &options.run.journalPath},
        {"--receipts", &options.run.receiptsPath},
        {"--junit", &options.junitPath},
        {"--json", &options.jsonPath},
        {"--record", &options.run.recordPath}};
    bool ok = true;
    for (const auto& output : outputs) {
        std::string error;
        if (!output.second->empty() && !sim::checkWritable(*output.second, error)) {
            err << "klarna-sim: " << output.first << ": " << error << '\n';
            ok = false;
        }
    }
    return ok;
}

sim::ReportOptions reportOptions(const sim::CliOptions& options) {
    sim::ReportOptions report;
    report.junitPath = sim::nativePath(options.junitPath);
    report.jsonPath = sim::nativePath(options.jsonPath);
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "1970-01-01T00:00:00";
    if (const std::tm* local = std::localtime(&now)) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", local);
    }
    report.context.timestamp = stamp;
    // Wall-clock times would make two runs that are to be compared differ.
    report.showTimes = !options.inProcess;
    report.context.properties = {
        {"klarna-sim", KLARNA_VERSION_TEXT},
        {"module", options.inProcess ? std::string("(in process)") : options.run.modulePath}};
    if (options.inProcess) {
        report.context.properties.emplace_back("seed", std::to_string(options.run.seed));
    }
    if (!options.filter.empty()) {
        report.context.properties.emplace_back("filter", options.filter);
    }
    return report;
}

std::vector<sim::HostMatrixPart> hostMatrixParts(const sim::CliOptions& options) {
    std::vector<sim::HostMatrixPart> parts;
    for (const std::string& part : options.hostFaultMatrix) {
        parts.push_back(part == "events"  ? sim::HostMatrixPart::events
                        : part == "doors" ? sim::HostMatrixPart::doors
                                          : sim::HostMatrixPart::requests);
    }
    return parts;
}

} // namespace

int main(int argc, char** argv) {
    sim::CliOptions options;
    std::string error;
    if (!sim::parseCommandLine(argc, argv, options, error)) {
        std::cerr << "klarna-sim: " << error << " (see klarna-sim --help)\n";
        return 2;
    }
    if (options.help) {
        std::cout << sim::usageText();
        return 0;
    }
    if (options.helpScenario) {
        std::cout << sim::scenarioLanguageText();
        return 0;
    }
    if (options.version) {
        std::cout << "klarna-sim " << KLARNA_VERSION_TEXT << '\n';
        return 0;
    }
    options.run.out = &std::cout;
    options.run.input = &std::cin;
    const bool terminal = sim::outputIsTerminal();
    options.run.qrStyle = options.noQr || !sim::qrCodesAvailable() ? sim::QrStyle::text
                          : terminal                               ? sim::QrStyle::ansi
                                                                   : sim::QrStyle::plain;
    options.run.storePath = sim::nativePath(options.run.storePath);
    options.run.journalPath = sim::nativePath(options.run.journalPath);
    options.run.receiptsPath = sim::nativePath(options.run.receiptsPath);
    options.run.recordPath = sim::nativePath(options.run.recordPath);
    if (!options.checkOnly && !outputsWritable(options, std::cerr)) {
        return 2;
    }
    // In process the module's clock is the virtual one on a fixed calendar;
    // a loaded module reads the machine's, so the gateway's times start from
    // the machine's too.
    sim::InProcessModule inProcess;
    if (options.inProcess) {
        options.run.module = &inProcess;
    } else {
        options.run.calendar = sim::VirtualCalendar::machineNow();
    }
    if (options.listOnly && options.faultMatrix) {
        sim::listFaultMatrix(std::cout);
        return 0;
    }
    if (options.listOnly) {
        sim::listHostFaultMatrix(options.run, hostMatrixParts(options), std::cout);
        return 0;
    }
    sim::Reporter reporter(std::cout, reportOptions(options));
    if (options.faultMatrix || !options.hostFaultMatrix.empty()) {
        // Files named beside a matrix run first, into the same report: one
        // program start for both (under Wine each start costs a minute).
        std::vector<Loaded> loaded = loadScenarios(options);
        runAll(options, loaded, reporter);
        if (options.faultMatrix) {
            sim::runFaultMatrix(options.run, options.filter, reporter);
        } else {
            sim::runHostFaultMatrix(options.run, hostMatrixParts(options), options.filter,
                                    reporter);
        }
    } else {
        std::vector<Loaded> loaded = loadScenarios(options);
        if (options.checkOnly) {
            int status = 0;
            if (loaded.empty() && !options.filter.empty()) {
                std::cerr << "klarna-sim: no scenario matches --filter \"" << options.filter
                          << "\"\n";
                status = 2;
            }
            for (const Loaded& one : loaded) {
                for (const sim::Failure& why : one.errors) {
                    std::cerr << why.headline() << '\n';
                    status = 2;
                }
            }
            return status;
        }
        if (options.run.interactive) {
            if (loaded.size() > 1 || (!loaded.empty() && !loaded.front().ok)) {
                std::cerr
                    << "klarna-sim: the interactive mode takes at most one good scenario file\n";
                return 2;
            }
            if (options.scenarios.empty()) {
                loaded.front().scenario = sim::Scenario();
                loaded.front().scenario.file = "(interactive)";
            }
        }
        runAll(options, loaded, reporter);
    }
    if (reporter.cases().empty()) {
        std::cerr << "klarna-sim: no case matches --filter \"" << options.filter << "\"\n";
        return 2;
    }
    return reporter.finish(std::cerr);
}
