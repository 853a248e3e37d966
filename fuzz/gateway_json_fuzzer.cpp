// Both gateway records read from arbitrary text. A failed read leaves the
// target as it was. A read that succeeded is written out again (the request
// with toJson, the reply member by member as a gateway would send it) and
// read back to the same record; the request's text is then stable. The one
// documented exception: a basket whose JSON is null, {} or [] is not written,
// so it comes back absent.
#include <cstddef>
#include <cstdint>
#include <string>

#include "documents/gateway_message.h"
#include "documents/json_text.h"
#include "fuzz/fuzz_check.h"

namespace {

template <class Record> void fillSentinel(Record& record) {
    record.mt = 4711;
    record.type = "sentinel";
}

// The reply as the JSON text a gateway sends for it: every present field as
// a member of its kind.
std::string replyText(const GatewayReply& reply) {
    nlohmann::json object = nlohmann::json::object();
    for (const GatewayField<GatewayReply>& field : gatewayReplyFields()) {
        if (field.kind == GatewayFieldKind::integer) {
            if ((reply.*field.integer).has_value()) {
                object[field.key] = *(reply.*field.integer);
            }
        } else if ((reply.*field.text).has_value()) {
            object[field.key] = *(reply.*field.text);
        }
    }
    return jsonText::dump(object);
}

bool basketIsWritten(const std::string& basket) {
    nlohmann::json value;
    if (!jsonText::parse(basket, value)) {
        return false;
    }
    return !value.is_null() && !((value.is_object() || value.is_array()) && value.empty());
}

void checkReply(const std::string& input) {
    GatewayReply reply;
    fillSentinel(reply);
    const GatewayReply before = reply;
    std::string error;
    if (!fromJson(input, reply, &error)) {
        FUZZ_CHECK(reply == before, "failed reply read leaves the target unchanged");
        FUZZ_CHECK(!error.empty(), "failed reply read says why");
        return;
    }
    const std::string text = replyText(reply);
    GatewayReply again;
    FUZZ_CHECK(fromJson(text, again), "written reply reads back");
    FUZZ_CHECK(again == reply, "reply comes back the same");
}

void checkRequest(const std::string& input) {
    GatewayRequest request;
    fillSentinel(request);
    const GatewayRequest before = request;
    if (!fromJson(input, request)) {
        FUZZ_CHECK(request == before, "failed request read leaves the target unchanged");
        return;
    }
    GatewayRequest expected = request;
    if (expected.basket.has_value() && !basketIsWritten(*expected.basket)) {
        expected.basket.reset();
    }
    const std::string text = toJson(request);
    GatewayRequest again;
    FUZZ_CHECK(fromJson(text, again), "written request reads back");
    FUZZ_CHECK(again == expected, "request comes back the same");
    FUZZ_CHECK(toJson(again) == text, "request text is stable");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkReply(input);
    checkRequest(input);
    std::int32_t value = 0;
    (void)readLeadingInteger(input, value);
    return 0;
}
