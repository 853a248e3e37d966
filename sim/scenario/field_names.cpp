#include "sim/scenario/field_names.h"

#include <map>

#include "sim/scenario/similar_text.h"

namespace sim {

namespace {

using Names = std::vector<std::string>;

const Names& transactionEventFields() {
    static const Names names{"ResponseType",
                             "TxnType",
                             "Stan",
                             "Merchant",
                             "ResponseCode",
                             "ResponseText",
                             "Success",
                             "Caid",
                             "Date",
                             "Time",
                             "AmtPurchase",
                             "CurrencyCode",
                             "AmtCash",
                             "AmtTip",
                             "AmtTotal",
                             "Pan",
                             "CardName",
                             "TxnRef",
                             "CsdReservedBool1",
                             "CsdReservedString1",
                             "PurchaseAnalysisData",
                             "OriginalSource",
                             "OriginalProcessor",
                             "m_Klarna",
                             "m_SkipPostSaleApps"};
    return names;
}

// The fields of each request the module sends (methods, journal entries and
// its answers to the POS), and those of the host's synchronous answer (a
// check may say that a request does not carry them).
const std::map<std::string, Names>& requestFields() {
    static const Names none;
    static const Names variable{"VariableName", "Default", "Var_result"};
    static const std::map<std::string, Names> fields{
        {"AddDllEntryPoint",
         {"Name", "Type", "AppType", "Merchant", "PaymentMenuValidate", "MenuHeader", "Owner",
          "ButtonLabel", "DllName", "AppName", "FunctionNumber"}},
        {"AddJournal", {"jnl_entry", "jnl_toEMS"}},
        {"CancelCurrentCommand", none},
        {"ClosePosDisplay", none},
        {"DisplayOnPinpad", {"line1", "line2", "line3", "line4", "NumberOfRows"}},
        {"DisplayOnPos",
         {"line1", "line2", "SendToPOS", "DialogX", "DialogY", "DialogTitle", "DialogTopMost",
          "DialogType", "DialogPosition"}},
        {"DllApplicationStatusUpdate", {"AppName", "DllName", "Version"}},
        {"DllEndTransaction", {"VORTAXIS_EVENT"}},
        {"DllStartTransaction", {"DoTransaction"}},
        {"EndSession", none},
        {"EventSubscribe", {"event_name"}},
        {"GetButtonMenuFromPinpad",
         {"Heading", "Timeout", "EnterKeyDefault", "MenuItems", "Merchant"}},
        {"GetClientRunTimeDiags", {"MasterGuiName"}},
        {"GetLaneInfoVariable", variable},
        {"GetLastReceiptEvent", {"ResponseCode", "ResponseText", "Merchant", "Success", "Receipt"}},
        {"GetLastTransactionEvent", transactionEventFields()},
        {"GetMultiLineFromPinpad",
         {"Heading", "Subtitle", "Timeout", "TextLines", "NumberOfRows", "DisplayOnly",
          "QRBCodeData", "IsQRCode", "QRErrorLvl", "CancelOnPOS", "CancelOnPinpad", "Button1",
          "InputMode", "Minimum", "Maximum", "ResetTimeoutonKeyPress"}},
        {"GetPinpadDetails", {"QR_code", "TID", "MID", "Acquirer"}},
        {"GetVariable", variable},
        {"InterceptSet", {"VORTAXIS_BRIDGE"}},
        {"PrintReceipt", {"Receipt", "Printer", "ReceiptType"}},
        {"ReprintReceiptEvent", {"ResponseCode", "ResponseText", "Merchant", "Success"}},
        {"SendHostMessage", {"MsgType", "HostId", "Timeout", "Message", "IsXML", "MID", "TID"}},
        {"SendToDLL", {"RegisterForPosDirectEntryPoint"}},
        {"SetTimer", {"Interval"}},
        {"SetVariable", {"VariableName", "Value"}},
        {"StartSession", {"SessionTimeout"}},
        {"Trace", {"TraceData"}},
        {"WaitForKeyPress", {"PosKeyMask", "PinpadKeyMask", "Timeout"}},
    };
    return fields;
}

const Names& envelopeNames() {
    static const Names names{"VORTAXIS_SOURCE", "VORTAXIS_DESTINATION", "OTHER_DLL_DESTINATION",
                             "VORTAXIS_METHOD", "VORTAXIS_EVENT"};
    return names;
}

const Names& gatewayMembers() {
    static const Names names{
        "mt",        "type",          "trn",        "stan",       "ref",      "uid",
        "agent",     "trackinguid",   "pan",        "pansrc",     "code",     "txref",
        "txid",      "manualorderid", "amt",        "currency",   "totalamt", "txnName",
        "basket",    "sentcount",     "replycount", "timeout",    "username", "password",
        "token",     "countrycode",   "phone",      "paysid",     "hppsid",   "hppstatus",
        "orderid",   "refundid",      "mid",        "brand",      "store",    "lane",
        "pad",       "date",          "time",       "tzd",        "tt",       "ppacq",
        "pptid",     "ppmid",         "posname",    "posversion", "vendorid", "comp",
        "staffcode", "staffname",     "opr"};
    return names;
}

const Names& gatewayKinds() {
    static const Names kinds{"A+", "O", "D", "N", "Q", "P", "R"};
    return kinds;
}

const Names& posRequestFields() {
    static const Names names{
        "TxnType",          "AmtPurchase", "CurrencyCode",     "TxnRef",    "CutReceipt",
        "ReceiptAutoPrint", "PrinterName", "OriginalSource",   "OneButton", "PurchaseAnalysisData",
        "BasketData",       "Merchant",    "OriginalProcessor"};
    return names;
}

const Names& variableNames() {
    static const Names names{"TERMINAL_REF_NUM",
                             "MERCHANT_ID",
                             "STORE_ID",
                             "LANE_ID",
                             "BRAND",
                             "COUNTRY_CODE",
                             "HOST_ID",
                             "MIN_CARD_LENGTH",
                             "MAX_CARD_LENGTH",
                             "TIMEOUT_RESPONSE",
                             "REVERSAL_ON_SALE",
                             "REVERSAL_TIMER",
                             "INPUT_TIMEOUT",
                             "PAYMENT_MODE",
                             "QR_CODE_ERROR_CORRECTION",
                             "QR_CODE_HEADING",
                             "QR_CODE_SUBTITLE",
                             "RETRY_LIMIT",
                             "RECEIPT_HEADER",
                             "RECEIPT_FOOTER",
                             "RECEIPT_WIDTH",
                             "USERNAME",
                             "PASSWORD",
                             "TOKEN",
                             "ACTIVATION_STATUS",
                             "LAST_TXN",
                             "LAST_RECEIPT",
                             "RECEIPT_DUPLICATE",
                             "REVERSAL_DATA",
                             "STAN",
                             "TXN_NO"};
    return names;
}

// Empty when names holds name; else what is wrong, with the nearest name.
std::string unknownName(const std::string& name, const Names& names, const std::string& what) {
    for (const std::string& candidate : names) {
        if (candidate == name) {
            return std::string();
        }
    }
    const std::string near = didYouMean(name, names);
    return "\"" + name + "\" is not " + what +
           (near.empty() ? "" : " (did you mean " + near + "?)");
}

class NameChecker {
  public:
    NameChecker(const std::string& file, std::vector<ParseError>& errors)
        : file_(file), errors_(errors) {}

    // False (with an error) when name is not among names.
    bool known(int line, const std::string& name, const Names& names, const std::string& what) {
        const std::string error = unknownName(name, names, what);
        if (!error.empty()) {
            errors_.push_back(ParseError{file_, line, error});
        }
        return error.empty();
    }

    // The first step of each checked path (the rest may reach into a value).
    void paths(const Expectation& e, const Names& names, const std::string& what,
               const Names* envelope = nullptr) {
        for (const Check& check : e.checks) {
            const std::string first = check.path.substr(0, check.path.find('/'));
            if (first == "$result" || first == "$capacity") {
                continue;
            }
            if (!first.empty() && first[0] == '@') {
                if (envelope != nullptr) {
                    known(e.line, first.substr(1), *envelope, "a field of " + what + "'s envelope");
                    continue;
                }
            }
            known(e.line, first, names, "a field of " + what);
        }
    }

    void request(int line, const std::string& name, const Expectation* e) {
        const auto found = requestFields().find(name);
        if (found == requestFields().end()) {
            Names names;
            for (const auto& entry : requestFields()) {
                names.push_back(entry.first);
            }
            known(line, name, names, "a request the module sends");
        } else if (e != nullptr) {
            paths(*e, found->second, "a " + name, &envelopeNames());
        }
    }

    void gatewayKind(int line, const std::string& kind) {
        const bool reversal = kind.size() > 1 && kind.back() == '-';
        const std::string base = reversal ? kind.substr(0, kind.size() - 1) : kind;
        if (kind != "*" && kind != "?") {
            known(line, base, gatewayKinds(), "a gateway message kind");
        }
    }

    void expectation(const Expectation& e) {
        static const std::map<ExpectKind, Names> own{
            {ExpectKind::startup, {"result", "version", "byte43"}},
            {ExpectKind::delivered, {"returned", "reply"}},
            {ExpectKind::receipt, {"line", "text", "printer", "type"}},
            {ExpectKind::journal, {"text"}},
        };
        switch (e.kind) {
        case ExpectKind::result:
            return paths(e, transactionEventFields(), "a TransactionEvent");
        case ExpectKind::request:
        case ExpectKind::posEvent:
            return request(e.line, e.subject, &e);
        case ExpectKind::requestOrder:
        case ExpectKind::startupRequests:
            for (const std::string& word : e.words) {
                request(e.line, word.substr(0, word.find(':')), nullptr);
            }
            return;
        case ExpectKind::gateway:
            gatewayKind(e.line, e.subject);
            return paths(e, gatewayMembers(), "a gateway message",
                         &requestFields().at("SendHostMessage"));
        case ExpectKind::gatewayKinds:
            for (const std::string& kind : e.words) {
                gatewayKind(e.line, kind);
            }
            return;
        case ExpectKind::variables:
            for (const Check& check : e.checks) {
                variable(e.line, check.path);
            }
            return;
        default:
            break;
        }
        const auto found = own.find(e.kind);
        if (found != own.end()) {
            paths(e, found->second, "this expectation");
        }
    }

    void variable(int line, const std::string& name) {
        known(line, name, variableNames(), "a host variable the module uses");
    }

    void action(const Action& action) {
        if (action.kind == ActionKind::pos || action.kind == ActionKind::entry) {
            for (const auto& field : action.fields) {
                known(action.line, field.first.substr(0, field.first.find('/')), posRequestFields(),
                      "a field of a POS request");
            }
        } else if (action.kind == ActionKind::setVar || action.kind == ActionKind::clearVar) {
            variable(action.line, action.name);
        }
    }

    void rule(const Rule& rule) {
        if (rule.trigger == TriggerKind::gateway) {
            gatewayKind(rule.line, rule.match);
        } else if (rule.trigger == TriggerKind::request) {
            request(rule.line, rule.match, nullptr);
        }
        action(rule.action);
    }

  private:
    const std::string& file_;
    std::vector<ParseError>& errors_;
};

} // namespace

std::string unknownVariableError(const std::string& name) {
    return unknownName(name, variableNames(), "a host variable the module uses");
}

void checkNames(const Scenario& scenario, std::vector<ParseError>& errors) {
    NameChecker checker(scenario.file, errors);
    for (const Expectation& e : scenario.expectations) {
        checker.expectation(e);
    }
    for (const TimedAction& timed : scenario.timeline) {
        checker.action(timed.action);
    }
    for (const Rule& rule : scenario.rules) {
        checker.rule(rule);
    }
}

} // namespace sim
