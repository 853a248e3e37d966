#include "gateway/response_info.h"

#include <utility>

#include "documents/trim_set.h"

namespace {

const std::array<ResponseRow, kResponseTableSize> kRows = {{
    {"00", "TRANSACTION APPROVED", "  TRANSACTION   ", "    APPROVED    ", "TRANSACTION",
     "APPROVED"},
    {"0A", "TRANSACTION CLEARED ", "  TRANSACTION   ", "    CLEARED     ", "TRANSACTION",
     "CLEARED"},
    {"BB", "GENERIC CLIENT BUSY", " GENERIC CLIENT ", "      BUSY      ", "DECLINED",
     "GENERIC CLIENT BUSY"},
    {"BY", "PINPAD BUSY", "  PINPAD BUSY   ", "                ", "DECLINED", "PINPAD BUSY"},
    {"PF", "PINPAD OFFLINE", " PINPAD OFFLINE ", "                ", "DECLINED", "PINPAD OFFLINE"},
    {"H0", "CONFIG REQUIRED", "CONFIG  REQUIRED", "                ", "DECLINED",
     "CONFIG REQUIRED"},
    {"H1", "ACTIVATION REQUIRED", "ACTIVATION REQ. ", "                ", "DECLINED",
     "ACTIVATION REQUIRED"},
    {"T8", "INVALID AMOUNT", " INVALID AMOUNT ", "                ", "DECLINED", "INVALID AMOUNT"},
    {"TF", "LOGON REQUIRED", " LOGON REQUIRED ", "                ", "DECLINED", "LOGON REQUIRED"},
    {"TM", "OPERATOR CANCEL", "OPERATOR CANCEL ", "                ", "DECLINED",
     "OPERATOR CANCEL"},
    {"TI", "OPERATOR TIMEOUT", "OPERATOR TIMEOUT", "                ", "DECLINED",
     "OPERATOR TIMEOUT"},
    {"TL", "SIGNATURE DECLINED", "   SIGNATURE    ", "    DECLINED    ", "DECLINED",
     "SIGNATURE DECLINED"},
    {"TP", "TRANS NOT ALLOWED", "   TRANSACTION  ", "   NOT ALLOWED  ", "DECLINED",
     "TRANS NOT ALLOWED"},
    {"TU", "BATCH FULL", "   BATCH FULL   ", "                ", "DECLINED", "BATCH FULL"},
    {"X0", "NO RESPONSE", "   NO RESPONSE  ", "                ", "DECLINED", "NO RESPONSE"},
    {"X1", "EFB DISALLOWED", " EFB DISALLOWED ", "                ", "DECLINED", "EFB DISALLOWED"},
    {"X2", "SYSTEM ERROR", "  SYSTEM ERROR  ", "                ", "DECLINED", "SYSTEM ERROR"},
    {"X3", "OVER EFB LIMIT", " OVER EFB LIMIT ", "                ", "DECLINED", "OVER EFB LIMIT"},
    {"X4", "INVALID HOST STAN", "    INVALID     ", "   HOST  STAN   ", "DECLINED",
     "INVALID HOST STAN"},
    {"X7", "MAC ERROR", "   MAC  ERROR   ", "                ", "DECLINED", "MAC ERROR"},
    {"XC", "INVALID HOST MSG", "    INVALID     ", "  HOST MESSAGE  ", "DECLINED",
     "INVALID HOST MSG"},
    {"TX", "UNABLE TO PROCESS", "    UNABLE      ", "   TO PROCESS   ", "DECLINED",
     "UNABLE TO PROCESS"},
    {"TB", "INVALID CARD DATA", "    INVALID     ", "   CARD DATA    ", "DECLINED",
     "INVALID CARD DATA"},
    {"75", "INVALID CODE", "  INVALID CODE  ", "                ", "DECLINED", "INVALID CODE"},
    {"XF", "INVALID TXN", "  INVALID  TXN  ", "                ", "DECLINED", "INVALID TXN"},
    {"XG", "TXN NOT SUPPORTED", "   TRANSACTION  ", " NOT  SUPPORTED ", "DECLINED",
     "TXN NOT SUPPORTED"},
    {"F0", "REQ FIELD MISSING", "   TRANSACTION  ", "  FIELD MISSING ", "DECLINED",
     "FIELD MISSING"},
    {"Z0", "MODEM ERROR", "   MODEM ERROR  ", "                ", "DECLINED", "MODEM ERROR"},
    {"Z1", "MESSAGE TYPE ERROR", "  MESSAGE TYPE  ", "     ERROR      ", "DECLINED",
     "MESSAGE TYPE ERROR"},
}};

const ResponseRow* findRow(const std::string& code) {
    for (const ResponseRow& row : kRows) {
        if (code == row.code) {
            return &row;
        }
    }
    return nullptr;
}

const char* const systemErrorCode = "X2";

bool isCodeShaped(const std::string& code) {
    const auto letterOrDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    return code.size() == 2 && letterOrDigit(code[0]) && letterOrDigit(code[1]);
}

void copyRow(const ResponseRow& row, ResponseInfo& info) {
    info.code = row.code;
    info.text = row.text;
    info.pinpadLine1 = row.pinpadLine1;
    info.pinpadLine2 = row.pinpadLine2;
    info.posLine1 = row.posLine1;
    info.posLine2 = row.posLine2;
}

// Splits a text too long for one pinpad line over the two lines: at the
// last space of the first line when the remainder fits the second line,
// else hard after the first line's width.
void splitOverPinpadLines(const std::string& text, ResponseInfo& info) {
    const std::size_t space = text.find_last_of(' ', kPinpadLineWidth - 1);
    if (space != std::string::npos && space >= 1 && text.size() - (space + 1) <= kPinpadLineWidth) {
        info.pinpadLine1 = centre16(text.substr(0, space));
        info.pinpadLine2 = centre16(text.substr(space + 1));
        return;
    }
    info.pinpadLine1 = centre16(text.substr(0, kPinpadLineWidth));
    info.pinpadLine2 = centre16(text.substr(kPinpadLineWidth));
}

} // namespace

const std::array<ResponseRow, kResponseTableSize>& responseTable() {
    return kRows;
}

std::string centre16(const std::string& text, std::size_t width) {
    std::string core = trimmed(text);
    if (core.size() >= width) {
        return core.substr(0, width);
    }
    const std::size_t padding = width - core.size();
    const std::size_t left = (padding + 1) / 2;
    return std::string(left, ' ') + core + std::string(padding - left, ' ');
}

void ResponseInfo::lookupResponse(std::string responseCode, std::string hostText) {
    clear();
    if (!isCodeShaped(responseCode)) {
        // Every record the code goes into (journal, receipt, the POS's
        // result) holds two characters: anything else is not a code the
        // host or gateway could mean, and is reported as a system error.
        responseCode = systemErrorCode;
    }
    if (const ResponseRow* row = findRow(responseCode)) {
        copyRow(*row, *this);
        return;
    }
    code = std::move(responseCode);
    posLine1 = "DECLINED";
    if (hostText.empty()) {
        text = "SYSTEM ERROR " + code;
        pinpadLine1 = centre16(text);
    } else {
        text = std::move(hostText);
        pinpadLine1 = centre16(text);
        if (text.size() > kPinpadLineWidth) {
            splitOverPinpadLines(text, *this);
        }
    }
    posLine2 = text;
}

void ResponseInfo::setResponse(const std::string& responseCode) {
    lookupResponse(responseCode, std::string());
}

void ResponseInfo::clear() {
    code.clear();
    text.clear();
    pinpadLine1.clear();
    pinpadLine2.clear();
    posLine1.clear();
    posLine2.clear();
}
