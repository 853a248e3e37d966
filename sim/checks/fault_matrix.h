// Generated scenarios: every gateway exchange of a purchase (QR and SMS), a
// refund, a logon and a reversal, each under every fault the simulated
// gateway and host can inject; and restarts of the module (and of the
// simulator with its store file) at every step of a QR purchase. Each one
// ends with a clean sale that must be approved.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sim/checks/ledger.h"
#include "sim/scenario/case_report.h"
#include "sim/scenario/scenario_runner.h"

namespace sim {

// The checks of a finished run; each failure is added to the report.
using MatrixChecks = std::function<void(const RunRecord&, const VariableStore&,
                                        const RunObservations&, std::vector<std::string>&)>;

struct MatrixCase {
    std::string name;
    std::string text; // the scenario, in the scenario language
    // A second run on the same store file, as a restarted simulator; empty:
    // one run only.
    std::string afterRestartText;
    bool restarts = false; // the module is restarted on purpose mid-sale
    MatrixChecks checks;   // empty: checkMatrixOutcome
};

// The generated cases' building blocks: the set-up of a terminal ready for
// the flow (the customer pays every link shown, gives a phone number when
// asked), its first sale, and the clean sale every case ends with.
// The reversal flow's terminal starts owing the reversal of an earlier
// order, matrixOwedOrder.
enum class MatrixFlow { qrPurchase, smsPurchase, refund, logon, reversal };
extern const char* const matrixOwedOrder;
std::string matrixHeader(const std::string& name, MatrixFlow flow);
std::string matrixFirstSale(MatrixFlow flow);
std::string matrixClosingSale(const std::string& at);

// The fault cases, then the restart cases.
std::vector<MatrixCase> faultMatrixCases();
// Restart cases at each request the module sends during a clean QR
// purchase; requestNames is that run's sequence of requests, the first
// startupRequests of them made during Startup (no restart follows those).
std::vector<MatrixCase> restartCases(const std::vector<std::string>& requestNames,
                                     std::size_t startupRequests);
std::vector<MatrixCase> storeFileRestartCases();

// What every matrix run must show on top of the invariants: one result per
// sale, each result's code true to what the gateway did, the last sale
// approved, no reversal left pending, and readable records.
void checkMatrixOutcome(const RunRecord& record, const VariableStore& store,
                        const RunObservations& seen, std::vector<std::string>& failures);
// Runs every case whose name holds filter (any case; empty: all of them)
// and hands each one's report to sink.
void runFaultMatrix(const RunSettings& settings, const std::string& filter, CaseSink& sink);
// Names the cases.
void listFaultMatrix(std::ostream& out);
// Runs the cases whose name holds filter, each reported under suite.
void runMatrixCases(const char* suite, const std::vector<MatrixCase>& cases,
                    const RunSettings& settings, const std::string& filter, CaseSink& sink);

} // namespace sim
