#include "gateway/receipt_builder.h"

#include <algorithm>

#include "gateway/gateway_transaction.h"
#include "gateway/response_info.h"
#include "gateway/result_text.h"

namespace {

const char* const lineEnd = "\r\n";
const char* const defaultHeaderName = "KLARNA";

std::string cut(const std::string& text, std::size_t width) {
    return text.size() > width ? text.substr(0, width) : text;
}

std::string padded(const std::string& text, std::size_t width) {
    std::string result = cut(text, width);
    result.append(width - result.size(), ' ');
    return result;
}

} // namespace

ReceiptBuilder::ReceiptBuilder(std::size_t width) : width_(width), blank_(width, ' ') {}

void ReceiptBuilder::endLine(const std::string& content) {
    text_ += content;
    text_ += lineEnd;
}

void ReceiptBuilder::separator() {
    endLine(std::string(width_, '-'));
}

void ReceiptBuilder::blankLine() {
    endLine(blank_);
}

void ReceiptBuilder::line(const std::string& text) {
    endLine(padded(text, width_));
}

void ReceiptBuilder::twoColumn(const std::string& label, const std::string& value) {
    std::string content = cut(label, width_);
    if (content.size() + value.size() < width_) {
        content.append(width_ - content.size() - value.size(), ' ');
    }
    content += cut(value, width_ - content.size());
    endLine(content);
}

void ReceiptBuilder::wrapped(const std::string& text) {
    for (std::size_t start = 0; start < text.size(); start += width_) {
        line(text.substr(start, width_));
    }
}

void ReceiptBuilder::centred(const std::string& text) {
    const std::string content = cut(text, width_);
    const std::size_t room = width_ - content.size();
    const std::size_t left = (room + 1) / 2;
    endLine(std::string(left, ' ') + content + std::string(room - left, ' '));
}

std::size_t layoutWidth(std::int32_t widthAsRead) {
    return static_cast<std::size_t>(std::clamp(widthAsRead, minReceiptWidth, maxReceiptWidth));
}

std::string defaultReceiptHeader(std::int32_t widthAsRead) {
    const std::int32_t nameLength =
        static_cast<std::int32_t>(std::char_traits<char>::length(defaultHeaderName));
    // A width of 0 to 5 cuts the name, as centring to it does; a negative
    // width is no width at all and keeps the name whole.
    const std::int32_t width =
        widthAsRead < 0 ? nameLength : std::min(widthAsRead, maxReceiptWidth);
    return centre16(defaultHeaderName, static_cast<std::size_t>(width));
}

std::string maskCardNumber(const std::string& pan) {
    const std::size_t length = pan.size();
    if (length > 14) {
        return pan.substr(0, 6) + std::string(length - 10, '*') + pan.substr(length - 4);
    }
    if (length >= 7) {
        return pan.substr(0, 2) + std::string(length - 5, '*') + pan.substr(length - 3);
    }
    return std::string(length, '*');
}

std::string amountText(std::int64_t minorUnits) {
    const bool negative = minorUnits < 0;
    const std::string digits = zeroPadded(negative ? -minorUnits : minorUnits, 3);
    const std::size_t point = digits.size() - 2;
    return std::string("$") + (negative ? "-" : "") + digits.substr(0, point) + "." +
           digits.substr(point);
}

ReceiptContent receiptContent(const GatewayTransaction& transaction, std::size_t width,
                              const std::string& header, const std::string& footer,
                              const std::string& terminalId) {
    const GatewayRequest& request = transaction.request;
    const GatewayReply& reply = transaction.reply;
    ReceiptContent content;
    content.width = width;
    content.header = header;
    content.footer = footer;
    content.terminalId = terminalId;
    content.reference =
        request.ref ? *request.ref : transaction.posRequest.getChildText("TxnRef", "");
    content.stan = stanText(request.stan);
    if (request.pan) {
        content.maskedPan = maskCardNumber(*request.pan);
    }
    content.transactionName = transactionName(transaction.posRequest.getChildText("TxnType", "?"));
    if (reply.amt) {
        content.amount = amountText(*reply.amt);
    } else if (request.amt) {
        content.amount = amountText(*request.amt);
    }
    content.currency = reply.currency;
    content.txref = reply.txref;
    content.manualOrderId = reply.manualorderid;
    content.paymentDateTime = reply.paydt;
    content.responseText = transaction.response.text;
    content.responseCode = transaction.response.code;
    content.hostResponseCode = reply.hrc;
    content.startDateTime = receiptDateTime(transaction.startTime.local);
    return content;
}

namespace {

void layOutAmount(ReceiptBuilder& receipt, const ReceiptContent& content) {
    if (!content.amount) {
        return;
    }
    receipt.twoColumn("Amount:", *content.amount);
    if (content.currency) {
        receipt.twoColumn("Currency:", *content.currency);
    }
    receipt.blankLine();
}

void layOutGatewayDetails(ReceiptBuilder& receipt, const ReceiptContent& content) {
    if (content.txref) {
        receipt.line("Klarna Reference:");
        receipt.wrapped(*content.txref);
        receipt.blankLine();
    }
    if (content.manualOrderId) {
        receipt.line("Klarna Order Id:");
        receipt.wrapped(*content.manualOrderId);
        receipt.blankLine();
    }
    if (content.paymentDateTime) {
        receipt.line("Payment Date Time:");
        receipt.line(*content.paymentDateTime);
        receipt.blankLine();
    }
}

} // namespace

std::string layOutReceipt(const ReceiptContent& content, bool duplicate) {
    ReceiptBuilder receipt(content.width);
    receipt.separator();
    receipt.wrapped(content.header);
    if (duplicate) {
        receipt.centred("*** DUPLICATE COPY ***");
    }
    receipt.twoColumn("Term ID:", content.terminalId);
    receipt.twoColumn("Ref No:", content.reference);
    receipt.blankLine();
    if (!content.maskedPan.empty()) {
        receipt.line(content.maskedPan);
        receipt.blankLine();
    }
    receipt.line(content.transactionName + ":");
    layOutAmount(receipt, content);
    layOutGatewayDetails(receipt, content);
    receipt.line(content.responseText + " " + content.responseCode);
    receipt.blankLine();
    if (content.hostResponseCode) {
        receipt.line("KLA " + *content.hostResponseCode);
    }
    receipt.twoColumn(content.startDateTime, content.stan);
    receipt.wrapped(content.footer);
    receipt.separator();
    for (int count = 0; count < 3; ++count) {
        receipt.blankLine();
    }
    return receipt.text();
}
