// The JUnit XML report, as CI systems read it (Jenkins, GitLab, Azure and
// the like): the elements and attributes the JUnit schema requires, plus
// a failure element per failed expectation.
#include <cstdio>
#include <map>

#include "sim/cli/reports.h"

namespace sim {

namespace {

// Escaped for an attribute value or element text.
std::string xml(const std::string& raw) {
    std::string out;
    for (const char c : asUtf8(raw)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// The file's name without folder and extension.
std::string stem(const std::string& file) {
    const std::size_t slash = file.find_last_of("/\\");
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string classname(const CaseReport& report) {
    return report.suite == "scenarios" ? "scenarios." + stem(report.file) : report.suite;
}

// The one-line message: the headline, then what was expected and found.
std::string message(const Failure& failure) {
    std::string text = failure.headline();
    if (!failure.expected.empty() || !failure.got.empty()) {
        text += ": expected " + failure.expected + ", got " + failure.got;
    }
    return text;
}

struct Counts {
    std::size_t tests = 0;
    std::size_t failures = 0;
    std::size_t errors = 0;
    double time = 0;
};

Counts count(const std::vector<const CaseReport*>& cases) {
    Counts counts;
    for (const CaseReport* one : cases) {
        ++counts.tests;
        counts.failures += one->outcome == CaseReport::Outcome::failed ? 1 : 0;
        counts.errors += one->outcome == CaseReport::Outcome::error ? 1 : 0;
        counts.time += one->seconds;
    }
    return counts;
}

std::string countAttributes(const Counts& counts) {
    return " tests=\"" + std::to_string(counts.tests) + "\" failures=\"" +
           std::to_string(counts.failures) + "\" errors=\"" + std::to_string(counts.errors) + "\"";
}

std::string testcase(const CaseReport& report) {
    std::string out = "    <testcase name=\"" + xml(report.name) + "\" classname=\"" +
                      xml(classname(report)) + "\" file=\"" + xml(report.file) + "\" time=\"" +
                      seconds(report.seconds) + "\"";
    if (report.failures.empty() && report.warnings.empty()) {
        return out + "/>\n";
    }
    out += ">\n";
    const char* element = report.outcome == CaseReport::Outcome::error ? "error" : "failure";
    for (const Failure& failure : report.failures) {
        out += std::string("      <") + element + " message=\"" + xml(message(failure)) +
               "\" type=\"" + xml(failure.kind) + "\">" + xml(failure.text()) + "</" + element +
               ">\n";
    }
    if (!report.warnings.empty()) {
        out += "      <system-out>";
        for (const Failure& warning : report.warnings) {
            out += xml("warning: " + warning.text() + "\n");
        }
        out += "</system-out>\n";
    }
    return out + "    </testcase>\n";
}

// The length of the UTF-8 sequence that starts at i; 0 when there is none.
std::size_t utf8Length(const std::string& text, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                               : c >= 0xE0 && c <= 0xEF ? 3
                               : c >= 0xF0 && c <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string junitReport(const std::vector<CaseReport>& cases, const ReportContext& context) {
    std::vector<std::string> suites;
    std::map<std::string, std::vector<const CaseReport*>> bySuite;
    std::vector<const CaseReport*> all;
    for (const CaseReport& one : cases) {
        if (bySuite.find(one.suite) == bySuite.end()) {
            suites.push_back(one.suite);
        }
        bySuite[one.suite].push_back(&one);
        all.push_back(&one);
    }
    const Counts total = count(all);
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"klarna-sim\"" +
        countAttributes(total) + " time=\"" + seconds(total.time) + "\">\n";
    for (std::size_t id = 0; id < suites.size(); ++id) {
        const std::vector<const CaseReport*>& members = bySuite[suites[id]];
        const Counts counts = count(members);
        out += "  <testsuite name=\"" + xml(suites[id]) + "\" id=\"" + std::to_string(id) +
               "\" package=\"klarna-sim\" timestamp=\"" + xml(context.timestamp) +
               "\" hostname=\"localhost\"" + countAttributes(counts) + " skipped=\"0\" time=\"" +
               seconds(counts.time) + "\">\n    <properties>\n";
        for (const auto& property : context.properties) {
            out += "      <property name=\"" + xml(property.first) + "\" value=\"" +
                   xml(property.second) + "\"/>\n";
        }
        out += "    </properties>\n";
        for (const CaseReport* one : members) {
            out += testcase(*one);
        }
        out += "    <system-out/>\n    <system-err/>\n  </testsuite>\n";
    }
    return out + "</testsuites>\n";
}

std::string asUtf8(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool control = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
            out += control ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(text, i);
        if (length > 0) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        out += static_cast<char>(0xC0 | (c >> 6)); // the byte read as Latin-1
        out += static_cast<char>(0x80 | (c & 0x3F));
        ++i;
    }
    return out;
}

} // namespace sim
