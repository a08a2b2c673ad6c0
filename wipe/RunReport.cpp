// The run report: one JSON object per run, for people and for fleets.
#include <nlohmann/json.hpp>

#include "runtime/RuntimeError.h"
#include "wipe/RunAccount.h"

namespace {

// A figure that may not have been measured (-1).
nlohmann::json measured(std::int64_t value) {
    return value < 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
}

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
    nlohmann::json pass = {{"kind", p.quotes ? "quotes" : "random"},
                           {"free_at_start", p.freeAtStart},
                           {"written", p.written},
                           {"free_at_end", measured(p.freeAtEnd)},
                           {"seconds", p.seconds},
                           {"errors", errors},
                           {"error_details", details}};
    // The check of the pass: null where it was not checked or the figure could not be measured.
    pass["repeated"] = p.repeated;
    pass["free_extents_bytes"] = measured(p.freeExtentsBytes);
    pass["covered_bytes"] = measured(p.coveredBytes);
    pass["not_reached"] =
        p.coveredBytes < 0 ? nlohmann::json(nullptr) : nlohmann::json(p.notReached);
    pass["verified_bytes"] = measured(p.verifiedBytes);
    pass["not_overwritten_bytes"] = measured(p.notOverwrittenBytes);
    pass["discarded_bytes"] = measured(p.discardedBytes);
    pass["verify_seconds"] =
        p.verifiedBytes < 0 ? nlohmann::json(nullptr) : nlohmann::json(p.verifySeconds);
    pass["not_verified"] =
        p.checked && p.verifiedBytes < 0 ? nlohmann::json(p.notVerified) : nlohmann::json(nullptr);
    return pass;
}

// "verified", "not verified" or "off" (no pass was to be checked).
const char* verificationName(const DriveAccount& d) {
    if (!d.checked) return "off";
    return d.verifiedBytes >= 0 ? "verified" : "not verified";
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
                          {"verification", verificationName(d)},
                          {"verification_reason", d.verifiedBytes >= 0 ? "" : d.notVerified},
                          {"verified_bytes", measured(d.verifiedBytes)},
                          {"not_overwritten_bytes", d.notOverwrittenBytes},
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
