// The journal record: one fixed-layout line per finished payment or refund
// and per accepted reversal, handed to the host's journal with AddJournal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct GatewayTransaction;
class HostBridge;
class Settings;

// What the record describes: an ordinary payment or refund, or a reversal.
enum class JournalKind { transaction, reversal };

// The names the record carries besides the transaction itself.
struct JournalNames {
    std::string applicationName;   // "Klarna"
    std::string merchantNumber;    // "70"
    std::string terminalReference; // Settings::terminalReference()
};

// The extension's own names ("Klarna", "70") and the terminal reference of
// the settings as they stand now.
JournalNames klarnaJournalNames(const Settings& settings);

// The text cut to its first width characters, or filled on the right with
// fill up to width.
std::string fitText(const std::string& text, std::size_t width, char fill);

// The 27 fields concatenated. A request without `type` first gets the POS
// request's TxnType (or "P") written into it, which is why the transaction
// is not const.
std::string buildJournalRecord(GatewayTransaction& transaction, JournalKind kind,
                               const JournalNames& names);

// Builds the record and sends it with AddJournal; returns the host's result.
std::int32_t writeJournal(HostBridge& bridge, GatewayTransaction& transaction, JournalKind kind,
                          const JournalNames& names);
