// klarna-sim: loads the module as a host client does and plays the host.
#include <iostream>

#include "klarna_version.h"
#include "sim/checks/fault_matrix.h"
#include "sim/checks/host_fault_matrix.h"
#include "sim/cli/cli_options.h"
#include "sim/cli/text_files.h"
#include "sim/host/module_loader.h"
#include "sim/host/qr_render.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/scenario_runner.h"

namespace {

struct Loaded {
    sim::Scenario scenario;
    bool ok = false;
};

std::vector<Loaded> loadScenarios(const sim::CliOptions& options, bool& fileErrors) {
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
        Loaded one;
        std::string text;
        std::vector<sim::ParseError> errors;
        if (!sim::readTextFile(sim::nativePath(path), text)) {
            std::cerr << path << ": cannot read the file\n";
        } else {
            one.ok = sim::parseScenario(path, text, one.scenario, errors);
        }
        for (const sim::ParseError& error : errors) {
            std::cerr << error.text() << '\n';
        }
        fileErrors = fileErrors || !one.ok;
        one.scenario.file = path;
        loaded.push_back(one);
    }
    return loaded;
}

int runAll(const sim::CliOptions& options, std::vector<Loaded>& loaded, bool fileErrors) {
    int failed = 0;
    bool unloadable = false;
    for (Loaded& one : loaded) {
        if (!one.ok) {
            std::cout << "ERROR " << one.scenario.file << " (not run: the file has errors)\n";
            continue;
        }
        const sim::RunReport report = sim::runScenario(one.scenario, options.run);
        for (const std::string& failure : report.failures) {
            std::cout << "  " << failure << '\n';
        }
        const std::string title = one.scenario.name.empty() ? "" : " - " + one.scenario.name;
        std::cout << (report.passed() ? "PASS  " : "FAIL  ") << one.scenario.file << title << '\n';
        failed += report.passed() ? 0 : 1;
        unloadable = unloadable || !report.ran;
    }
    if (loaded.size() > 1) {
        std::cout << loaded.size() - static_cast<std::size_t>(failed) << " of " << loaded.size()
                  << " scenarios passed\n";
    }
    if (unloadable) {
        return 3;
    }
    if (fileErrors) {
        return 2;
    }
    return failed > 0 ? 1 : 0;
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
    if (options.faultMatrix) {
        return sim::runFaultMatrix(options.run, options.listOnly, std::cout);
    }
    if (!options.hostFaultMatrix.empty()) {
        std::vector<sim::HostMatrixPart> parts;
        for (const std::string& part : options.hostFaultMatrix) {
            parts.push_back(part == "events"  ? sim::HostMatrixPart::events
                            : part == "doors" ? sim::HostMatrixPart::doors
                                              : sim::HostMatrixPart::requests);
        }
        return sim::runHostFaultMatrix(options.run, parts, options.listOnly, std::cout);
    }
    bool fileErrors = false;
    std::vector<Loaded> loaded = loadScenarios(options, fileErrors);
    if (options.checkOnly) {
        return fileErrors ? 2 : 0;
    }
    if (options.run.interactive) {
        if (loaded.size() > 1 || (!loaded.empty() && !loaded.front().ok)) {
            std::cerr << "klarna-sim: the interactive mode takes at most one good scenario file\n";
            return 2;
        }
        if (options.scenarios.empty()) {
            loaded.front().scenario = sim::Scenario();
            loaded.front().scenario.file = "(interactive)";
        }
    }
    return runAll(options, loaded, fileErrors);
}
