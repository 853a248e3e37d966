// Draws a QR code for the terminal: a real, scannable code where the build
// has libqrencode, otherwise the encoded text in a frame.
#pragma once

#include <string>

namespace sim {

enum class QrStyle {
    ansi,  // black on white with terminal colour codes, for a live terminal
    plain, // dark modules as block characters, for files and logs
    text,  // only the encoded text in a frame
};

bool qrCodesAvailable();
// The drawing, one terminal line per two module rows; the text style when
// codes are not available or the text cannot be encoded. errorLevel is the
// host's QRErrorLvl ("0" low to "3" high).
std::string renderQr(const std::string& data, const std::string& errorLevel, QrStyle style);

} // namespace sim
