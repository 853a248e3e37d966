#include "documents/tag_list.h"
#include "documents/trim_set.h"

#include "documents/json_text.h"
#include "documents/xml_node.h"
#include "platform/platform.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

using json = nlohmann::json;

// A whole-text integer of at most three bytes: leading white space and a
// sign accepted, at least one digit, nothing after the digits.
bool readWholeNumber(const std::string& text, int& value) {
    std::size_t pos = 0;
    while (pos < text.size() && isTrimByte(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t digitsStart = pos;
    int number = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        number = number * 10 + (text[pos] - '0');
    }
    if (pos == digitsStart || pos != text.size()) {
        return false;
    }
    value = negative ? -number : number;
    return true;
}

// "000" followed by the number, last three characters.
std::string threeDigits(std::size_t number) {
    const std::string padded = "000" + std::to_string(number);
    return padded.substr(padded.size() - 3);
}

void appendEntry(std::string& out, const TagList::Entry& entry) {
    out += (entry.tag + "   ").substr(0, 3);
    out += threeDigits(entry.value.size());
    out += entry.value;
}

// Moves a tag's value into a request field and takes the tag out.
void moveTag(TagList& tags, const char* tag, std::optional<std::string>& field) {
    if (!tags.contains(tag)) {
        return;
    }
    field = tags.get(tag);
    tags.remove(tag);
}

// OPR: the whole value, its first piece (staff code) and, when the value
// holds a vertical bar, its second piece (staff name).
void mapOperator(TagList& tags, GatewayRequest& request) {
    moveTag(tags, "OPR", request.opr);
    if (!request.opr || request.opr->empty()) {
        return;
    }
    const std::string& value = *request.opr;
    const std::size_t bar = value.find('|');
    request.staffcode = value.substr(0, bar);
    if (bar != std::string::npos) {
        const std::size_t next = value.find('|', bar + 1);
        request.staffname =
            value.substr(bar + 1, next == std::string::npos ? std::string::npos : next - bar - 1);
    }
}

void mapTrackingId(TagList& tags, GatewayRequest& request) {
    if (tags.contains("UID")) {
        moveTag(tags, "UID", request.trackinguid);
    } else {
        request.trackinguid = platform::newUuid();
    }
}

bool orderIdFromJson(const std::string& text, std::string& orderId, std::string& error) {
    json value;
    if (!jsonText::parse(text, value, &error)) {
        return false;
    }
    if (!value.is_object()) {
        error = std::string("RFN must be an object, but is ") + value.type_name();
        return false;
    }
    const auto member = value.find("orderid");
    if (member == value.end()) {
        error = "RFN has no orderid";
        return false;
    }
    if (!member->is_string()) {
        error = std::string("orderid: type must be string, but is ") + member->type_name();
        return false;
    }
    orderId = member->get<std::string>();
    return true;
}

// RFN gives the order id (plain, or the `orderid` of a JSON object), and a
// REF beside it is the gateway's transaction reference; without RFN, REF is
// the order id.
void mapOrderId(TagList& tags, GatewayRequest& request, PurchaseAnalysisOutcome& outcome) {
    if (!tags.contains("RFN")) {
        moveTag(tags, "REF", request.orderid);
        return;
    }
    const std::string rfn = tags.get("RFN");
    tags.remove("RFN");
    std::string orderId = rfn;
    if (!rfn.empty() && rfn[0] == '{' && !orderIdFromJson(rfn, orderId, outcome.orderIdError)) {
        outcome.orderIdUnreadable = true;
    } else {
        request.orderid = orderId;
    }
    moveTag(tags, "REF", request.txref);
}

void mapAmount(TagList& tags, GatewayRequest& request) {
    if (!tags.contains("AMT")) {
        return;
    }
    std::int32_t amount = 0;
    if (readLeadingInteger(tags.get("AMT"), amount) && amount > 0) {
        request.totalamt = amount;
    }
    tags.remove("AMT");
}

void mapPaymentMode(TagList& tags, PurchaseAnalysisOutcome& outcome) {
    if (!tags.contains("PMD")) {
        return;
    }
    outcome.smsRequested = tags.get("PMD") == "SMS";
    tags.remove("PMD");
}

// The refund reference handed back to the POS: {"merchant":"70","orderid":...}.
std::string refundReference(const std::string& orderId) {
    json object = json::object();
    object["merchant"] = "70";
    object["orderid"] = orderId;
    return jsonText::dump(object);
}

} // namespace

TagList::TagList(const std::string& text) {
    if (!parse(text, true)) {
        parse(text, false);
    }
}

bool TagList::parse(const std::string& text, bool withHeader) {
    entries_.clear();
    std::size_t pos = 0;
    std::size_t end = text.size();
    if (withHeader) {
        int count = 0;
        if (!readWholeNumber(text.substr(0, 3), count)) {
            return false;
        }
        // The end given by the header, lowered to the text's end.
        const long long headerEnd = std::min(count + 3LL, static_cast<long long>(text.size()));
        if (headerEnd < 3) {
            return false;
        }
        end = static_cast<std::size_t>(headerEnd);
        pos = 3;
    }
    while (pos != end) {
        if (end - pos < 6) {
            return false;
        }
        int length = 0;
        if (!readWholeNumber(text.substr(pos + 3, 3), length) || length < 0 ||
            static_cast<std::size_t>(length) > end - pos - 6) {
            return false;
        }
        entries_.push_back(Entry{text.substr(pos, 3), text.substr(pos + 6, length)});
        pos += 6 + static_cast<std::size_t>(length);
    }
    return true;
}

std::string TagList::toString(bool withHeader) const {
    std::vector<std::string> leftOut;
    return toString(withHeader, leftOut);
}

std::string TagList::toString(bool withHeader, std::vector<std::string>& leftOut) const {
    std::string body;
    for (const Entry& entry : entries_) {
        const bool valueFits = entry.value.size() <= maxLength;
        const bool bodyFits = !withHeader || body.size() + 6 + entry.value.size() <= maxLength;
        if (valueFits && bodyFits) {
            appendEntry(body, entry);
        } else {
            leftOut.push_back(entry.tag);
        }
    }
    return withHeader ? threeDigits(body.size()) + body : body;
}

bool TagList::contains(const std::string& tag) const {
    for (const Entry& entry : entries_) {
        if (entry.tag == tag) {
            return true;
        }
    }
    return false;
}

std::string TagList::get(const std::string& tag) const {
    for (const Entry& entry : entries_) {
        if (entry.tag == tag) {
            return entry.value;
        }
    }
    return std::string();
}

TagList::Entry& TagList::getOrAdd(const std::string& tag) {
    for (Entry& entry : entries_) {
        if (entry.tag == tag) {
            return entry;
        }
    }
    entries_.push_back(Entry{tag, std::string()});
    return entries_.back();
}

void TagList::remove(const std::string& tag) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->tag == tag) {
            entries_.erase(it);
            return;
        }
    }
}

PurchaseAnalysisOutcome mapPurchaseAnalysis(TagList& tags, GatewayRequest& request) {
    PurchaseAnalysisOutcome outcome;
    tags.remove("PCM");
    mapOperator(tags, request);
    mapTrackingId(tags, request);
    moveTag(tags, "VND", request.vendorid);
    moveTag(tags, "NME", request.posname);
    moveTag(tags, "VER", request.posversion);
    moveTag(tags, "PAN", request.pan);
    mapOrderId(tags, request, outcome);
    mapAmount(tags, request);
    mapPaymentMode(tags, outcome);
    moveTag(tags, "PHN", request.phone);
    if (!tags.empty()) {
        std::string pad = tags.toString(false, outcome.tagsLeftOut);
        if (!pad.empty()) {
            request.pad = std::move(pad);
        }
    }
    return outcome;
}

PurchaseAnalysisOutcome mapPurchaseAnalysis(const xmlNode& posRequest, GatewayRequest& request) {
    TagList tags(posRequest.getChildText("PurchaseAnalysisData", ""));
    return mapPurchaseAnalysis(tags, request);
}

TagList resultTags(const GatewayReply& reply, const GatewayRequest& request,
                   const std::string& responseCode, const std::string& txnType) {
    TagList tags(reply.pad.value_or(""));
    if (reply.hrc) {
        tags.set("HRC", *reply.hrc);
    }
    if (reply.hrt) {
        tags.set("HRT", *reply.hrt);
    }
    if (reply.txref) {
        tags.set("REF", *reply.txref);
    }
    if (responseCode == "00" && txnType == "P" && reply.orderid) {
        tags.set("RFN", refundReference(*reply.orderid));
    }
    if (reply.trackinguid) {
        tags.set("UID", *reply.trackinguid);
    } else if (request.trackinguid) {
        tags.set("UID", *request.trackinguid);
    }
    if (reply.amt) {
        tags.set("AMT", std::to_string(*reply.amt));
    }
    return tags;
}

BasketOutcome takeBasket(const xmlNode& posRequest, GatewayRequest& request) {
    BasketOutcome outcome;
    const int basketData = posRequest.findChild("BasketData");
    if (basketData < 0) {
        return outcome;
    }
    const xmlNode& element = posRequest.child(basketData);
    const int jsonChild = element.findChild("json");
    if (jsonChild < 0) {
        request.basket.reset();
        outcome.status = BasketStatus::noJsonChild;
        return outcome;
    }
    const std::string& text = element.child(jsonChild).text;
    json value;
    if (!jsonText::parse(text, value, &outcome.error)) {
        request.basket.reset();
        outcome.status = BasketStatus::notJson;
        return outcome;
    }
    request.basket = text;
    outcome.status = BasketStatus::taken;
    return outcome;
}
