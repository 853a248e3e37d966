// The ledger: after a run, the gateway's book (what money it took, paid back
// and gave back) and the POS's book (the results, receipts, records and
// screens the module produced) are reconciled. Beside the invariants
// (reversal cover, one result per transaction) it holds four rules:
//   money          every capture or refund the gateway made is reported
//                  approved by its transaction, or undone, or still covered by
//                  REVERSAL_DATA; a refund is paid once per transaction; every
//                  result told approved has its money at the gateway, for that
//                  amount and currency;
//   one story      the TransactionEvent, LAST_TXN written with it, the journal
//                  record, the printed receipt and the last result screen give
//                  one response code and one amount;
//   brackets       StartSession and EndSession, DllStartTransaction and
//                  DllEndTransaction pair up, never two open; nothing of a
//                  transaction (screen, print, key wait, gateway message, last
//                  records) comes after its result;
//   nothing lost   LAST_TXN and LAST_RECEIPT are emptied only by a transaction
//                  that writes new ones or ends with a result; the records the
//                  host keeps have their shape at the end and at each restart.
// Each failure is one line: "ledger: WHICH: RULE: what differed".
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/checks/invariants.h"
#include "sim/host/run_record.h"

namespace sim {

// store: the host variables at the end of the run.
std::vector<std::string> checkLedger(const RunRecord& record,
                                     const std::map<std::string, std::string>& store,
                                     const RunObservations& seen);

// The records a restart may find: REVERSAL_DATA a JSON reversal, LAST_TXN a
// TransactionEvent, LAST_RECEIPT and RECEIPT_DUPLICATE receipt texts; empty
// is fine. when says where they were read ("at the end").
void checkStoredRecords(const std::map<std::string, std::string>& variables,
                        const std::string& when, std::vector<std::string>& failures);

} // namespace sim
