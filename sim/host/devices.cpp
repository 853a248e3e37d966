#include "sim/host/devices.h"

namespace sim {

namespace {

std::string fit(const std::string& text, std::size_t width) {
    std::string out = text.substr(0, width);
    out.append(width - out.size(), ' ');
    return out;
}

std::string frameLine(const std::string& text) {
    return "|" + fit(text, pinpadColumns) + "|\n";
}

} // namespace

PinpadScreen pinpadFromMultiLine(const XmlElement& request) {
    PinpadScreen screen;
    screen.heading = request.childText("Heading");
    screen.subtitle = request.childText("Subtitle");
    if (const XmlElement* lines = request.find("TextLines")) {
        for (std::size_t row = 0; row < pinpadRows; ++row) {
            screen.lines[row] = lines->childText(std::to_string(row));
        }
    }
    if (request.has("Button1")) {
        screen.notes.push_back("[BUTTON1] " + request.childText("Button1"));
    }
    if (request.childText("IsQRCode") == "1") {
        screen.qrData = request.childText("QRBCodeData");
        screen.qrLevel = request.childText("QRErrorLvl", "0");
    }
    if (request.has("InputMode")) {
        screen.notes.push_back("input mode " + request.childText("InputMode") + ", " +
                               request.childText("Minimum") + " to " +
                               request.childText("Maximum") + " characters");
    }
    return screen;
}

PinpadScreen pinpadFromLines(const XmlElement& request) {
    PinpadScreen screen;
    for (std::size_t row = 0; row < pinpadRows; ++row) {
        screen.lines[row] = request.childText("line" + std::to_string(row + 1));
    }
    return screen;
}

PinpadScreen pinpadFromMenu(const XmlElement& request) {
    PinpadScreen screen;
    screen.heading = request.childText("Heading");
    if (const XmlElement* items = request.find("MenuItems")) {
        std::size_t row = 0;
        for (const XmlElement& item : items->children) {
            const std::string label = item.name + ". " + item.text;
            if (row < pinpadRows) {
                screen.lines[row++] = label;
            } else {
                screen.notes.push_back(label);
            }
        }
    }
    screen.notes.push_back("Enter selects " + request.childText("EnterKeyDefault", "?"));
    return screen;
}

PosScreen posFromDialog(const XmlElement& request) {
    PosScreen screen;
    screen.title = request.childText("DialogTitle");
    screen.line1 = request.childText("line1");
    screen.line2 = request.childText("line2");
    return screen;
}

std::string drawPinpad(const PinpadScreen& screen) {
    const std::string bar = "+" + std::string(pinpadColumns, '-') + "+\n";
    std::string out = "pinpad\n" + bar;
    if (!screen.heading.empty() || !screen.subtitle.empty()) {
        out += frameLine(screen.heading) + frameLine(screen.subtitle) + bar;
    }
    for (const std::string& line : screen.lines) {
        out += frameLine(line);
    }
    out += bar;
    for (const std::string& note : screen.notes) {
        out += "  " + note + "\n";
    }
    return out;
}

std::string drawPos(const PosScreen& screen) {
    const std::size_t width = 28;
    const std::string bar = "+" + std::string(width, '=') + "+\n";
    std::string out = "POS display\n" + bar;
    if (!screen.title.empty()) {
        out += "|" + fit(screen.title, width) + "|\n" + bar;
    }
    out += "|" + fit(screen.line1, width) + "|\n|" + fit(screen.line2, width) + "|\n" + bar;
    return out;
}

std::string drawReceipt(const std::string& text, const std::string& printer) {
    std::string out = "receipt on printer " + printer + "\n";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string row = text.substr(start, end - start);
        if (!row.empty() && row.back() == '\r') {
            row.pop_back();
        }
        out += "  ! " + row + "\n";
        start = end + 1;
    }
    return out;
}

std::string screenText(const PinpadScreen& screen) {
    std::string out = screen.heading + "\n" + screen.subtitle + "\n";
    for (const std::string& line : screen.lines) {
        out += line + "\n";
    }
    for (const std::string& note : screen.notes) {
        out += note + "\n";
    }
    return out;
}

std::string screenText(const PosScreen& screen) {
    return screen.title + "\n" + screen.line1 + "\n" + screen.line2 + "\n";
}

} // namespace sim
