// The single extension object. Its member functions are the handlers the
// host's messages are dispatched to; it owns the extension's working state.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "documents/xml_node.h"
#include "gateway/gateway_transaction.h"
#include "host/host_bridge.h"
#include "transaction/request_origin.h"
#include "transaction/step_list.h"

class QuenKlarna {
  public:
    using Member = std::int32_t (QuenKlarna::*)(xmlDoc&, xmlNode&, std::string&);

    // The bridge every request of this object goes through; it must outlive
    // this object.
    explicit QuenKlarna(HostBridge& hostBridge);
    QuenKlarna(const QuenKlarna&) = delete;
    QuenKlarna& operator=(const QuenKlarna&) = delete;

    HostBridge& bridge;
    std::string extensionName; // "Klarna" after start-up
    std::string hostGivenName; // from the startup record, empty when none
    xmlNode applicationStatus; // AppName and Version for DllApplicationStatusUpdate
    Settings settings;         // loaded at start-up and on RefreshSettings
    RequestOrigin origin;      // printer "PINPAD", pinpad offline until PinpadNotify

    // --- Gateway exchange (gateway/) -------------------------------------
    GatewayTransaction foreground;   // payments and refunds
    GatewayTransaction background;   // logon and reversal
    bool foregroundDeferred = false; // a foreground send waits for the background one
    std::string rotatingTid;         // 8 characters once made
    std::uint16_t tidCounter = 0;    // picks the TID's eighth character
    bool randomSeeded = false;       // the random generator is seeded once

    // Stores the numbers in the foreground transaction, moves callback in
    // (an empty one keeps the stored one) and sends.
    std::int32_t startForegroundSend(std::int32_t messageType, std::int32_t windowLow,
                                     std::int32_t windowHigh, std::int32_t timeoutSeconds,
                                     bool skipDisplay, ReplyCallback callback);
    // 1 when handed to the host or refused and completed; 0 when deferred.
    std::int32_t sendTransaction(bool skipDisplay);
    // At the end of a background exchange: the foreground send deferred
    // behind it goes out, unless its transaction has ended meanwhile (then
    // the deferral is dropped).
    void releaseDeferredSend();
    // Silent send on the background transaction: 1, or 0 when the host did
    // not take the message (the exchange then awaits nothing).
    std::int32_t sendBackgroundTransaction(std::int32_t messageType, std::int32_t windowLow,
                                           std::int32_t windowHigh, ReplyCallback callback);
    // HostReceiveEvent: 1 when the reply matched an awaiting window, else 0.
    std::int32_t onHostReceive(xmlDoc& document, xmlNode& element, std::string& reply);
    std::string displayHeading() const;
    std::string displaySubtitle() const;
    std::int32_t nextStan();
    std::string nextTxnNo(std::int32_t width, const std::string& prefix);
    std::string makeUniqueRef();
    std::string makeUuid();
    // Helpers of the sends above.
    void seedRandomOnce();       // seeds the runtime generator on first use
    void rotateTid();            // makes the TID once, then moves its eighth character
    void showProcessingScreen(); // "PROCESSING" on the pinpad (and the POS)
    // Stamps the request, builds and traces the SendHostMessage and hands it
    // to the host; storeReversalData is the foreground's reversal record.
    // notTaken: the host did not take the message (it refused it, or kept
    // asking for a bigger reply buffer past the ceiling); notSent: the host
    // refused to store the reversal record, and a message that could take
    // money without a way back is not sent.
    enum class HandOver { taken, notTaken, notSent };
    HandOver handOver(GatewayTransaction& transaction, std::int32_t timeoutSeconds,
                      const char* traceLabel, bool storeReversalData);
    // A message the host never took, or whose answer never came, ends its
    // exchange as a host that gave no answer would ("X0"; code): the reply
    // callback decides what follows. why goes to the debug output.
    void endUntakenSend(GatewayTransaction& transaction,
                        const char* why = "Klarna gateway message not taken by the host\n",
                        const char* code = "X0");

    // --- Step list (transaction/) ----------------------------------------
    StepList steps;
    void clearSteps();
    void addStep(const xmlNode& parameters, StepAction action);
    // Runs the next step; with none left, or when it returns false,
    // completes the foreground transaction and returns false.
    bool runNextStep();

    // --- Activation and logon (config/) ----------------------------------
    bool resumeAfterLogon = false;
    bool isActivated();
    bool startLogon();
    // Reply callback of the logon exchange; returns true.
    bool onLogonReply();
    // End of a flow's first step: continue, wait for a logon, or end "H0".
    bool activationCheck();
    // Puts the token and the country code into the foreground request.
    bool tokenStep(xmlNode& parameters);
    // Writes the outcome of the logon exchange to ACTIVATION_STATUS.
    void recordLogonOutcome();
    // After the logon exchange has finished: the deferred foreground send,
    // then the flow that waited for the logon.
    void continueAfterLogon();

    // --- Retry prompt (gateway/) -----------------------------------------
    bool retryKeyAwaited = false; // the retry question is up, its key not yet taken
    // False when the send count is over the retry limit.
    bool offerRetry(xmlNode& parameters);
    std::int32_t onRetryKey(xmlDoc& document, xmlNode& element, std::string& reply);
    // The answer to the message came after all (the host's or the module's
    // time-out had ended its wait): the question is taken down and its key,
    // if it still comes, is ignored.
    void withdrawRetryQuestion();

    // --- Reversal and journal (gateway/) ---------------------------------
    // A step (no ReturnImmediate) or a timer call (ReturnImmediate 1).
    bool startReversal(xmlNode& parameters);
    // Reply callback of the reversal exchange; returns true.
    bool onReversalReply();
    // TimerTrigger: the milliseconds until the next call.
    std::int32_t onReversalTimer(xmlDoc& document, xmlNode& element, std::string& reply);

    // --- Answers the host never gives (gateway/lost_answers.cpp) ----------
    // The host's timer is the module's clock: a transaction that has made no
    // progress (no answer taken, no message sent, no reply) for far longer
    // than any of its time-outs waits for an answer the host lost. The
    // exchange or host request it waits on is then ended as the host's own
    // time-out would end it.
    std::uint32_t progress = 0; // counts every step a transaction takes
    std::uint32_t progressAtLastTick = 0;
    std::int64_t silentMs = 0;         // timer periods without progress
    std::int32_t lastTimerDelayMs = 0; // what the timer handler last asked for
    bool endingLostWait = false;       // while endLostWait answers a wait itself
    // Called at each TimerTrigger, before its own work.
    void watchForLostAnswers();
    // The silence after which an answer counts as lost.
    std::int64_t lostAnswerLimitMs() const;
    // Ends what a running transaction waits on: the awaited gateway reply
    // first, else the host answer event a request of it registered.
    void endLostWait();

    // --- Payment flow, prompts and customer exchange (transaction/) -------
    // Start a session, empty LAST_TXN and LAST_RECEIPT, build the plan on the
    // step list and run it. Both return 1.
    std::int32_t startPurchase();
    std::int32_t startRefund();
    // The common start of both plans: m_Klarna = kind in the POS request copy.
    void openPlan(const char* kind);
    // A step action calling the given member function on this object.
    StepAction stepOf(bool (QuenKlarna::*member)(xmlNode&));
    // False when the foreground transaction has been completed.
    bool foregroundOpen() const;

    // Preparation steps.
    bool presaleStep(xmlNode& parameters);
    bool validationStep(xmlNode& parameters);
    bool purchaseAnalysisStep(xmlNode& parameters);
    bool pendingReversalStep(xmlNode& parameters);
    bool referenceStep(xmlNode& parameters);
    bool paymentMethodStep(xmlNode& parameters);
    // DllStartTransactionEvent: takes the host's copy of the request back.
    std::int32_t onDllStartTransaction(xmlDoc& document, xmlNode& element, std::string& reply);
    bool refundStep(xmlNode& parameters);
    bool onRefundReply();

    // Input prompts and their answers.
    bool promptAmount(xmlNode& parameters);
    bool promptOrderId(xmlNode& parameters);
    bool promptPhone(xmlNode& parameters);
    std::int32_t onAmountEntered(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onOrderIdEntered(xmlNode& element, bool skipOnCancel);
    std::int32_t onPhoneEntered(xmlNode& element, bool skipOnCancel);

    // Waiting screens, shown while a status enquiry runs, and their answers.
    void showQrCode(const std::string& qrData);
    void showSmsSent();
    void showPaymentInProgress(std::int32_t seconds);
    std::int32_t onQrScreenResult(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onWaitScreenResult(xmlDoc& document, xmlNode& element, std::string& reply);
    // Mirrors a screen on the POS when the request came from there.
    void showOnPos(xmlNode lines);

    // Customer exchange steps.
    bool orderStep(xmlNode& parameters);
    bool qrStep(xmlNode& parameters);
    bool smsStep(xmlNode& parameters);
    bool purchaseStep(xmlNode& parameters);
    // Status enquiries ("N") and their interruption ("Q").
    bool startWait(std::int32_t seconds);
    bool paymentWait();
    bool interruptWait();
    // Reply callbacks.
    bool onOrderReply();
    bool onSmsReply();
    bool onWaitReply();
    bool onPaymentWaitReply();
    bool onPurchaseReply();
    // The pinpad went offline: the request kept for reversal, "PF" set; true
    // when the reply callback must end the transaction.
    bool pinpadWentOffline();
    // The QR plan started over as an SMS plan, phone prompt forced.
    bool switchToSmsPlan();
    // Appends the SMS tail: phone prompt, order, SMS, purchase.
    void addSmsSteps(const xmlNode& phoneParameters);
    // Every payment message: `type`, a new `stan` and `sentcount` 0.
    void prepareMessage(const char* type);
    // The messages that name the sale: `ref` = TxnRef when not empty, `uid`
    // a new UUID when absent.
    void addReferences();

    // --- Result, receipts, entry points and queries (gateway/, transaction/)
    // Builds the TransactionEvent from the foreground transaction, stores it
    // as LAST_TXN, hands it to the host with DllEndTransaction and ends the
    // foreground transaction.
    void sendTransactionEvent();
    // The "receipt then result" completion: result screens on the pinpad
    // (and the POS), both receipt copies stored, the customer copy printed.
    void showResultAndPrint();
    // Runs the result step again when its outcome changed after it began (a
    // refund approved after its failure was shown); false when it did not.
    bool repeatResultStepIfChanged();
    // PrintReceiptEvent of the customer copy: notes a printed receipt, then
    // waits for a key.
    std::int32_t onReceiptPrinted(xmlDoc& document, xmlNode& element, std::string& reply);
    // The host's answer to that print after the module gave up waiting for
    // it: a receipt printed before the result is sent is noted, nothing more.
    std::int32_t onLateReceiptPrinted(xmlDoc& document, xmlNode& element, std::string& reply);
    // WaitForKeyPressEvent after the receipt (key or time-out alike): POS
    // display closed, session ended, journal written, result sent.
    std::int32_t onResultKeyPress(xmlDoc& document, xmlNode& element, std::string& reply);

    // Intercepted host commands answering from the stored records; each
    // returns 1.
    std::int32_t DoReprintReceipt(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t DoGetLastReceipt(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t DoGetLastTransaction(xmlDoc& document, xmlNode& element, std::string& reply);
    // PrintReceiptEvent of a reprint: answers the kept requester, ends the session.
    std::int32_t onReprintPrinted(xmlDoc& document, xmlNode& element, std::string& reply);
    std::string reprintMerchant;    // Merchant of the reprint request
    std::string reprintDestination; // where the reprint answer goes

    // --- Payment entry points (transaction/) -------------------------------
    // Klarna_PaymentMenuRoot: a one-type request starts its flow, otherwise
    // the purchase/refund menu is shown. 0 while a transaction runs.
    std::int32_t onPaymentMenuEntry(xmlDoc& document, xmlNode& element, std::string& reply);
    // GetButtonMenuFromPinpadEvent of the payment menu.
    std::int32_t onPaymentMenuResult(xmlDoc& document, xmlNode& element, std::string& reply);
    // Klarna_PaymentMenuValidate: 1 for TxnType "", "P" or "R", else 0.
    std::int32_t onPaymentMenuValidate(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onPurchaseEntry(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onRefundEntry(xmlDoc& document, xmlNode& element, std::string& reply);
    // PosDirectEntryPoint carrying a DoTransaction request.
    std::int32_t onPosEntry(xmlDoc& document, xmlNode& element, std::string& reply);
    // Begins the foreground transaction for the message's first child and
    // clears the per-transaction flags; false while one is in progress.
    bool beginForeground(const xmlNode& message);
    void completeWithResultOnly();
    void completeWithReceiptThenResult();
    // Sets the type and merchant in the POS request copy, captures the
    // origin and starts the purchase or refund with the receipt completion.
    void startFlowOfType(const std::string& type);

    // A handler calling the given member function on this object.
    Handler handler(Member member);
    // The handler of a request's return event: it takes the first event
    // only. A repeated or stray one (the request already answered) is
    // written to the debug output and ignored with the result 0. When the
    // first answer was the module's own (endLostWait), the host's first
    // answer after it goes to late, if one is given.
    Handler answerOnce(Handler inner, Handler late = nullptr);

    // Fall-back handlers: a debug label and the whole document, then the result.
    std::int32_t onDefaultMethod(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onDefaultEvent(xmlDoc& document, xmlNode& element, std::string& reply);
    std::int32_t onDefaultNonStandard(xmlDoc& document, xmlNode& element, std::string& reply);

    // PinpadNotify: PinpadOnline "1" sets the pinpad-online flag, "0" clears
    // it, anything else (or no such child) leaves it. Returns 1.
    std::int32_t onPinpadNotify(xmlDoc& document, xmlNode& element, std::string& reply);
    // RefreshSettings: traces "Updating Settings", then reloads the settings
    // from the host. Returns 1.
    std::int32_t onRefreshSettings(xmlDoc& document, xmlNode& element, std::string& reply);
};
