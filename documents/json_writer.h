// The JSON text of a gateway request, written straight from the record into
// one string sized beforehand: no JSON object is built on the way.
//
// The text is the same, byte for byte, as jsonText::dump(toJsonValue(request))
// (see gateway_message.h): compact, members in ascending key order, strings
// escaped as jsonText::dump escapes them, bytes of 0x80 and above copied, and
// `basket` written as the value its text parses to (left out when that is
// null, {}, [] or not JSON at all).
//
// Extra members stand for what a caller would set on toJsonValue's object
// before dumping it: each is written in its key's place among the request's
// members, replacing the request's own member of that key (present or not);
// of two extras with one key the later one wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "documents/gateway_message.h"

struct JsonMember {
    const char* key;
    bool isInteger;
    std::int32_t integer;
    std::string_view text; // not owned: must outlive the write

    static JsonMember number(const char* key, std::int32_t value) { return {key, true, value, {}}; }
    static JsonMember string(const char* key, std::string_view value) {
        return {key, false, 0, value};
    }
};

// Empty only when memory runs out; never throws.
std::string writeRequestJson(const GatewayRequest& request, const JsonMember* extras = nullptr,
                             std::size_t extraCount = 0);
std::string writeRequestJson(const GatewayRequest& request,
                             std::initializer_list<JsonMember> extras);
