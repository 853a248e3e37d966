// Generated scenarios of a host that misbehaves: the event answering each
// request the module waits on is lost, fails, comes twice, comes when nothing
// waits or comes after the next transaction began; the host's asynchronous
// doors (queries, settings, pinpad, timer, other transactions) open at every
// point of a QR purchase, an SMS purchase and a refund; and host requests
// fail (a variable not written or not read, -181 for ever, a print
// refused). Every case ends with a clean sale that must be approved, and the
// ledger clean.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "sim/checks/fault_matrix.h"

namespace sim {

// The parts of the matrix, each a list of generated cases.
enum class HostMatrixPart { events, doors, requests };

// Cases that need no run to generate: every answer event under every fault,
// and stray answers.
std::vector<MatrixCase> hostEventCases();

// The cases generated from clean runs (none when a clean run failed; what
// went wrong is added to errors): every door at every point of a QR
// purchase, an SMS purchase and a refund; each host request of a sale made
// to fail, one at a time.
std::vector<MatrixCase> hostDoorCases(const RunSettings& settings, std::vector<Failure>& errors);
std::vector<MatrixCase> hostRequestCases(const RunSettings& settings, std::vector<Failure>& errors);

// The reversal the terminal owed at the start (matrixOwedOrder) was
// accepted by the gateway, or is still owed.
void checkOwedReversal(const RunRecord& record, const VariableStore& store,
                       const RunObservations& seen, std::vector<std::string>& failures);
// The checks of a host matrix case of the flow (the ledger runs after every
// run): checkMatrixOutcome, and in the reversal flow checkOwedReversal.
MatrixChecks hostMatrixChecks(MatrixFlow flow);

// Names the cases of the parts given (verbose: writes each whole scenario,
// to be saved and run by itself). The door and request cases follow clean
// runs of the module: without one only the event cases are named.
void listHostFaultMatrix(const RunSettings& settings, const std::vector<HostMatrixPart>& parts,
                         std::ostream& out);
// Runs every case of the parts given whose name holds filter and hands each
// one's report to sink.
void runHostFaultMatrix(const RunSettings& settings, const std::vector<HostMatrixPart>& parts,
                        const std::string& filter, CaseSink& sink);

} // namespace sim
