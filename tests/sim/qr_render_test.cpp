// The QR screen as drawn for the terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/host/qr_render.h"

namespace {

std::vector<std::string> drawnRows(const std::string& drawing) {
    std::vector<std::string> rows;
    std::istringstream in(drawing);
    std::string row;
    while (std::getline(in, row) && row.rfind("(QR code:", 0) != 0) {
        rows.push_back(row);
    }
    return rows;
}

// Characters, counting each UTF-8 sequence once.
std::size_t columns(const std::string& row) {
    std::size_t count = 0;
    for (const char c : row) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

TEST(QrRender, TextStyleShowsTheLinkInAFrame) {
    const std::string drawing =
        sim::renderQr("https://pay.klarna.sim/hpp/HPP1", "0", sim::QrStyle::text);
    EXPECT_EQ(drawing, "+------------------------------------------+\n"
                       "| QR code: https://pay.klarna.sim/hpp/HPP1 |\n"
                       "+------------------------------------------+\n");
}

// Without a QR encoder (Win32) every style falls back to the framed link.
// GTEST_SKIP is avoided: under Wine on qemu it brings the process down.
TEST(QrRender, WithoutAnEncoderEveryStyleShowsTheLink) {
    if (sim::qrCodesAvailable()) {
        return;
    }
    const std::string text = sim::renderQr("x", "0", sim::QrStyle::text);
    EXPECT_EQ(sim::renderQr("x", "0", sim::QrStyle::plain), text);
    EXPECT_EQ(sim::renderQr("x", "3", sim::QrStyle::ansi), text);
}

TEST(QrRender, CodeIsASquareWithAQuietZone) {
    if (!sim::qrCodesAvailable()) {
        return;
    }
    for (const char* level : {"0", "3"}) {
        const std::vector<std::string> rows = drawnRows(
            sim::renderQr("https://pay.klarna.sim/hpp/HPP000001", level, sim::QrStyle::plain));
        ASSERT_FALSE(rows.empty());
        const std::size_t width = columns(rows[0]);
        EXPECT_GE(width, 21u + 8u)
            << "the smallest code has 21 modules, plus 4 light ones on each side";
        EXPECT_EQ(rows.size(), (width + 1) / 2) << "two module rows per line";
        for (const std::string& row : rows) {
            EXPECT_EQ(columns(row), width);
        }
        EXPECT_EQ(rows.front(), std::string(width, ' '));
        EXPECT_EQ(rows[2].substr(0, 4), "    ");
        EXPECT_NE(rows[2].substr(4, 3), "   ") << "the finder pattern starts after the quiet zone";
    }
    const std::string higher =
        sim::renderQr("https://pay.klarna.sim/hpp/HPP000001", "3", sim::QrStyle::plain);
    const std::string lower =
        sim::renderQr("https://pay.klarna.sim/hpp/HPP000001", "0", sim::QrStyle::plain);
    EXPECT_GT(drawnRows(higher).size(), drawnRows(lower).size())
        << "more error correction needs a larger code";
}

TEST(QrRender, TerminalStyleSetsAndResetsColours) {
    if (!sim::qrCodesAvailable()) {
        return;
    }
    const std::vector<std::string> rows = drawnRows(sim::renderQr("x", "0", sim::QrStyle::ansi));
    for (const std::string& row : rows) {
        EXPECT_EQ(row.rfind("\x1b[30;47m", 0), 0u);
        EXPECT_EQ(row.substr(row.size() - 4), "\x1b[0m");
    }
}

} // namespace
