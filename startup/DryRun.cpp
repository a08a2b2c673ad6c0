// The dry run's plan: the drives the command line chose, each with what a run would find and
// write there, probed without writing anything.
#include "startup/DryRun.h"

#include <cstdint>

#include "platform/FillGeometry.h"
#include "runtime/Numeric.h"
#include "startup/DriveBox.h"
#include "ui/frmQuellix.h"

namespace {

std::string megabytes(std::uint64_t bytes) {
    return Megabytes(static_cast<std::int64_t>(bytes)) + " MB";
}

// The fill files an interrupted run left in the drive's top directory, separated by commas.
std::string leftovers(Platform& p, ErrorHandler& on, const std::string& root) {
    std::string names;
    for (const char* name : kFillFiles) {
        bool found = false;
        on([&] { found = p.fileExists(root + name); });
        if (!found) continue;
        if (!names.empty()) names += ", ";
        names += name;
    }
    bool stage = false;
    on([&] { stage = p.namesLeftover(root); });
    if (stage) names += std::string(names.empty() ? "" : ", ") + kNamesDirectory + " (a directory)";
    return names;
}

// What the names stage would do after the passes.
std::string namesLine(Platform& p, ErrorHandler& on, const std::string& root, bool clearNames) {
    if (!clearNames) return "   no names stage (--no-names)";
    NamesFacts facts;
    if (!on([&] { facts = p.namesFacts(root); }))
        return "   names stage: the file system could not be asked";
    if (!facts.supported) return "   no names stage: " + facts.reason;
    std::string line = "   then the names stage: " + megabytes(facts.rewriteBytes) +
                       " of journal, log or free metadata to rewrite";
    if (facts.freedInodeSlots > 0) {
        line += ", " + Grouped(facts.freedInodeSlots) + " inode slots of deleted files to take";
    }
    for (const std::string& caveat : {facts.caveat, facts.slotsUnknown}) {
        if (!caveat.empty()) line += "; " + caveat;
    }
    return line;
}

// What a run would find on a chosen drive and write there.
void chosenDrive(frmQuellix& w, ErrorHandler& on, const std::string& root, int passes,
                 std::vector<std::string>& lines) {
    Platform& p = w.platform();
    DriveFacts facts;
    on([&] { facts = p.driveFacts(root); });
    std::uint64_t free = 0;
    bool measured = false;
    on([&] { measured = p.diskFreeSpaceEx(root, free); });
    std::string line = root.substr(0, 2) + " " + facts.mountPoint + " (" +
                       (facts.fsType.empty() ? "-" : facts.fsType) + "): ";
    if (measured) {
        const std::uint64_t total = free * static_cast<std::uint64_t>(passes + 1);
        line += megabytes(free) + " free, " + std::to_string(passes) +
                (passes == 1 ? " random pass" : " random passes") +
                " and 1 quotes pass: " + megabytes(total) + " (" +
                Grouped(static_cast<std::int64_t>(total)) + " bytes) to write";
    } else {
        line += "the free space cannot be read; a run would end here";
    }
    lines.push_back(line);
    lines.push_back("   out of reach of every write: " + megabytes(facts.rootReserveBytes) +
                    " kept for root, " + megabytes(facts.fsReserveBytes) +
                    " kept by the file system" +
                    (facts.flash ? ", and the cells the flash storage has remapped" : ""));
    lines.push_back(namesLine(p, on, root, w.PlanFromControls().clearNames));
}

}  // namespace

std::vector<std::string> DryRunPlan(frmQuellix& w, bool runAtOnce) {
    ErrorHandler on(w.platform(), "fQL Load");
    std::vector<std::string> lines{"Dry run: nothing is written or deleted."};
    const int passes = w.PlanFromControls().randomPasses;
    bool anyChosen = false;
    for (std::int32_t i = 0; i < w.DriveCount; ++i) {
        Control box;
        on([&] { box = DriveBox(w, i); });
        if (box.Tag.size() != 3) continue;
        const bool chosen = box.Value == 1;
        // The start-up cleanup would have removed these, on every drive it may touch.
        const std::string left = box.Enabled ? leftovers(w.platform(), on, box.Tag) : "";
        if (chosen) {
            anyChosen = true;
            chosenDrive(w, on, box.Tag, passes, lines);
        } else if (!left.empty()) {
            std::string mountPoint;
            on([&] { mountPoint = w.platform().driveFacts(box.Tag).mountPoint; });
            lines.push_back(box.Tag.substr(0, 2) + " " + mountPoint + " (not chosen):");
        }
        if (!left.empty()) {
            lines.push_back("   leftover fill files the start would remove: " + left);
        } else if (chosen) {
            lines.push_back("   no leftover fill files");
        }
    }
    if (!anyChosen) {
        lines.push_back("No drive is chosen: name drives by letter or mount point, or ALL.");
    } else if (w.chkNewRndTxt.Value == 1) {
        lines.push_back("New random fill text would be made first (NEWRAND).");
    }
    lines.push_back(runAtOnce ? "RUN: the run would start at once."
                              : "Without RUN no run would start.");
    return lines;
}
