// The messages exchanged with the payment gateway: records of optional
// fields named by their JSON keys, and their JSON text in both directions.
//
// Writing (toJson): every present field becomes a member, integers as JSON
// integers and strings as JSON strings; `basket` holds JSON text and is
// inserted as the value it parses to, unless that is null, {} or [], or the
// text is not JSON at all (then the member is left out; takeBasket() in
// tag_list.h reports such a basket to the flow). The text is compact with the
// members in ascending key order, and bytes that are not UTF-8 are copied.
//
// Reading (fromJson): tolerant of the member types a gateway sends:
//   integer field - integer (cut to 32 bits), floating point rounded down,
//                   true/false as 1/0, a string's leading base-10 integer
//                   (leading white space and sign accepted, text after it
//                   ignored); a string without one (or whose number does not
//                   fit 32 bits), a floating point number beyond the 64-bit
//                   integer range, an object or an array fails the read.
//   string field  - string as is, true/false as "true"/"false", integer as
//                   its decimal text (taken as signed 32-bit), floating point
//                   with six decimals ("12.500000"); object or array: absent.
//   basket        - any value as its compact JSON text.
// A missing or null member leaves its field absent; other members are
// ignored; a top value that is not an object gives an all-absent record.
// A syntax or type error returns false and leaves the target unchanged; on
// success the whole target is replaced. Nothing here throws.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct GatewayRequest {
    std::optional<std::int32_t> mt;
    std::optional<std::string> type;
    std::optional<std::string> trn;
    std::optional<std::int32_t> stan;
    std::optional<std::string> ref;
    std::optional<std::string> uid;
    std::optional<std::string> agent;
    std::optional<std::string> trackinguid;
    std::optional<std::string> pan;
    std::optional<std::string> pansrc;
    std::optional<std::string> code;
    std::optional<std::string> txref;
    std::optional<std::string> txid;
    std::optional<std::string> manualorderid;
    std::optional<std::int32_t> amt;
    std::optional<std::string> currency;
    std::optional<std::int32_t> totalamt;
    std::optional<std::string> txnName;
    std::optional<std::string> basket; // JSON text
    std::optional<std::int32_t> sentcount;
    std::optional<std::int32_t> replycount;
    std::optional<std::int32_t> timeout;
    std::optional<std::string> username;
    std::optional<std::string> password;
    std::optional<std::string> token;
    std::optional<std::string> countrycode;
    std::optional<std::string> phone;
    std::optional<std::string> paysid;
    std::optional<std::string> hppsid;
    std::optional<std::string> hppstatus;
    std::optional<std::string> orderid;
    std::optional<std::string> refundid;
    std::optional<std::string> mid;
    std::optional<std::string> brand;
    std::optional<std::string> store;
    std::optional<std::string> lane;
    std::optional<std::string> pad;
    std::optional<std::string> date;
    std::optional<std::string> time;
    std::optional<std::int32_t> tzd;
    std::optional<std::string> tt;
    std::optional<std::string> ppacq;
    std::optional<std::string> pptid;
    std::optional<std::string> ppmid;
    std::optional<std::string> posname;
    std::optional<std::string> posversion;
    std::optional<std::string> vendorid;
    std::optional<std::string> comp;
    std::optional<std::string> staffcode;
    std::optional<std::string> staffname;
    std::optional<std::string> opr;
};

struct GatewayReply {
    std::optional<std::int32_t> mt;
    std::optional<std::string> type;
    std::optional<std::string> trn;
    std::optional<std::int32_t> stan;
    std::optional<std::string> ref;
    std::optional<std::string> agent;
    std::optional<std::string> token;
    std::optional<std::string> trackinguid;
    std::optional<std::string> rc;
    std::optional<std::string> rt;
    std::optional<std::string> hrc;
    std::optional<std::string> hrt;
    std::optional<std::string> txref;
    std::optional<std::string> paydt;
    std::optional<std::int32_t> amt;
    std::optional<std::string> currency;
    std::optional<std::string> paysid;
    std::optional<std::string> hppsid;
    std::optional<std::string> hppstatus;
    std::optional<std::string> redirecturl;
    std::optional<std::string> orderid;
    std::optional<std::string> refundid;
    std::optional<std::string> manualorderid;
    std::optional<std::string> mid;
    std::optional<std::string> brand;
    std::optional<std::string> store;
    std::optional<std::string> lane;
    std::optional<std::string> pad;
    std::optional<std::string> date;
    std::optional<std::string> time;
    std::optional<std::string> tt;
};

// One field of a record: its key, its kind and the member holding it
// (`integer` for integer fields, `text` for string and JSON fields).
enum class GatewayFieldKind { integer, text, json };

template <class Record> struct GatewayField {
    const char* key;
    GatewayFieldKind kind;
    std::optional<std::int32_t> Record::*integer;
    std::optional<std::string> Record::*text;
};

// Every field, in declaration order.
const std::array<GatewayField<GatewayRequest>, 51>& gatewayRequestFields();
const std::array<GatewayField<GatewayReply>, 31>& gatewayReplyFields();

// The request as a JSON object: jsonText::dump of it is the text toJson
// writes. toJson writes that text straight from the record (json_writer.h,
// which also takes members a caller adds) without building the object.
nlohmann::json toJsonValue(const GatewayRequest& request);
std::string toJson(const GatewayRequest& request);

// `error` (when given) receives the reason of a false result.
bool fromJson(const std::string& text, GatewayReply& reply, std::string* error = nullptr);
// Reads back a stored request (the reversal record).
bool fromJson(const std::string& text, GatewayRequest& request, std::string* error = nullptr);

// The leading base-10 integer of a text: leading white space (space, tab,
// line feed, carriage return, form feed, vertical tab) and a sign accepted,
// at least one digit, anything after the digits ignored. False, with `value`
// unchanged, when there is no digit or the number does not fit 32 bits.
bool readLeadingInteger(const std::string& text, std::int32_t& value);

// Field by field: same presence and same values.
bool operator==(const GatewayRequest& left, const GatewayRequest& right);
bool operator!=(const GatewayRequest& left, const GatewayRequest& right);
bool operator==(const GatewayReply& left, const GatewayReply& right);
bool operator!=(const GatewayReply& left, const GatewayReply& right);
