#include "transaction/pos_request_validation.h"

#include "documents/tag_list.h"

namespace {

const char* const kTrimSet = " \t\n\r\f\v";

bool blankAfterTrim(const std::string& text) {
    return text.find_first_not_of(kTrimSet) == std::string::npos;
}

bool fieldIsBlank(const xmlNode& request, const std::string& field) {
    return blankAfterTrim(request.getChildText(field, ""));
}

// Absent, unreadable and overflowing amounts all read as -1.
int amountOf(const xmlNode& request) {
    constexpr int unreadable = -1;
    const int index = request.findChild("AmtPurchase");
    return index < 0 ? unreadable : request.child(index).getTextInt(unreadable);
}

struct FieldCheck {
    const char* field;
    const char* errorText;
};

// Fields that must hold something other than white space, in checking order.
const FieldCheck kNonBlankFields[] = {
    {"CurrencyCode", "CURRENCYCODE = NULL "},
    {"TxnRef", "TXNREF = NULL       "},
    {"CutReceipt", "CUTRECEIPT = NULL   "},
    {"ReceiptAutoPrint", "RECEIPTAUTOPRINT=NUL"},
};

bool checkFields(const xmlNode& request, const std::string& txnType, std::string& errorText) {
    if (txnType != "P" && txnType != "R") {
        errorText = "TXNTYPE MUST = P | R";
        return false;
    }
    if (amountOf(request) < 0) {
        errorText = "AMTPURCHASE < 0     ";
        return false;
    }
    for (const FieldCheck& check : kNonBlankFields) {
        if (fieldIsBlank(request, check.field)) {
            errorText = check.errorText;
            return false;
        }
    }
    return true;
}

bool checkTags(const xmlNode& request, const std::string& txnType, std::string& errorText) {
    const TagList tags(request.getChildText("PurchaseAnalysisData", ""));
    for (const std::string& tag : requiredTags(txnType)) {
        if (!tags.contains(tag)) {
            errorText = "MUST INCLUDE " + tag + " TAG";
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> requiredTags(const std::string& txnType) {
    std::vector<std::string> tags;
    if (txnType == "P") {
        tags.push_back("SKU");
    } else if (txnType == "R") {
        tags.push_back("RFN");
    }
    for (const char* common : {"OPR", "AMT", "UID", "NME", "VER", "VND", "PCM"}) {
        tags.push_back(common);
    }
    return tags;
}

bool validatePosRequest(const xmlNode& request, std::string& errorText) {
    errorText.clear();
    const std::string txnType = request.getChildText("TxnType", "?");
    return checkFields(request, txnType, errorText) && checkTags(request, txnType, errorText);
}
