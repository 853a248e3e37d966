// The host's devices as a person sees them: the pinpad (four lines of
// twenty characters under a heading), the POS dialog and the receipt
// printer, drawn as text for the terminal.
#pragma once

#include <string>
#include <vector>

#include "sim/host/sim_xml.h"

namespace sim {

constexpr std::size_t pinpadColumns = 20;
constexpr std::size_t pinpadRows = 4;

struct PinpadScreen {
    std::string heading;
    std::string subtitle;
    std::vector<std::string> lines = std::vector<std::string>(pinpadRows);
    std::vector<std::string> notes; // menu items, buttons, what the pinpad waits for
    std::string qrData;
    std::string qrLevel;
};

struct PosScreen {
    std::string title;
    std::string line1;
    std::string line2;
};

// GetMultiLineFromPinpad: Heading, Subtitle and TextLines 0 to 3.
PinpadScreen pinpadFromMultiLine(const XmlElement& request);
// DisplayOnPinpad: line1 to line4.
PinpadScreen pinpadFromLines(const XmlElement& request);
// GetButtonMenuFromPinpad: Heading and MenuItems.
PinpadScreen pinpadFromMenu(const XmlElement& request);
PosScreen posFromDialog(const XmlElement& request);

std::string drawPinpad(const PinpadScreen& screen);
std::string drawPos(const PosScreen& screen);
std::string drawReceipt(const std::string& text, const std::string& printer);
// All texts of a screen joined by line feeds, for matching.
std::string screenText(const PinpadScreen& screen);
std::string screenText(const PosScreen& screen);

} // namespace sim
