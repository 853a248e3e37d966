#include "sim/host/qr_render.h"

#include <vector>

#if defined(KLARNA_SIM_HAVE_QRENCODE)
#include <qrencode.h>
#endif

namespace sim {

namespace {

std::string framedText(const std::string& data) {
    const std::string label = "QR code: " + data;
    const std::string bar(label.size() + 2, '-');
    return "+" + bar + "+\n| " + label + " |\n+" + bar + "+\n";
}

#if defined(KLARNA_SIM_HAVE_QRENCODE)
using Modules = std::vector<std::vector<bool>>;

QRecLevel levelFor(const std::string& errorLevel) {
    if (errorLevel == "1") {
        return QR_ECLEVEL_M;
    }
    if (errorLevel == "2") {
        return QR_ECLEVEL_Q;
    }
    if (errorLevel == "3") {
        return QR_ECLEVEL_H;
    }
    return QR_ECLEVEL_L;
}

// The module matrix with a quiet zone of four light modules on every side.
bool encode(const std::string& data, const std::string& errorLevel, Modules& modules) {
    QRcode* code = QRcode_encodeString8bit(data.c_str(), 0, levelFor(errorLevel));
    if (code == nullptr) {
        return false;
    }
    const int quiet = 4;
    const int size = code->width + 2 * quiet;
    modules.assign(static_cast<std::size_t>(size),
                   std::vector<bool>(static_cast<std::size_t>(size), false));
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            const unsigned char cell = code->data[y * code->width + x];
            modules[static_cast<std::size_t>(y + quiet)][static_cast<std::size_t>(x + quiet)] =
                (cell & 1) != 0;
        }
    }
    QRcode_free(code);
    return true;
}

const char* halfBlock(bool top, bool bottom) {
    if (top && bottom) {
        return "\xE2\x96\x88"; // full block
    }
    if (top) {
        return "\xE2\x96\x80"; // upper half
    }
    if (bottom) {
        return "\xE2\x96\x84"; // lower half
    }
    return " ";
}

std::string draw(const Modules& modules, QrStyle style) {
    std::string out;
    const std::size_t size = modules.size();
    for (std::size_t y = 0; y < size; y += 2) {
        if (style == QrStyle::ansi) {
            out += "\x1b[30;47m";
        }
        for (std::size_t x = 0; x < size; ++x) {
            const bool bottom = y + 1 < size && modules[y + 1][x];
            out += halfBlock(modules[y][x], bottom);
        }
        if (style == QrStyle::ansi) {
            out += "\x1b[0m";
        }
        out += '\n';
    }
    return out;
}
#endif

} // namespace

bool qrCodesAvailable() {
#if defined(KLARNA_SIM_HAVE_QRENCODE)
    return true;
#else
    return false;
#endif
}

std::string renderQr(const std::string& data, const std::string& errorLevel, QrStyle style) {
#if defined(KLARNA_SIM_HAVE_QRENCODE)
    Modules modules;
    if (style != QrStyle::text && encode(data, errorLevel, modules)) {
        return draw(modules, style) + "(QR code: " + data + ")\n";
    }
#else
    (void)errorLevel;
    (void)style;
#endif
    return framedText(data);
}

} // namespace sim
