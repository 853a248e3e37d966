// The host payment client: answers the module's requests through the send
// callback (synchronous replies, -181 when a reply does not fit), remembers
// what the module registered, and delivers every later event through the
// event loop, one at a time and never from inside the send callback.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/module_api.h"
#include "sim/cli/transcript.h"
#include "sim/gateway/gateway_sim.h"
#include "sim/host/devices.h"
#include "sim/host/event_queue.h"
#include "sim/host/host_faults.h"
#include "sim/host/qr_render.h"
#include "sim/host/run_record.h"
#include "sim/host/sim_xml.h"
#include "sim/host/variable_store.h"

namespace sim {

// The module as the host sees it.
class ModulePort {
  public:
    virtual ~ModulePort() = default;
    virtual std::int32_t deliver(const std::string& message, std::int32_t capacity,
                                 std::string& reply) = 0;
};

// A host request the scenario makes the host answer otherwise.
struct MethodFault {
    // refuse: not carried out, answered with the value and no reply.
    enum class Kind { replyTooSmall, result, bigReply, refuse };
    std::string method;
    std::string match; // text the request must contain (empty: any)
    Kind kind = Kind::replyTooSmall;
    std::int32_t value = 0; // result code, or padding bytes for bigReply
    int times = 1;          // 0 = every time
    int start = 1;          // the first request of the method it applies to
    int calls = 0;          // requests of the method so far
    int seen = 0;
    int line = 0;
    // The request it applies to is answered so however often the module
    // sends it again (the same text); times then counts distinct requests.
    bool forever = false;
    std::string foreverText;
};

struct HostConfig {
    std::string masterGuiName = "VortaxisMasterGui";
    std::int32_t offeredReplyCapacity =
        4096; // reply buffer offered with each message to the module
    bool unknownVariableGivesDefault = false; // false: no Var_result for a variable the store lacks
    std::map<std::string, std::string> pinpadDetails{
        {"QR_code", "1"}, {"TID", "SIMTID01"}, {"MID", "SIMMID000000001"}, {"Acquirer", "SIMACQ"}};
    std::map<std::string, std::string> laneVariables;
    std::string timeoutResult = "X0";
    std::string timeoutText = "NO RESPONSE";
    Millis printDelay = 1000;
    std::string printResult = "00";
    Millis startTransactionDelay = 0;
    std::vector<MethodFault> methodFaults;
    std::vector<EventFault> eventFaults;
    std::string journalPath;
    std::string receiptsPath;
    QrStyle qrStyle = QrStyle::plain;
};

// A pinpad screen, key wait or print that the host will answer with an event.
enum class InteractionKind { input, qr, waiting, menu, keyWait, print };

struct Interaction {
    std::uint64_t id = 0;
    InteractionKind kind = InteractionKind::input;
    std::string eventName;
    XmlElement request;
    std::string text; // what the screen shows, for matching
    EventQueue::Id timeout = 0;
    ArmedFault fault; // what the host does with its answer
};

// How a person or a scenario answers an interaction.
struct Answer {
    enum class Kind { input, confirm, select, cancel, timeout, result, key };
    Kind kind = Kind::confirm;
    std::string text;             // input text, selected option, key, result code
    std::string where = "pinpad"; // pinpad or pos, for cancel and key
    std::vector<std::pair<std::string, std::string>> fields; // extra event fields
};

// Told of everything a scenario may react to.
class HostListener {
  public:
    virtual ~HostListener() = default;
    virtual void interactionStarted(const Interaction&) {}
    virtual void gatewayMessage(const std::string& /*kind*/) {}
    virtual void requestSeen(const std::string& /*name*/) {}
};

class HostSim {
  public:
    HostSim(EventQueue& queue, Transcript& transcript, VariableStore& store, RunRecord& record);
    ~HostSim();
    HostSim(const HostSim&) = delete;
    HostSim& operator=(const HostSim&) = delete;

    HostConfig& config() { return config_; }
    GatewaySim& gateway() { return gateway_; }
    void setModule(ModulePort* module) { module_ = module; }
    void setListener(HostListener* listener) { listener_ = listener; }

    // The send callback and the context to put in the startup record.
    static HostSendCallback sendCallback();
    std::uint32_t context() const { return context_; }
    // Marks the Startup call running (requests are then counted to it).
    void beginStartup();
    void endStartup();
    // A restarted host: registrations, screens and timers forgotten.
    void forgetRegistrations();

    // --- Doors and raw messages (each delivers one message now) ---------
    bool posTransaction(const std::vector<std::pair<std::string, std::string>>& fields,
                        std::string& problem);
    bool entryPoint(const std::string& name,
                    const std::vector<std::pair<std::string, std::string>>& fields,
                    std::string& problem);
    bool pinpadFunction(const std::string& number, std::string& problem);
    bool command(const std::string& name,
                 const std::vector<std::pair<std::string, std::string>>& fields,
                 std::string& problem);
    bool pinpadOnline(const std::string& value, std::string& problem);
    bool timerNow(std::string& problem);
    void rawEvent(const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& fields);
    void rawMethod(const std::string& name,
                   const std::vector<std::pair<std::string, std::string>>& fields);
    void rawText(const std::string& text);

    // --- Answers ---------------------------------------------------------
    // The pending interaction of that id (0: the newest of a fitting kind).
    bool answer(std::uint64_t id, const Answer& answer, std::string& problem);
    std::vector<const Interaction*> pending() const;
    bool awaitingPerson() const;

    // --- State, for the interactive mode and expectations -----------------
    const std::map<std::string, XmlElement>& entryPoints() const { return entryPoints_; }
    const std::map<std::string, std::string>& intercepts() const { return intercepts_; }
    const std::set<std::string>& subscriptions() const { return subscriptions_; }
    bool posRegistered() const { return posRegistered_; }
    // What the pinpad last told the module: "1" online, "0" offline, "" nothing yet.
    const std::string& pinpadOnlineState() const { return pinpadOnline_; }
    // Between the module's DllStartTransaction and its DllEndTransaction.
    bool transactionOpen() const { return transactionOpen_; }
    // Gateway exchanges the host still holds (no reply taken yet).
    std::size_t openExchanges() const { return exchanges_.size(); }
    // Forgets them and their time-outs: for a long run between transactions,
    // when no reply can come any more (an interrupt "Q" sent without a
    // time-out gets none).
    void dropOpenExchanges();

  private:
    using Fields = std::vector<std::pair<std::string, std::string>>;
    using MethodHandler = std::int32_t (HostSim::*)(const XmlElement& method,
                                                    const XmlElement& root, XmlElement& reply);

    static std::int32_t KLARNA_CALL onSend(std::uint32_t context, const char* message,
                                           std::int32_t length, char* replyBuffer,
                                           std::int32_t* replyLength);
    std::int32_t request(const char* message, std::int32_t length, char* replyBuffer,
                         std::int32_t* replyLength);
    std::int32_t handleMethod(RequestRecord& record, std::string& replyText);
    void handleEvent(RequestRecord& record);
    bool forcedFault(const RequestRecord& record, MethodFault::Kind kind, std::int32_t& value);
    void violation(const std::string& text);
    // A file the host writes to (journal, receipts) refused the write.
    void outputFailed(const std::string& what, const std::string& path);

    // Delivery of one message to the module, recorded and shown.
    std::int32_t deliver(const std::string& name, const XmlElement& root);
    XmlElement envelope(const std::string& source, const std::string& container,
                        const XmlElement& message) const;
    void deliverEvent(const std::string& source, const XmlElement& event);

    // Host methods (host_methods_sim.cpp).
    std::int32_t getVariable(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t getLaneInfoVariable(const XmlElement& method, const XmlElement& root,
                                     XmlElement& reply);
    std::int32_t setVariable(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t getClientRunTimeDiags(const XmlElement& method, const XmlElement& root,
                                       XmlElement& reply);
    std::int32_t getPinpadDetails(const XmlElement& method, const XmlElement& root,
                                  XmlElement& reply);
    std::int32_t sendToDll(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t startSession(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t endSession(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t cancelCurrentCommand(const XmlElement& method, const XmlElement& root,
                                      XmlElement& reply);
    std::int32_t setTimer(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t displayOnPinpad(const XmlElement& method, const XmlElement& root,
                                 XmlElement& reply);
    std::int32_t waitForKeyPress(const XmlElement& method, const XmlElement& root,
                                 XmlElement& reply);
    std::int32_t displayOnPos(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t closePosDisplay(const XmlElement& method, const XmlElement& root,
                                 XmlElement& reply);
    std::int32_t printReceipt(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t getButtonMenu(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t getMultiLine(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t traceRequest(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t sendHostMessage(const XmlElement& method, const XmlElement& root,
                                 XmlElement& reply);
    std::int32_t applicationStatus(const XmlElement& method, const XmlElement& root,
                                   XmlElement& reply);
    std::int32_t eventSubscribe(const XmlElement& method, const XmlElement& root,
                                XmlElement& reply);
    std::int32_t addDllEntryPoint(const XmlElement& method, const XmlElement& root,
                                  XmlElement& reply);
    std::int32_t interceptSet(const XmlElement& method, const XmlElement& root, XmlElement& reply);
    std::int32_t dllStartTransaction(const XmlElement& method, const XmlElement& root,
                                     XmlElement& reply);
    std::int32_t dllEndTransaction(const XmlElement& method, const XmlElement& root,
                                   XmlElement& reply);
    static const std::map<std::string, MethodHandler>& methodTable();
    // The transcript line of a variable's answer.
    void showVariableAnswer(const std::string& name, const XmlElement& reply,
                            const std::string& where);

    // Screens and answers (host_interactions.cpp).
    void showPinpad(const PinpadScreen& screen);
    void showPos(const PosScreen& screen);
    Interaction& startInteraction(InteractionKind kind, const std::string& eventName,
                                  const XmlElement& request, const std::string& text,
                                  std::int64_t timeoutSeconds);
    void dropScreen(const std::string& why);
    void expire(std::uint64_t id);
    void finishInteraction(std::uint64_t id, const XmlElement& event);
    bool buildAnswer(const Interaction& interaction, const Answer& answer, XmlElement& event,
                     std::string& problem);
    Interaction* findInteraction(std::uint64_t id, const Answer& answer);

    // The host's own faults (host_faults.cpp).
    ArmedFault armFault(const std::string& event, const std::string& requestText);
    void answerRequest(const ArmedFault& fault, const std::string& source, const XmlElement& event);
    void failSoon(std::uint64_t interaction, const ArmedFault& fault);
    // The host ends the exchange with a failure before the gateway answers
    // (the message has gone out: the gateway still acts on it).
    void failExchangeSoon(std::uint64_t exchange, const std::string& code);
    void releaseLateAnswers();

    // Gateway link.
    void gatewayReply(const GatewayOutcome& outcome);
    void showReply(const GatewayOutcome& outcome, const std::string& faults);
    void hostTimeout(std::uint64_t exchange);
    void timerTrigger();

    EventQueue& queue_;
    Transcript& transcript_;
    VariableStore& store_;
    RunRecord& record_;
    HostConfig config_;
    GatewaySim gateway_;
    ModulePort* module_ = nullptr;
    HostListener* listener_ = nullptr;
    std::uint32_t context_ = 0x4B53494Du;
    bool inCallback_ = false;
    bool inDelivery_ = false;
    int startup_ = 0;
    int startupCount_ = 0;

    // What the module registered.
    std::string moduleName_ = "Klarna";
    std::map<std::string, XmlElement> entryPoints_;
    std::map<std::string, std::string> intercepts_; // command -> container
    std::set<std::string> functionFilters_;
    std::set<std::string> subscriptions_;
    bool posRegistered_ = false;
    std::string pinpadOnline_;
    bool transactionOpen_ = false;
    std::int64_t timerInterval_ = 0;
    EventQueue::Id timerEvent_ = 0;
    bool session_ = false;

    // What the host is waiting on.
    std::uint64_t nextInteraction_ = 1;
    std::unique_ptr<Interaction> screen_; // the pinpad's answerable screen
    std::unique_ptr<Interaction> keyWait_;
    std::vector<Interaction> prints_;
    struct Exchange {
        std::uint64_t id = 0;
        std::string kind;
        EventQueue::Id timeout = 0;
        bool timedOut = false;
        ArmedFault fault;
    };
    std::map<std::uint64_t, Exchange> exchanges_;
    std::uint64_t nextExchange_ = 1;
    std::vector<std::pair<std::string, XmlElement>> lateAnswers_; // held by a "late" fault
};

} // namespace sim
