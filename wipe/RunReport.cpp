// The run report: one JSON object per run, for people and for fleets.
#include <nlohmann/json.hpp>

#include "runtime/RuntimeError.h"
#include "wipe/RunAccount.h"

namespace {

nlohmann::json passJson(const PassAccount& p) {
    nlohmann::json errors = nlohmann::json::object();
    nlohmann::json details = nlohmann::json::object();
    for (const auto& [number, count] : p.errors) {
        const std::string key = std::to_string(number);
        errors[key] = count;
        // What the error log's line does not say: the system's words and the file concerned.
        std::string detail = ErrorDescription(number);
        if (const auto text = p.systemTexts.find(number); text != p.systemTexts.end()) {
            detail = text->second;
        }
        if (const auto path = p.paths.find(number); path != p.paths.end()) {
            detail += ": " + path->second;
        }
        details[key] = detail;
    }
    return {
        {"kind", p.quotes ? "quotes" : "random"},
        {"free_at_start", p.freeAtStart},
        {"written", p.written},
        {"free_at_end", p.freeAtEnd < 0 ? nlohmann::json(nullptr) : nlohmann::json(p.freeAtEnd)},
        {"seconds", p.seconds},
        {"errors", errors},
        {"error_details", details}};
}

}  // namespace

std::string RunReportLine(const RunAccount& run, const std::string& version,
                          const std::string& host, int exitStatus) {
    nlohmann::json drives = nlohmann::json::array();
    for (const DriveAccount& d : run.drives) {
        nlohmann::json passes = nlohmann::json::array();
        for (const PassAccount& p : d.passes)
            passes.push_back(passJson(p));
        drives.push_back({{"letter", d.root.substr(0, 2)},
                          {"mount_point", d.facts.mountPoint},
                          {"fs_type", d.facts.fsType},
                          {"device", d.facts.device},
                          {"flash", d.facts.flash},
                          {"root_reserve_bytes", d.facts.rootReserveBytes},
                          {"fs_reserve_bytes", d.facts.fsReserveBytes},
                          {"outcome", OutcomeName(d.outcome)},
                          {"reason", d.reason},
                          {"passes", passes},
                          {"names_stage", NamesOutcomeName(d.names.outcome)},
                          {"names_reason", d.names.reason},
                          {"names_seconds", d.names.seconds},
                          {"journal_bytes_rewritten", d.names.bytesRewritten}});
    }
    const nlohmann::json line = {{"program", "quellix"},
                                 {"version", version},
                                 {"host", host},
                                 {"start", run.start},
                                 {"end", run.end},
                                 {"exit_status", exitStatus},
                                 {"random_passes", run.randomPasses},
                                 {"drives", drives}};
    // Mount points and labels are not always UTF-8: such bytes are replaced, never an error.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
