#include "documents/json_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "documents/json_text.h"

namespace {

using Field = GatewayField<GatewayRequest>;
constexpr std::size_t fieldCount =
    std::tuple_size<std::decay_t<decltype(gatewayRequestFields())>>::value;

using jsonText::escapeWidth;
using jsonText::writeEscape;

struct Integer {
    char digits[12];
    std::size_t length;

    explicit Integer(std::int32_t value) {
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        length = static_cast<std::size_t>(result.ptr - digits);
    }
};

// The first pass: counts the bytes the text will take.
class LengthCounter {
  public:
    void raw(char) { ++size_; }
    void raw(std::string_view text) { size_ += text.size(); }
    void integer(std::int32_t value) { size_ += Integer(value).length; }
    void string(std::string_view text) {
        size_ += 2;
        for (char c : text) {
            size_ += escapeWidth[static_cast<unsigned char>(c)];
        }
    }
    std::size_t size() const { return size_; }

  private:
    std::size_t size_ = 0;
};

// The second pass: writes into room the first pass measured.
class TextWriter {
  public:
    explicit TextWriter(char* out) : out_(out) {}

    void raw(char c) { *out_++ = c; }
    void raw(std::string_view text) { copy(text.data(), text.size()); }
    void integer(std::int32_t value) { out_ = std::to_chars(out_, out_ + 11, value).ptr; }
    void string(std::string_view text) {
        *out_++ = '"';
        const char* plainFrom = text.data();
        const char* const end = text.data() + text.size();
        for (const char* at = plainFrom; at != end; ++at) {
            const unsigned char byte = static_cast<unsigned char>(*at);
            if (escapeWidth[byte] != 1) {
                copy(plainFrom, static_cast<std::size_t>(at - plainFrom));
                out_ = writeEscape(out_, byte);
                plainFrom = at + 1;
            }
        }
        copy(plainFrom, static_cast<std::size_t>(end - plainFrom));
        *out_++ = '"';
    }
    const char* end() const { return out_; }

  private:
    char* out_;

    void copy(const char* from, std::size_t size) {
        if (size != 0) {
            std::memcpy(out_, from, size);
            out_ += size;
        }
    }
};

// The request's fields in ascending key order, the order of the members of
// a JSON object.
const std::array<const Field*, fieldCount>& fieldsByKey() {
    static const std::array<const Field*, fieldCount> sorted = [] {
        std::array<const Field*, fieldCount> fields{};
        const auto& table = gatewayRequestFields();
        for (std::size_t i = 0; i < fieldCount; ++i) {
            fields[i] = &table[i];
        }
        std::sort(fields.begin(), fields.end(), [](const Field* left, const Field* right) {
            return std::strcmp(left->key, right->key) < 0;
        });
        return fields;
    }();
    return sorted;
}

// The basket's value as compact text; false when no member is written for it.
bool basketText(const std::string& basket, std::string& text) {
    nlohmann::json value;
    if (!jsonText::parse(basket, value)) {
        return false;
    }
    if (value.is_null() || (value.is_structured() && value.empty())) {
        return false;
    }
    jsonText::appendDump(text, value);
    return true;
}

struct Extras {
    const JsonMember* members;
    std::size_t count;

    // The extra with the smallest key above `after` (any key when null); of
    // equal keys the last one given.
    const JsonMember* next(const char* after) const {
        const JsonMember* best = nullptr;
        for (std::size_t i = 0; i < count; ++i) {
            const JsonMember& extra = members[i];
            if (after != nullptr && std::strcmp(extra.key, after) <= 0) {
                continue;
            }
            if (best == nullptr || std::strcmp(extra.key, best->key) <= 0) {
                best = &extra;
            }
        }
        return best;
    }
};

template <class Sink> class MemberWriter {
  public:
    MemberWriter(Sink& sink, const GatewayRequest& request, const std::string* basket)
        : sink_(sink), request_(request), basket_(basket) {}

    void field(const Field& field) {
        if (field.kind == GatewayFieldKind::integer) {
            if (const auto& value = request_.*field.integer) {
                key(field.key);
                sink_.integer(*value);
            }
            return;
        }
        const auto& text = request_.*field.text;
        if (!text) {
            return;
        }
        if (field.kind == GatewayFieldKind::text) {
            key(field.key);
            sink_.string(*text);
        } else if (basket_ != nullptr) {
            key(field.key);
            sink_.raw(*basket_);
        }
    }

    void extra(const JsonMember& member) {
        key(member.key);
        if (member.isInteger) {
            sink_.integer(member.integer);
        } else {
            sink_.string(member.text);
        }
    }

  private:
    Sink& sink_;
    const GatewayRequest& request_;
    const std::string* basket_;
    bool first_ = true;

    void key(const char* name) {
        if (!first_) {
            sink_.raw(',');
        }
        first_ = false;
        sink_.string(name);
        sink_.raw(':');
    }
};

// Merges the request's fields and the extras, both in ascending key order.
template <class Sink>
void writeObject(Sink& sink, const GatewayRequest& request, const std::string* basket,
                 const Extras& extras) {
    MemberWriter<Sink> members(sink, request, basket);
    sink.raw('{');
    const JsonMember* extra = extras.next(nullptr);
    for (const Field* field : fieldsByKey()) {
        int order = 0;
        while (extra != nullptr && (order = std::strcmp(extra->key, field->key)) < 0) {
            members.extra(*extra);
            extra = extras.next(extra->key);
        }
        if (extra != nullptr && order == 0) {
            members.extra(*extra); // in place of the field's own value
            extra = extras.next(extra->key);
            continue;
        }
        members.field(*field);
    }
    for (; extra != nullptr; extra = extras.next(extra->key)) {
        members.extra(*extra);
    }
    sink.raw('}');
}

} // namespace

std::string writeRequestJson(const GatewayRequest& request, const JsonMember* extras,
                             std::size_t extraCount) {
    try {
        std::string basket;
        const bool hasBasket = request.basket && basketText(*request.basket, basket);
        const std::string* basketMember = hasBasket ? &basket : nullptr;
        const Extras given{extras, extras == nullptr ? 0 : extraCount};

        LengthCounter counter;
        writeObject(counter, request, basketMember, given);
        std::string out(counter.size(), '\0');
        TextWriter writer(&out[0]);
        writeObject(writer, request, basketMember, given);
        out.resize(static_cast<std::size_t>(writer.end() - out.data())); // the same size
        return out;
    } catch (...) {
        return std::string(); // allocation failure only
    }
}

std::string writeRequestJson(const GatewayRequest& request,
                             std::initializer_list<JsonMember> extras) {
    return writeRequestJson(request, extras.begin(), extras.size());
}
