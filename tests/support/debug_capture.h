// Collects what the module writes to the debug output while in scope, and
// restores the real platform services afterwards.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

class DebugCapture {
  public:
    DebugCapture() {
        platform::Seams seams = platform::seams();
        seams.debugSink = [this](const std::string& text) { lines.push_back(text); };
        platform::setSeams(seams);
    }
    ~DebugCapture() { platform::setSeams({}); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::string all() const {
        std::string joined;
        for (const std::string& line : lines) {
            joined += line;
        }
        return joined;
    }

    std::vector<std::string> lines;
};
