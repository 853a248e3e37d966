#include "documents/gateway_message.h"
#include "documents/trim_set.h"

#include "documents/json_text.h"
#include "documents/json_writer.h"

#include <charconv>
#include <cmath>
#include <utility>

namespace {

using json = nlohmann::json;

template <class Record>
constexpr GatewayField<Record> integerField(const char* key,
                                            std::optional<std::int32_t> Record::*member) {
    return {key, GatewayFieldKind::integer, member, nullptr};
}

template <class Record>
constexpr GatewayField<Record> textField(const char* key,
                                         std::optional<std::string> Record::*member,
                                         GatewayFieldKind kind = GatewayFieldKind::text) {
    return {key, kind, nullptr, member};
}

// The key of every field is the name of its member.
#define REQ_I(name) integerField(#name, &GatewayRequest::name)
#define REQ_S(name) textField(#name, &GatewayRequest::name)
constexpr std::array<GatewayField<GatewayRequest>, 51> requestFields{{
    REQ_I(mt),
    REQ_S(type),
    REQ_S(trn),
    REQ_I(stan),
    REQ_S(ref),
    REQ_S(uid),
    REQ_S(agent),
    REQ_S(trackinguid),
    REQ_S(pan),
    REQ_S(pansrc),
    REQ_S(code),
    REQ_S(txref),
    REQ_S(txid),
    REQ_S(manualorderid),
    REQ_I(amt),
    REQ_S(currency),
    REQ_I(totalamt),
    REQ_S(txnName),
    textField("basket", &GatewayRequest::basket, GatewayFieldKind::json),
    REQ_I(sentcount),
    REQ_I(replycount),
    REQ_I(timeout),
    REQ_S(username),
    REQ_S(password),
    REQ_S(token),
    REQ_S(countrycode),
    REQ_S(phone),
    REQ_S(paysid),
    REQ_S(hppsid),
    REQ_S(hppstatus),
    REQ_S(orderid),
    REQ_S(refundid),
    REQ_S(mid),
    REQ_S(brand),
    REQ_S(store),
    REQ_S(lane),
    REQ_S(pad),
    REQ_S(date),
    REQ_S(time),
    REQ_I(tzd),
    REQ_S(tt),
    REQ_S(ppacq),
    REQ_S(pptid),
    REQ_S(ppmid),
    REQ_S(posname),
    REQ_S(posversion),
    REQ_S(vendorid),
    REQ_S(comp),
    REQ_S(staffcode),
    REQ_S(staffname),
    REQ_S(opr),
}};
#undef REQ_I
#undef REQ_S

#define REP_I(name) integerField(#name, &GatewayReply::name)
#define REP_S(name) textField(#name, &GatewayReply::name)
constexpr std::array<GatewayField<GatewayReply>, 31> replyFields{{
    REP_I(mt),       REP_S(type),     REP_S(trn),           REP_I(stan),      REP_S(ref),
    REP_S(agent),    REP_S(token),    REP_S(trackinguid),   REP_S(rc),        REP_S(rt),
    REP_S(hrc),      REP_S(hrt),      REP_S(txref),         REP_S(paydt),     REP_I(amt),
    REP_S(currency), REP_S(paysid),   REP_S(hppsid),        REP_S(hppstatus), REP_S(redirecturl),
    REP_S(orderid),  REP_S(refundid), REP_S(manualorderid), REP_S(mid),       REP_S(brand),
    REP_S(store),    REP_S(lane),     REP_S(pad),           REP_S(date),      REP_S(time),
    REP_S(tt),
}};
#undef REP_I
#undef REP_S

std::int32_t cutTo32Bits(std::uint64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t cutTo32Bits(std::int64_t value) {
    return cutTo32Bits(static_cast<std::uint64_t>(value));
}

// Basket text worth a member: valid JSON that is not null, {} or [].
bool basketValue(const std::string& text, json& value) {
    if (!jsonText::parse(text, value)) {
        return false;
    }
    return !(value.is_null() || (value.is_structured() && value.empty()));
}

bool typeError(const char* expected, const json& value, std::string& error) {
    error = std::string("type must be ") + expected + ", but is " + value.type_name();
    return false;
}

bool floatToInteger(double number, std::int32_t& value, std::string& error) {
    const double down = std::floor(number);
    // The 64-bit range bounds are exact powers of two in a double.
    if (!(down >= -9223372036854775808.0 && down < 9223372036854775808.0)) {
        error = "number " + jsonText::dump(json(number)) + " out of range";
        return false;
    }
    value = cutTo32Bits(static_cast<std::int64_t>(down));
    return true;
}

bool readInteger(const json& member, std::optional<std::int32_t>& field, std::string& error) {
    std::int32_t value = 0;
    switch (member.type()) {
    case json::value_t::number_integer:
        value = cutTo32Bits(member.get<std::int64_t>());
        break;
    case json::value_t::number_unsigned:
        value = cutTo32Bits(member.get<std::uint64_t>());
        break;
    case json::value_t::number_float:
        if (!floatToInteger(member.get<double>(), value, error)) {
            return false;
        }
        break;
    case json::value_t::boolean:
        value = member.get<bool>() ? 1 : 0;
        break;
    case json::value_t::string:
        if (!readLeadingInteger(member.get_ref<const std::string&>(), value)) {
            return typeError("number", member, error);
        }
        break;
    default:
        return typeError("number", member, error);
    }
    field = value;
    return true;
}

// "%f" without the locale: six decimals and a full stop.
std::string sixDecimals(double number) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

void readText(const json& member, std::optional<std::string>& field) {
    switch (member.type()) {
    case json::value_t::string:
        field = member.get<std::string>();
        break;
    case json::value_t::boolean:
        field = member.get<bool>() ? "true" : "false";
        break;
    case json::value_t::number_integer:
        field = std::to_string(cutTo32Bits(member.get<std::int64_t>()));
        break;
    case json::value_t::number_unsigned:
        field = std::to_string(cutTo32Bits(member.get<std::uint64_t>()));
        break;
    case json::value_t::number_float:
        field = sixDecimals(member.get<double>());
        break;
    default:
        break; // objects and arrays leave the field absent
    }
}

template <class Record>
bool readField(const json& member, const GatewayField<Record>& field, Record& record,
               std::string& error) {
    switch (field.kind) {
    case GatewayFieldKind::integer:
        return readInteger(member, record.*field.integer, error);
    case GatewayFieldKind::text:
        readText(member, record.*field.text);
        return true;
    case GatewayFieldKind::json:
        record.*field.text = jsonText::dump(member);
        return true;
    }
    return true;
}

template <class Record, std::size_t Count>
bool readInto(const std::string& text, Record& fresh,
              const std::array<GatewayField<Record>, Count>& fields, std::string& reason) {
    json root;
    if (!jsonText::parse(text, root, &reason)) {
        return false;
    }
    if (!root.is_object()) {
        return true;
    }
    for (const GatewayField<Record>& field : fields) {
        const auto member = root.find(field.key);
        if (member == root.end() || member->is_null()) {
            continue;
        }
        if (!readField(*member, field, fresh, reason)) {
            return false;
        }
    }
    return true;
}

// Reads into a fresh record and replaces the target only on success.
template <class Record, std::size_t Count>
bool readRecord(const std::string& text, Record& target,
                const std::array<GatewayField<Record>, Count>& fields, std::string* error) {
    std::string reason;
    try {
        Record fresh;
        if (readInto(text, fresh, fields, reason)) {
            target = std::move(fresh);
            return true;
        }
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unknown error";
    }
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

template <class Record, std::size_t Count>
bool sameFields(const Record& left, const Record& right,
                const std::array<GatewayField<Record>, Count>& fields) {
    for (const GatewayField<Record>& field : fields) {
        const bool same = field.kind == GatewayFieldKind::integer
                              ? left.*field.integer == right.*field.integer
                              : left.*field.text == right.*field.text;
        if (!same) {
            return false;
        }
    }
    return true;
}

} // namespace

const std::array<GatewayField<GatewayRequest>, 51>& gatewayRequestFields() {
    return requestFields;
}

const std::array<GatewayField<GatewayReply>, 31>& gatewayReplyFields() {
    return replyFields;
}

nlohmann::json toJsonValue(const GatewayRequest& request) {
    json object = json::object();
    for (const GatewayField<GatewayRequest>& field : requestFields) {
        if (field.kind == GatewayFieldKind::integer) {
            if (const auto& value = request.*field.integer) {
                object[field.key] = *value;
            }
            continue;
        }
        const auto& text = request.*field.text;
        if (!text) {
            continue;
        }
        json basket;
        if (field.kind == GatewayFieldKind::text) {
            object[field.key] = *text;
        } else if (basketValue(*text, basket)) {
            object[field.key] = std::move(basket);
        }
    }
    return object;
}

std::string toJson(const GatewayRequest& request) {
    return writeRequestJson(request);
}

bool fromJson(const std::string& text, GatewayReply& reply, std::string* error) {
    return readRecord(text, reply, replyFields, error);
}

bool fromJson(const std::string& text, GatewayRequest& request, std::string* error) {
    return readRecord(text, request, requestFields, error);
}

bool readLeadingInteger(const std::string& text, std::int32_t& value) {
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
    std::int64_t magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > 2147483648LL) {
            return false;
        }
    }
    const std::int64_t number = negative ? -magnitude : magnitude;
    if (pos == digitsStart || number > 2147483647LL) {
        return false;
    }
    value = static_cast<std::int32_t>(number);
    return true;
}

bool operator==(const GatewayRequest& left, const GatewayRequest& right) {
    return sameFields(left, right, requestFields);
}

bool operator!=(const GatewayRequest& left, const GatewayRequest& right) {
    return !(left == right);
}

bool operator==(const GatewayReply& left, const GatewayReply& right) {
    return sameFields(left, right, replyFields);
}

bool operator!=(const GatewayReply& left, const GatewayReply& right) {
    return !(left == right);
}
