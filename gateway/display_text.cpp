#include <cstdint>
#include <string>

#include "documents/ascii_text.h"
#include "host/quen_klarna.h"

namespace {

constexpr int subtitleWidth = 20;

std::string typeText(const xmlNode& posRequest) {
    const std::string type = upperCase(posRequest.getChildText("TxnType", "TXN"));
    if (type == "P") {
        return "PURCHASE";
    }
    if (type == "R") {
        return "REFUND";
    }
    return type;
}

// Cents as dollars and cents: 5 -> "$0.05", 1250 -> "$12.50".
std::string amountText(std::int32_t cents) {
    const std::int64_t value = cents;
    const std::int64_t magnitude = value < 0 ? -value : value;
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    digits.insert(digits.size() - 2, ".");
    return std::string("$") + (value < 0 ? "-" : "") + digits;
}

} // namespace

std::string QuenKlarna::displayHeading() const {
    return settings.qrCodeHeading.empty() ? std::string("KLARNA") : settings.qrCodeHeading;
}

std::string QuenKlarna::displaySubtitle() const {
    if (!settings.qrCodeSubtitle.empty()) {
        return settings.qrCodeSubtitle;
    }
    const std::string type = typeText(foreground.posRequest);
    std::string amount;
    if (foreground.reply.amt) {
        amount = amountText(*foreground.reply.amt);
    } else if (foreground.request.amt) {
        amount = amountText(*foreground.request.amt);
    }
    const int room = subtitleWidth - static_cast<int>(type.size());
    const int amountLength = static_cast<int>(amount.size());
    if (room > amountLength) {
        amount.insert(0, static_cast<std::size_t>(room - amountLength), ' ');
    }
    return type + amount;
}
