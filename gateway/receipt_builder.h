// Receipt text: fixed-width lines ended by CR LF, laid out for the customer
// copy and the duplicate copy of a finished transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct GatewayTransaction;

// Narrowest receipt; a narrower or unreadable RECEIPT_WIDTH gives this.
constexpr std::int32_t minReceiptWidth = 24;
// Widest receipt: a wider setting is lowered to this, so that a mistyped
// width cannot make texts of millions of spaces.
constexpr std::int32_t maxReceiptWidth = 1000;

// One receipt being built. Every operation appends whole lines of exactly
// width characters, each ended by "\r\n".
class ReceiptBuilder {
  public:
    explicit ReceiptBuilder(std::size_t width);

    void separator();
    void blankLine();
    // The text cut to the width, padded with spaces.
    void line(const std::string& text);
    // Label on the left, value ending in the last column; the value is cut
    // to the room the label leaves.
    void twoColumn(const std::string& label, const std::string& value);
    // The text in pieces of width characters; nothing for an empty text.
    void wrapped(const std::string& text);
    // The text centred, the odd space on the left; cut to the width.
    void centred(const std::string& text);

    std::size_t width() const { return width_; }
    const std::string& text() const { return text_; }

  private:
    void endLine(const std::string& content);

    std::size_t width_;
    std::string text_;
    std::string blank_;
};

// The width the receipt is laid out in: the setting as read, raised to
// minReceiptWidth and lowered to maxReceiptWidth.
std::size_t layoutWidth(std::int32_t widthAsRead);
// "KLARNA" centred to the width as read, at most maxReceiptWidth columns: a
// width of 0 to 5 cuts the name ("KLA" at 3), a negative one keeps it whole.
std::string defaultReceiptHeader(std::int32_t widthAsRead);

// More than 14 characters: first 6, stars, last 4; 7 to 14: first 2, stars,
// last 3; 6 or fewer: all stars.
std::string maskCardNumber(const std::string& pan);
// "$" and the minor units with two decimals ($0.05, $15.00); a negative
// amount carries its sign after the "$".
std::string amountText(std::int64_t minorUnits);

// Everything a receipt shows, gathered before the two copies are laid out.
struct ReceiptContent {
    std::size_t width = minReceiptWidth;
    std::string header;
    std::string footer;
    std::string terminalId;
    std::string reference;
    std::string maskedPan; // empty: no card line
    std::string transactionName;
    std::optional<std::string> amount;
    std::optional<std::string> currency;
    std::optional<std::string> txref;
    std::optional<std::string> manualOrderId;
    std::optional<std::string> paymentDateTime;
    std::string responseText;
    std::string responseCode;
    std::optional<std::string> hostResponseCode;
    std::string startDateTime;
    std::string stan;
};

// The values of a finished transaction; layout, header, footer and terminal
// id come from the caller.
ReceiptContent receiptContent(const GatewayTransaction& transaction, std::size_t width,
                              const std::string& header, const std::string& footer,
                              const std::string& terminalId);

// The customer copy, or the duplicate copy (with "*** DUPLICATE COPY ***").
std::string layOutReceipt(const ReceiptContent& content, bool duplicate);
