#include "host/host_methods.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/platform.h"

namespace {

const char* const methodContainer = "VORTAXIS_METHOD";
const char* const eventContainer = "VORTAXIS_EVENT";

// Appends a child of the given name to parent holding a deep copy of source.
void appendCopy(xmlNode& parent, const std::string& childName, const xmlNode& source) {
    const int index = parent.addChild(childName);
    parent.child(index).assign(source);
}

// Puts a copy of element, named after the method, into the envelope's
// method container and sends the envelope.
std::int32_t sendMethod(HostBridge& bridge, const std::string& method, const xmlNode& element,
                        xmlDoc envelope) {
    appendCopy(envelope.getChild(methodContainer), method, element);
    return sendRequest(bridge, envelope);
}

std::int32_t sendText(HostBridge& bridge, const std::string& text);

// The text sendMethod(bridge, method, element, newEnvelope(bridge)) sends,
// written without building the envelope or copying the element into it.
std::string methodRequestText(const HostBridge& bridge, const std::string& method,
                              const xmlNode& element) {
    std::string text;
    text.reserve(1024);
    text.append("<?xml version=\"1.0\" ?>\r\n<VORTAXIS_BRIDGE>\n");
    if (bridge.sourceName.empty()) {
        text.append(" <VORTAXIS_SOURCE/>\n");
    } else {
        text.append(" <VORTAXIS_SOURCE>");
        appendEscaped(text, bridge.sourceName);
        text.append("</VORTAXIS_SOURCE>\n");
    }
    text.append(" <VORTAXIS_DESTINATION>VORTAXIS_DLL_HANDLER</VORTAXIS_DESTINATION>\n <");
    text.append(methodContainer);
    text.append(">\n");
    serializeNamed(text, element, method.empty() ? element.name : method, 2);
    text.append(" </");
    text.append(methodContainer);
    text.append(">\n</VORTAXIS_BRIDGE>\n");
    return text;
}

std::int32_t sendMethod(HostBridge& bridge, const std::string& method, const xmlNode& element) {
    return sendText(bridge, methodRequestText(bridge, method, element));
}

std::int32_t sendEmptyMethod(HostBridge& bridge, const std::string& method) {
    return sendMethod(bridge, method, xmlNode());
}

// Registers the return-event handler, then sends the element.
std::int32_t sendWithReturnEvent(HostBridge& bridge, const std::string& method,
                                 const xmlNode& element, const std::string& returnEvent,
                                 Handler handler) {
    registerHandler(bridge, returnEvent, std::move(handler));
    return sendMethod(bridge, method, element);
}

// What a refused request is answered with: the host gave no reason, so it
// is the extension's own system error.
constexpr const char* refusedResult = "X2";

// A request the host refused (a negative result, -181 given up included)
// will never be answered by its event: the handler gets the failure now.
void answerRefused(HostBridge& bridge, std::int32_t result, const std::string& returnEvent,
                   const Handler& handler) {
    if (result >= 0 || !handler || bridge.sendCallback == nullptr) {
        return;
    }
    platform::debugOutput("Klarna request refused by the host (" + std::to_string(result) +
                          "), answered as failed: " + returnEvent + "\n");
    xmlDoc document;
    xmlNode& event = document.getChild(eventContainer).getChild(returnEvent);
    event.getChild("Result").setText(refusedResult);
    std::string reply;
    handler(document, document.child(0).child(0), reply);
}

// As sendWithReturnEvent, for a request whose event answers it.
std::int32_t sendAwaitingAnswer(HostBridge& bridge, const std::string& method,
                                const xmlNode& element, const std::string& returnEvent,
                                Handler handler) {
    const Handler waiting = handler;
    const std::int32_t result =
        sendWithReturnEvent(bridge, method, element, returnEvent, std::move(handler));
    answerRefused(bridge, result, returnEvent, waiting);
    return result;
}

bool childTextEmpty(const xmlNode& element, const std::string& childName) {
    return element.getChildText(childName, std::string()).empty();
}

// The first child of the VORTAXIS_EVENT container of a reply document, or
// null when there is none.
const xmlNode* replyEventElement(const xmlDoc& reply) {
    const int index = reply.findChild(eventContainer);
    if (index < 0 || reply.child(index).children.empty()) {
        return nullptr;
    }
    return &reply.child(index).children.front();
}

std::string readVariable(HostBridge& bridge, const std::string& method, const std::string& name,
                         const std::string& fallback) {
    xmlNode element;
    element.getChild("VariableName").setText(name);
    element.getChild("Default").setText(fallback);
    sendMethod(bridge, method, element);
    const xmlNode reply = readReply(bridge);
    const int index = reply.findChild("Var_result");
    return index < 0 ? fallback : reply.child(index).text;
}

// Gives up a request whose reply would need a buffer past the ceiling.
std::int32_t abandonOversizedReply(HostBridge& bridge) {
    bridge.replyLength = 0;
    platform::debugOutput("Klarna host reply larger than " +
                          std::to_string(bridge.replyCapacityLimit) +
                          " bytes, request abandoned\n");
    return hostReplyTooSmall;
}

void installPinpadFunctionFilter(HostBridge& bridge, const std::string& functionNumber,
                                 const xmlNode& entry, const Handler& handler) {
    const std::string key = "FUNCTION=" + functionNumber;
    xmlDoc filter;
    filter.name = "VORTAXIS_BRIDGE";
    filter.getChild("VORTAXIS_SOURCE").setText("PINPAD");
    filter.getChild("VORTAXIS_DESTINATION").setText("VORTAXIS_DEBUG_HANDLER");
    filter.getChild(eventContainer).getChild("CsdReserved3").getChild("DataField").setText(key);
    interceptSet(bridge, filter);
    if (handler) {
        registerEntryPoint(bridge, key, handler, entry.text);
    }
}

void setDialogFields(xmlNode& element, const xmlNode& options) {
    element.getChild("DialogX").setText(options.getChildText("DialogX", "0000"));
    element.getChild("DialogY").setText(options.getChildText("DialogY", "0000"));
    element.getChild("DialogTitle").setText(options.getChildText("DialogTitle", std::string()));
    const int topMost = options.findChild("EnableTopMost");
    element.getChild("DialogTopMost")
        .setText(topMost < 0 ? 1 : options.child(topMost).getTextInt(1));
    element.getChild("DialogType").setText(options.getChildText("DialogType", "Standard"));
    element.getChild("DialogPosition").setText(options.getChildText("DialogPosition", "MC"));
}

} // namespace

// --- Envelope, send and reply -------------------------------------------

xmlDoc newEnvelope(const HostBridge& bridge) {
    xmlDoc envelope;
    envelope.name = "VORTAXIS_BRIDGE";
    envelope.getChild("VORTAXIS_SOURCE").setText(bridge.sourceName);
    envelope.getChild("VORTAXIS_DESTINATION").setText("VORTAXIS_DLL_HANDLER");
    return envelope;
}

std::int32_t sendRequest(HostBridge& bridge, const xmlDoc& envelope) {
    return sendText(bridge, envelope.toString());
}

namespace {

std::int32_t sendText(HostBridge& bridge, const std::string& text) {
    if (bridge.sendCallback == nullptr ||
        text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        // No reply exists, so readers of the reply see an empty one.
        bridge.replyLength = 0;
        return hostNotConnected;
    }
    const auto length = static_cast<std::int32_t>(text.size());
    for (;;) {
        bridge.replyLength = bridge.replyCapacity;
        const std::int32_t result =
            bridge.sendCallback(bridge.hostContext, text.data(), length, bridge.replyBuffer.data(),
                                &bridge.replyLength);
        if (result != hostReplyTooSmall) {
            return result;
        }
        if (bridge.replyCapacity > bridge.replyCapacityLimit - HostBridge::replyGrowth) {
            return abandonOversizedReply(bridge);
        }
        bridge.resizeReplyBuffer(bridge.replyCapacity + HostBridge::replyGrowth);
    }
}

} // namespace

xmlNode readReply(const HostBridge& bridge) {
    // The reply text is parsed where it lies in the reply buffer, and the
    // element is moved out of the document rather than copied.
    xmlDoc reply;
    if (bridge.replyLength > 0) {
        const std::size_t length =
            std::min(static_cast<std::size_t>(bridge.replyLength), bridge.replyBuffer.size());
        std::size_t position = 0;
        reply.parse(bridge.replyBuffer.data(), length, position);
    }
    if (replyEventElement(reply) == nullptr) {
        return xmlNode();
    }
    return std::move(reply.child(reply.findChild(eventContainer)).children.front());
}

// --- Host methods ------------------------------------------------------

std::string getClientRunTimeDiags(HostBridge& bridge) {
    if (!bridge.masterGuiName.empty()) {
        return bridge.masterGuiName;
    }
    sendEmptyMethod(bridge, "GetClientRunTimeDiags");
    bridge.masterGuiName = readReply(bridge).getChildText("MasterGuiName", std::string());
    return bridge.masterGuiName;
}

std::int32_t sendToDll(HostBridge& bridge, const xmlNode& request, xmlNode& reply,
                       const std::string& destination) {
    xmlDoc envelope = newEnvelope(bridge);
    envelope.getChild("OTHER_DLL_DESTINATION").setText(destination);
    xmlNode method;
    appendCopy(method, request.name, request);
    const std::int32_t result = sendMethod(bridge, "SendToDLL", method, std::move(envelope));
    if (bridge.replyLength != 0) {
        const xmlDoc replyDocument(bridge.replyText());
        const xmlNode* element = replyEventElement(replyDocument);
        if (element != nullptr) {
            reply.assign(*element);
        }
    }
    return result;
}

void registerForPosDirectEntryPoint(HostBridge& bridge, Handler handler,
                                    const std::string& merchantNumber) {
    const std::string mainModule = getClientRunTimeDiags(bridge);
    xmlNode element;
    element.name = "RegisterForPosDirectEntryPoint";
    element.getChild("MerchantNumber").setText(merchantNumber);
    element.getChild("DllName").setText(bridge.sourceName);
    xmlNode reply;
    sendToDll(bridge, element, reply, mainModule);
    registerHandler(bridge, "PosDirectEntryPoint", std::move(handler));
}

std::int32_t startSession(HostBridge& bridge) {
    xmlNode element;
    element.getChild("SessionTimeout").setText(200);
    return sendMethod(bridge, "StartSession", element);
}

void endSession(HostBridge& bridge) {
    sendEmptyMethod(bridge, "EndSession");
}

void cancelCurrentCommand(HostBridge& bridge) {
    sendEmptyMethod(bridge, "CancelCurrentCommand");
}

std::int32_t setTimer(HostBridge& bridge, Handler handler) {
    xmlNode element;
    element.getChild("Interval").setText(5000);
    return sendWithReturnEvent(bridge, "SetTimer", element, "TimerTrigger", std::move(handler));
}

void displayOnPinpad(HostBridge& bridge, const xmlNode& element) {
    sendMethod(bridge, "DisplayOnPinpad", element);
}

std::int32_t waitForKeyPress(HostBridge& bridge, const xmlNode& element, Handler handler) {
    return sendAwaitingAnswer(bridge, "WaitForKeyPress", element, "WaitForKeyPressEvent",
                              std::move(handler));
}

void displayOnPos(HostBridge& bridge, xmlNode& element, const xmlNode& options) {
    if (!options.children.empty()) {
        setDialogFields(element, options);
    }
    element.name = "DisplayOnPos";
    sendMethod(bridge, "DisplayOnPos", element);
}

void closePosDisplay(HostBridge& bridge) {
    sendEmptyMethod(bridge, "ClosePosDisplay");
}

std::int32_t printReceipt(HostBridge& bridge, const xmlNode& element, Handler handler) {
    return sendAwaitingAnswer(bridge, "PrintReceipt", element, "PrintReceiptEvent",
                              std::move(handler));
}

xmlNode getPinpadDetails(HostBridge& bridge) {
    sendEmptyMethod(bridge, "GetPinpadDetails");
    return readReply(bridge);
}

std::int32_t getButtonMenuFromPinpad(HostBridge& bridge, const xmlNode& element, Handler handler) {
    return sendAwaitingAnswer(bridge, "GetButtonMenuFromPinpad", element,
                              "GetButtonMenuFromPinpadEvent", std::move(handler));
}

std::int32_t getMultiLineFromPinpad(HostBridge& bridge, const xmlNode& element, Handler handler) {
    return sendAwaitingAnswer(bridge, "GetMultiLineFromPinpad", element,
                              "GetMultiLineFromPinpadEvent", std::move(handler));
}

std::int32_t setVariable(HostBridge& bridge, const std::string& name, const std::string& value) {
    xmlNode element;
    element.getChild("VariableName").setText(name);
    element.getChild("Value").setText(value);
    return sendMethod(bridge, "SetVariable", element);
}

std::string getVariable(HostBridge& bridge, const std::string& name, const std::string& fallback) {
    return readVariable(bridge, "GetVariable", name, fallback);
}

namespace {

// As readVariable; false (value untouched) when the host failed the request
// or wrote no reply at all (a host that does not know the variable still
// replies, without Var_result).
bool readChecked(HostBridge& bridge, const std::string& method, const std::string& name,
                 std::string& value) {
    xmlNode element;
    element.getChild("VariableName").setText(name);
    element.getChild("Default").setText(value);
    if (sendMethod(bridge, method, element) < 0 || bridge.replyLength <= 0) {
        return false;
    }
    const xmlNode reply = readReply(bridge);
    const int index = reply.findChild("Var_result");
    if (index >= 0) {
        value = reply.child(index).text;
    }
    return true;
}

} // namespace

bool readVariableChecked(HostBridge& bridge, const std::string& name, std::string& value) {
    return readChecked(bridge, "GetVariable", name, value);
}

std::string getLaneInfoVariable(HostBridge& bridge, const std::string& name,
                                const std::string& fallback) {
    return readVariable(bridge, "GetLaneInfoVariable", name, fallback);
}

bool readLaneInfoVariableChecked(HostBridge& bridge, const std::string& name, std::string& value) {
    return readChecked(bridge, "GetLaneInfoVariable", name, value);
}

void trace(HostBridge& bridge, const std::string& text) {
    xmlNode element;
    element.getChild("TraceData").setText(text);
    sendMethod(bridge, "Trace", element);
}

std::int32_t addJournal(HostBridge& bridge, const std::string& text) {
    xmlDoc envelope;
    envelope.name = "VORTAXIS_BRIDGE";
    envelope.getChild("VORTAXIS_DESTINATION").setText("JOURNAL_FILE");
    envelope.getChild("VORTAXIS_SOURCE").setText(bridge.sourceName);
    xmlNode& entry = envelope.getChild(eventContainer).getChild("AddJournal");
    entry.getChild("jnl_entry").setText(text);
    entry.getChild("jnl_toEMS").setText("1");
    return sendRequest(bridge, envelope);
}

std::int32_t sendHostMessage(HostBridge& bridge, const xmlNode& element, Handler handler) {
    return sendWithReturnEvent(bridge, "SendHostMessage", element, "HostReceiveEvent",
                               std::move(handler));
}

void dllApplicationStatusUpdate(HostBridge& bridge, xmlNode& element) {
    if (childTextEmpty(element, "DllName")) {
        element.getChild("DllName").setText(bridge.sourceName);
    }
    sendMethod(bridge, "DllApplicationStatusUpdate", element);
}

void eventSubscribe(HostBridge& bridge, const std::string& eventName, Handler handler) {
    xmlNode element;
    element.getChild("event_name").setText(eventName);
    sendMethod(bridge, "EventSubscribe", element);
    registerHandler(bridge, eventName, std::move(handler));
}

void addDllEntryPoint(HostBridge& bridge, xmlNode& element, Handler handler) {
    element.name = "AddDllEntryPoint";
    if (childTextEmpty(element, "DllName")) {
        element.getChild("DllName").setText(bridge.sourceName);
    }
    if (childTextEmpty(element, "AppName")) {
        element.getChild("AppName").setText(element.getChildText("DllName", std::string()));
    }
    const std::string functionNumber = element.getChildText("FunctionNumber", std::string());
    if (!functionNumber.empty()) {
        installPinpadFunctionFilter(bridge, functionNumber, xmlNode(element), handler);
    }
    sendMethod(bridge, "AddDllEntryPoint", element);
    const std::string name = element.getChildText("Name", std::string());
    if (handler && !name.empty()) {
        registerEntryPoint(bridge, name, handler, element.text);
        registerHandler(bridge, name, std::move(handler));
    }
}

void interceptSet(HostBridge& bridge, const xmlDoc& filter) {
    // A deep copy of the filter's root made through its text form.
    const std::string rootText = static_cast<const xmlNode&>(filter).toString();
    const xmlNode root(rootText.c_str());
    xmlNode method;
    appendCopy(method, filter.name, root);
    sendMethod(bridge, "InterceptSet", method);
}

void dllStartTransaction(HostBridge& bridge, xmlNode& transaction, Handler handler) {
    const std::string processor = transaction.getChildText("OriginalProcessor", bridge.sourceName);
    transaction.getChild("OriginalProcessor").setText(processor);
    transaction.getChild("ReturnEventName").setText("DllStartTransactionEvent");
    xmlNode method;
    appendCopy(method, transaction.name, transaction);
    const std::int32_t result = sendMethod(bridge, "DllStartTransaction", method);
    const Handler waiting = handler;
    registerHandler(bridge, "DllStartTransactionEvent", std::move(handler));
    answerRefused(bridge, result, "DllStartTransactionEvent", waiting);
}

void dllEndTransaction(HostBridge& bridge, xmlNode& event) {
    event.getChild("OriginalProcessor").setText(bridge.sourceName);
    xmlNode method;
    appendCopy(method.getChild(eventContainer), event.name, event);
    sendMethod(bridge, "DllEndTransaction", method);
}
