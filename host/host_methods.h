// One synchronous operation per host method. Each builds the request, hands
// it to the host's send callback and, where the host answers with an event
// later, registers the handler for that event. These are the only way the
// rest of the module reaches the host.
#pragma once

#include <cstdint>
#include <string>

#include "documents/xml_node.h"
#include "host/host_bridge.h"

// Result of every request while no send callback is known.
constexpr std::int32_t hostNotConnected = -1;
// Host result meaning "reply buffer too small"; also returned by sendRequest
// when the reply buffer would have to grow past HostBridge::replyCapacityLimit.
constexpr std::int32_t hostReplyTooSmall = -181;

// --- Envelope, send and reply -------------------------------------------

// VORTAXIS_BRIDGE with VORTAXIS_SOURCE and VORTAXIS_DESTINATION, no method.
xmlDoc newEnvelope(const HostBridge& bridge);
// Sends the envelope's text; grows the reply buffer on -181 (up to a ceiling).
std::int32_t sendRequest(HostBridge& bridge, const xmlDoc& envelope);
// The first child of the reply's VORTAXIS_EVENT, or an empty element.
xmlNode readReply(const HostBridge& bridge);

// --- Host methods ------------------------------------------------------

// GetClientRunTimeDiags: the host's MasterGuiName, cached once non-empty.
std::string getClientRunTimeDiags(HostBridge& bridge);
// SendToDLL: forwards request to another host module; reply receives the
// first child of the reply's VORTAXIS_EVENT when there is one.
std::int32_t sendToDll(HostBridge& bridge, const xmlNode& request, xmlNode& reply,
                       const std::string& destination);
void registerForPosDirectEntryPoint(HostBridge& bridge, Handler handler,
                                    const std::string& merchantNumber);
std::int32_t startSession(HostBridge& bridge);
void endSession(HostBridge& bridge);
void cancelCurrentCommand(HostBridge& bridge);
// Registers handler for TimerTrigger, then asks for a 5000 ms timer.
std::int32_t setTimer(HostBridge& bridge, Handler handler);
void displayOnPinpad(HostBridge& bridge, const xmlNode& element);
// The four requests below and DllStartTransaction are answered by an event:
// when the host refuses one (a negative result, -181 given up included),
// no event will come, and the handler is called at once with Result "X2".

// Registers handler for WaitForKeyPressEvent, then sends.
std::int32_t waitForKeyPress(HostBridge& bridge, const xmlNode& element, Handler handler);
// Writes the dialog fields from options (or their defaults) into element
// when options has children, then sends element.
void displayOnPos(HostBridge& bridge, xmlNode& element, const xmlNode& options);
void closePosDisplay(HostBridge& bridge);
// Registers handler for PrintReceiptEvent, then sends.
std::int32_t printReceipt(HostBridge& bridge, const xmlNode& element, Handler handler);
// The host's synchronous reply element (empty when there is none).
xmlNode getPinpadDetails(HostBridge& bridge);
// Registers handler for GetButtonMenuFromPinpadEvent, then sends.
std::int32_t getButtonMenuFromPinpad(HostBridge& bridge, const xmlNode& element, Handler handler);
// Registers handler for GetMultiLineFromPinpadEvent, then sends.
std::int32_t getMultiLineFromPinpad(HostBridge& bridge, const xmlNode& element, Handler handler);
// The host's result (negative: not written).
std::int32_t setVariable(HostBridge& bridge, const std::string& name, const std::string& value);
// Var_result of the reply, or fallback when the reply has no Var_result.
std::string getVariable(HostBridge& bridge, const std::string& name, const std::string& fallback);
// As getVariable; false (value untouched) when the host failed the request
// (a negative result) or wrote no reply at all, so that "no record" and
// "record unreadable" differ.
bool readVariableChecked(HostBridge& bridge, const std::string& name, std::string& value);
std::string getLaneInfoVariable(HostBridge& bridge, const std::string& name,
                                const std::string& fallback);
// As readVariableChecked, for a lane information variable.
bool readLaneInfoVariableChecked(HostBridge& bridge, const std::string& name, std::string& value);
void trace(HostBridge& bridge, const std::string& text);
// A journal entry: its own envelope, sent as an event to JOURNAL_FILE.
std::int32_t addJournal(HostBridge& bridge, const std::string& text);
// Registers handler for HostReceiveEvent, then sends.
std::int32_t sendHostMessage(HostBridge& bridge, const xmlNode& element, Handler handler);
// Sets DllName to sourceName in element when absent or empty, then sends.
void dllApplicationStatusUpdate(HostBridge& bridge, xmlNode& element);
// Sends, then registers handler under eventName.
void eventSubscribe(HostBridge& bridge, const std::string& eventName, Handler handler);
// Fills DllName/AppName defaults in element, installs the pinpad-function
// filter for a FunctionNumber, sends, then registers the entry point and the
// handler under the element's Name.
void addDllEntryPoint(HostBridge& bridge, xmlNode& element, Handler handler);
// Asks the host to pass messages matching the filter to this module.
void interceptSet(HostBridge& bridge, const xmlDoc& filter);
// Sets OriginalProcessor (kept when present) and ReturnEventName in
// transaction, sends, then registers handler for DllStartTransactionEvent
// (called at once with Result "X2" when the host refused the request).
void dllStartTransaction(HostBridge& bridge, xmlNode& transaction, Handler handler);
// Sets OriginalProcessor = sourceName in event and hands it to the host.
void dllEndTransaction(HostBridge& bridge, xmlNode& event);
