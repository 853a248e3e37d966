// Purchase analysis data: the tag list a POS request carries in
// `PurchaseAnalysisData` and the TransactionEvent returns in the same field,
// its mapping onto the gateway request, the result tags, and the basket.
//
// Text form of an entry: a 3-byte tag, the value's length as 3 decimal digits
// and the value ("SKU003ABC"). A list is its entries one after another
// (plain) or, with header, a 3-digit count of the bytes that follow in front
// ("009SKU003ABC").
//
// Lengths above 999 cannot be written in three digits. toString() never
// writes a length that differs from its value: an entry whose value is longer
// than 999 bytes, or (with header) one that would take the list body past 999
// bytes, is left out, the entries after it are still written, and the tags
// left out are reported to the caller so it can trace them.
#pragma once

#include "documents/gateway_message.h"

#include <string>
#include <vector>

class xmlNode;

class TagList {
  public:
    struct Entry {
        std::string tag;
        std::string value;
    };

    static constexpr std::size_t maxLength = 999;

    TagList() = default;
    // Parses with header; when that fails, again (from empty) in the plain
    // form, keeping whatever that read.
    explicit TagList(const std::string& text);

    // Empties the list and reads the text. A failed parse keeps the entries
    // read before the fault. Never reads beyond the text, whatever its header
    // or length fields say.
    bool parse(const std::string& text, bool withHeader);
    std::string toString(bool withHeader) const;
    // Also names the tags of the entries left out (see above).
    std::string toString(bool withHeader, std::vector<std::string>& leftOut) const;

    bool contains(const std::string& tag) const;
    // The first matching entry's value, or "" when there is none.
    std::string get(const std::string& tag) const;
    // The first matching entry, appended with an empty value when there is
    // none. The reference is valid until the list next changes.
    Entry& getOrAdd(const std::string& tag);
    void set(const std::string& tag, const std::string& value) { getOrAdd(tag).value = value; }
    // Removes the first matching entry; no effect when there is none.
    void remove(const std::string& tag);
    bool empty() const { return entries_.empty(); }
    const std::vector<Entry>& entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
};

// What the purchase-analysis mapping found that the calling step acts on.
struct PurchaseAnalysisOutcome {
    bool smsRequested = false;            // PMD was exactly "SMS"
    bool orderIdUnreadable = false;       // RFN in JSON form gave no order id
    std::string orderIdError;             // why, as text for the trace
    std::vector<std::string> tagsLeftOut; // remaining entries too long for `pad`
};

// Applies the tags to the request in their fixed order (PCM, OPR, UID, VND,
// NME, VER, PAN, RFN, REF, AMT, PMD, PHN), taking every tag it uses out of
// the list; the entries that remain (SKU among them) go into `pad` in plain
// form. An absent UID gives `trackinguid` = a new UUID from the platform.
// An RFN that begins with "{" but is not a JSON object with a string
// `orderid` sets no `orderid` and is reported; the other tags are still
// applied, so the request keeps its tracking id for the result.
PurchaseAnalysisOutcome mapPurchaseAnalysis(TagList& tags, GatewayRequest& request);
// The same for a POS request: its `PurchaseAnalysisData` text ("" when
// absent) read as TagList(text).
PurchaseAnalysisOutcome mapPurchaseAnalysis(const xmlNode& posRequest, GatewayRequest& request);

// The tags returned to the POS: the reply's `pad`, then HRC, HRT, REF, RFN
// (approved purchase with an order id), UID and AMT, each set in place. The
// caller writes them with header when the list is not empty.
TagList resultTags(const GatewayReply& reply, const GatewayRequest& request,
                   const std::string& responseCode, const std::string& txnType);

// The basket of a POS request. A `BasketData` element whose `json` child
// holds JSON text puts that text, unchanged, into `basket`. A `BasketData`
// without a `json` child, or one whose text is not JSON, cannot be sent: the
// basket is left out of the request (made absent) and the status says why,
// so the flow can trace it and go on. Without `BasketData` the request is not
// touched.
enum class BasketStatus { none, taken, noJsonChild, notJson };
struct BasketOutcome {
    BasketStatus status = BasketStatus::none;
    std::string error; // the JSON error for notJson
};
BasketOutcome takeBasket(const xmlNode& posRequest, GatewayRequest& request);
