#include "transaction/pos_request_validation.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using RequestFields = std::map<std::string, std::string>;

const char* const kPurchaseTags = "SKU003ABCOPR00917|OPNAMEAMT0041250UID000NME003POSVER0031.0"
                                  "VND004ACMEPCM000";
const char* const kRefundTags = "RFN005X1234OPR00217AMT0041250UID000NME003POSVER0031.0"
                                "VND004ACMEPCM000";

RequestFields validPurchase() {
    return {{"TxnType", "P"},        {"AmtPurchase", "1250"},
            {"CurrencyCode", "AUD"}, {"TxnRef", "REF0001"},
            {"CutReceipt", "1"},     {"ReceiptAutoPrint", "0"},
            {"OneButton", "1"},      {"PurchaseAnalysisData", kPurchaseTags}};
}

RequestFields validRefund() {
    RequestFields fields = validPurchase();
    fields["TxnType"] = "R";
    fields["PurchaseAnalysisData"] = kRefundTags;
    return fields;
}

xmlNode requestWith(const RequestFields& fields) {
    xmlNode request;
    request.name = "DoTransaction";
    for (const auto& field : fields) {
        request.child(request.addChild(field.first)).text = field.second;
    }
    return request;
}

std::string errorFor(const xmlNode& request) {
    std::string errorText = "left over from before";
    const bool valid = validatePosRequest(request, errorText);
    EXPECT_EQ(valid, errorText.empty()) << errorText;
    return errorText;
}

RequestFields with(RequestFields fields, const std::string& name, const std::string& value) {
    fields[name] = value;
    return fields;
}

RequestFields without(RequestFields fields, const std::string& name) {
    fields.erase(name);
    return fields;
}

TEST(PosRequestValidationTest, CompleteRequestsPass) {
    EXPECT_EQ(errorFor(requestWith(validPurchase())), "");
    EXPECT_EQ(errorFor(requestWith(validRefund())), "");
    EXPECT_EQ(errorFor(requestWith(with(validPurchase(), "CurrencyCode", " AUD "))), "");
}

struct FieldCase {
    RequestFields fields;
    std::string error;
};

TEST(PosRequestValidationTest, ReportsTheFirstFieldThatFails) {
    const FieldCase cases[] = {
        {without(validPurchase(), "TxnType"), "TXNTYPE MUST = P | R"},
        {with(validPurchase(), "TxnType", "p"), "TXNTYPE MUST = P | R"},
        {with(validPurchase(), "TxnType", "P "), "TXNTYPE MUST = P | R"},
        {without(validPurchase(), "AmtPurchase"), "AMTPURCHASE < 0     "},
        {with(validPurchase(), "AmtPurchase", "-1"), "AMTPURCHASE < 0     "},
        {with(validPurchase(), "AmtPurchase", "abc"), "AMTPURCHASE < 0     "},
        {with(validPurchase(), "AmtPurchase", "99999999999"), "AMTPURCHASE < 0     "},
        {with(validPurchase(), "AmtPurchase", "0"), ""},
        {with(validPurchase(), "AmtPurchase", " 150"), ""},
        {with(validPurchase(), "AmtPurchase", "150c"), ""},
        {without(validPurchase(), "CurrencyCode"), "CURRENCYCODE = NULL "},
        {with(validPurchase(), "CurrencyCode", "   "), "CURRENCYCODE = NULL "},
        {with(validPurchase(), "CurrencyCode", "\t\r\n\f\v"), "CURRENCYCODE = NULL "},
        {without(validPurchase(), "TxnRef"), "TXNREF = NULL       "},
        {without(validPurchase(), "CutReceipt"), "CUTRECEIPT = NULL   "},
        {without(validPurchase(), "ReceiptAutoPrint"), "RECEIPTAUTOPRINT=NUL"},
        {with(validPurchase(), "ReceiptAutoPrint", "  "), "RECEIPTAUTOPRINT=NUL"},
        // Only the first failure is reported.
        {without(without(validPurchase(), "TxnRef"), "AmtPurchase"), "AMTPURCHASE < 0     "},
        {without(without(validPurchase(), "PurchaseAnalysisData"), "CutReceipt"),
         "CUTRECEIPT = NULL   "},
    };
    for (const FieldCase& c : cases) {
        const xmlNode request = requestWith(c.fields);
        const std::string error = errorFor(request);
        EXPECT_EQ(error, c.error) << request.toString();
        EXPECT_TRUE(error.empty() || error.size() == 20u) << error;
    }
}

struct TagCase {
    std::string txnType;
    std::string tags;
    std::string error;
};

TEST(PosRequestValidationTest, ReportsTheFirstMissingTag) {
    const TagCase cases[] = {
        {"P", "", "MUST INCLUDE SKU TAG"},
        {"R", "", "MUST INCLUDE RFN TAG"},
        {"P", "AMT0041250", "MUST INCLUDE SKU TAG"},
        {"R", "SKU003ABCOPR000AMT000UID000NME000VER000VND000PCM000", "MUST INCLUDE RFN TAG"},
        {"R", "RFN000OPR000AMT000UID000NME000VER000VND000PCM000", ""},
        {"P", "sku003ABCOPR000AMT000UID000NME000VER000VND000PCM000", "MUST INCLUDE SKU TAG"},
        {"P", "SKU000", "MUST INCLUDE OPR TAG"},
        {"P", "SKU000OPR000", "MUST INCLUDE AMT TAG"},
        {"P", "SKU000OPR000AMT000", "MUST INCLUDE UID TAG"},
        {"P", "SKU000OPR000AMT000UID000", "MUST INCLUDE NME TAG"},
        {"P", "SKU000OPR000AMT000UID000NME000", "MUST INCLUDE VER TAG"},
        {"R", "RFN000OPR000AMT000UID000NME000VER000", "MUST INCLUDE VND TAG"},
        {"R", "RFN000OPR000AMT000UID000NME000VER000VND000", "MUST INCLUDE PCM TAG"},
        // Order within the data does not matter.
        {"P", "PCM000VND000VER000NME000UID000AMT000OPR000SKU000", ""},
        // The header form is read too.
        {"P", "048SKU000OPR000AMT000UID000NME000VER000VND000PCM000", ""},
        // A damaged list keeps what was read before the damage.
        {"P", "SKU000OPR000AMT999", "MUST INCLUDE AMT TAG"},
    };
    for (const TagCase& c : cases) {
        RequestFields fields = with(validPurchase(), "TxnType", c.txnType);
        fields["PurchaseAnalysisData"] = c.tags;
        EXPECT_EQ(errorFor(requestWith(fields)), c.error) << c.txnType << ' ' << c.tags;
    }
}

TEST(PosRequestValidationTest, RequiredTagsPerTransactionType) {
    const std::vector<std::string> common = {"OPR", "AMT", "UID", "NME", "VER", "VND", "PCM"};
    std::vector<std::string> purchase = {"SKU"};
    purchase.insert(purchase.end(), common.begin(), common.end());
    std::vector<std::string> refund = {"RFN"};
    refund.insert(refund.end(), common.begin(), common.end());

    EXPECT_EQ(requiredTags("P"), purchase);
    EXPECT_EQ(requiredTags("R"), refund);
    EXPECT_EQ(requiredTags("X"), common);
}

} // namespace
