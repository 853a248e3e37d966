// Tag lists on arbitrary text, in both forms. A list that parsed writes a
// text that parses back, in the same form, to the same entries, and writing
// that again gives the same text. A plain list may be longer than a header
// can count: written with header, it leaves entries out, names them, and what
// it writes still parses to the entries kept, in order. The purchase analysis
// mapping runs on every list without fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "documents/gateway_message.h"
#include "documents/tag_list.h"
#include "fuzz/fixed_platform.h"
#include "fuzz/fuzz_check.h"

namespace {

using Entries = std::vector<TagList::Entry>;

bool sameEntries(const Entries& a, const Entries& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].tag != b[i].tag || a[i].value != b[i].value) {
            return false;
        }
    }
    return true;
}

// kept holds entries of all, in order, and as many as were not left out.
bool keptInOrder(const Entries& all, const Entries& kept, std::size_t leftOut) {
    if (kept.size() + leftOut != all.size()) {
        return false;
    }
    std::size_t k = 0;
    for (const TagList::Entry& entry : all) {
        if (k < kept.size() && entry.tag == kept[k].tag && entry.value == kept[k].value) {
            ++k;
        }
    }
    return k == kept.size();
}

void checkEntryShape(const TagList& list) {
    for (const TagList::Entry& entry : list.entries()) {
        FUZZ_CHECK(entry.tag.size() == 3, "parsed tags are three bytes");
        FUZZ_CHECK(entry.value.size() <= TagList::maxLength, "parsed values fit three digits");
    }
}

void checkForm(const std::string& input, bool withHeader) {
    TagList list;
    const bool parsed = list.parse(input, withHeader);
    checkEntryShape(list);
    if (!parsed) {
        return;
    }
    std::vector<std::string> leftOut;
    const std::string text = list.toString(withHeader, leftOut);
    FUZZ_CHECK(leftOut.empty(), "a parsed list is written whole in its own form");
    TagList again;
    FUZZ_CHECK(again.parse(text, withHeader), "written list parses");
    FUZZ_CHECK(sameEntries(list.entries(), again.entries()), "re-parsed entries are the same");
    FUZZ_CHECK(again.toString(withHeader) == text, "second text equals the first");

    if (!withHeader) {
        std::vector<std::string> headerLeftOut;
        const std::string headed = list.toString(true, headerLeftOut);
        FUZZ_CHECK(headed.size() <= 3 + TagList::maxLength, "header counts what follows");
        TagList reread;
        FUZZ_CHECK(reread.parse(headed, true), "header form parses");
        FUZZ_CHECK(keptInOrder(list.entries(), reread.entries(), headerLeftOut.size()),
                   "header form keeps the entries not left out");
    }
}

void checkMapping(const std::string& input) {
    TagList tags(input);
    checkEntryShape(tags);
    GatewayRequest request;
    const PurchaseAnalysisOutcome outcome = mapPurchaseAnalysis(tags, request);
    FUZZ_CHECK(request.trackinguid.has_value(), "mapping always gives a tracking id");
    if (outcome.orderIdUnreadable) {
        FUZZ_CHECK(!request.orderid.has_value(), "an unreadable RFN sets no order id");
    }
    const std::string json = toJson(request);
    GatewayRequest reread;
    FUZZ_CHECK(fromJson(json, reread), "mapped request reads back");
    FUZZ_CHECK(reread == request, "mapped request comes back the same");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool installed = (fuzzPlatform::install(), true);
    (void)installed;
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkForm(input, false);
    checkForm(input, true);
    checkMapping(input);
    return 0;
}
