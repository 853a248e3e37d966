#include "sim/cli/transcript.h"

#include <cstdio>

namespace sim {

void Transcript::line(Level atLeast, const std::string& tag, const std::string& text) {
    const bool keep = kept_ != nullptr && atLeast <= Level::normal;
    if (!shows(atLeast) && !keep) {
        return;
    }
    char stamp[40];
    const Millis now = clock_ != nullptr ? clock_->now() : 0;
    std::snprintf(stamp, sizeof stamp, "[%9s] ", formatMillis(now).c_str());
    std::string padded = tag;
    if (padded.size() < 14) {
        padded.append(14 - padded.size(), ' ');
    }
    const std::string row = stamp + padded + ' ' + text;
    if (keep) {
        kept_->push_back(TranscriptLine{now, row});
    }
    if (shows(atLeast)) {
        out_ << row << '\n';
    }
}

void Transcript::block(Level atLeast, const std::string& text) {
    if (!shows(atLeast)) {
        return;
    }
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
        out_ << "             " << row << '\n';
        start = end + 1;
    }
    out_.flush();
}

void Transcript::always(const std::string& text) {
    out_ << text << '\n';
    out_.flush();
}

} // namespace sim
