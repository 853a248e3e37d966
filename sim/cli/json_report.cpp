// The JSON report: the JUnit report's cases and failures, plus what each run
// produced (the TransactionEvents, the receipts and the journal lines).
#include <nlohmann/json.hpp>

#include "sim/cli/reports.h"

namespace sim {

namespace {

using nlohmann::json;

json text(const std::string& raw) {
    return json(asUtf8(raw));
}

json texts(const std::vector<std::string>& raw) {
    json list = json::array();
    for (const std::string& one : raw) {
        list.push_back(text(one));
    }
    return list;
}

// An element's children as members (a repeated name becomes an array); an
// element without children is its text.
json elementJson(const XmlElement& element) {
    if (element.children.empty()) {
        return text(element.text);
    }
    json object = json::object();
    for (const XmlElement& child : element.children) {
        const std::string name = asUtf8(child.name);
        if (!object.contains(name)) {
            object[name] = elementJson(child);
        } else {
            if (!object[name].is_array()) {
                object[name] = json::array({object[name]});
            }
            object[name].push_back(elementJson(child));
        }
    }
    return object;
}

json failureJson(const Failure& failure) {
    json out = {{"kind", failure.kind},
                {"where", text(failure.where)},
                {"what", text(failure.what)},
                {"expected", text(failure.expected)},
                {"got", text(failure.got)},
                {"nearest", texts(failure.nearest)},
                {"context", texts(failure.context)}};
    out["atMillis"] = failure.at >= 0 ? json(failure.at) : json(nullptr);
    return out;
}

json failuresJson(const std::vector<Failure>& failures) {
    json list = json::array();
    for (const Failure& failure : failures) {
        list.push_back(failureJson(failure));
    }
    return list;
}

json runJson(const RunOutput& run) {
    json results = json::array();
    for (const XmlElement& result : run.results) {
        results.push_back(elementJson(result));
    }
    json receipts = json::array();
    for (const PrintedReceipt& receipt : run.receipts) {
        receipts.push_back({{"atMillis", receipt.at},
                            {"printer", text(receipt.printer)},
                            {"type", text(receipt.type)},
                            {"text", text(receipt.text)}});
    }
    return {{"endedAtMillis", run.endedAt},
            {"results", results},
            {"receipts", receipts},
            {"journal", texts(run.journal)}};
}

const char* outcomeName(CaseReport::Outcome outcome) {
    switch (outcome) {
    case CaseReport::Outcome::passed:
        return "passed";
    case CaseReport::Outcome::failed:
        return "failed";
    case CaseReport::Outcome::error:
        return "error";
    }
    return "?";
}

json caseJson(const CaseReport& report) {
    json runs = json::array();
    for (const RunOutput& run : report.runs) {
        runs.push_back(runJson(run));
    }
    return {{"name", text(report.name)},
            {"file", text(report.file)},
            {"status", outcomeName(report.outcome)},
            {"time", report.seconds},
            {"failures", failuresJson(report.failures)},
            {"warnings", failuresJson(report.warnings)},
            {"runs", runs}};
}

} // namespace

std::string jsonReport(const std::vector<CaseReport>& cases, const ReportContext& context) {
    json suites = json::array();
    for (const CaseReport& one : cases) {
        if (suites.empty() || suites.back()["name"] != one.suite) {
            suites.push_back({{"name", one.suite}, {"cases", json::array()}});
        }
        suites.back()["cases"].push_back(caseJson(one));
    }
    json properties = json::object();
    for (const auto& property : context.properties) {
        properties[asUtf8(property.first)] = text(property.second);
    }
    json counts = {{"passed", 0}, {"failed", 0}, {"errors", 0}, {"warnings", 0}};
    for (const CaseReport& one : cases) {
        const char* key = one.outcome == CaseReport::Outcome::passed   ? "passed"
                          : one.outcome == CaseReport::Outcome::failed ? "failed"
                                                                       : "errors";
        counts[key] = counts[key].get<int>() + 1;
        counts["warnings"] = counts["warnings"].get<int>() + static_cast<int>(one.warnings.size());
    }
    const json report = {{"tool", "klarna-sim"},     {"timestamp", context.timestamp},
                         {"properties", properties}, {"summary", summaryLine(cases)},
                         {"counts", counts},         {"exitStatus", exitStatus(cases)},
                         {"suites", suites}};
    return report.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace sim
