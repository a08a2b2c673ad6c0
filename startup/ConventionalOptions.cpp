// --help, -h, --version and --list, and the drive table that --list and an idle headless start
// print. They only print and end.
#include "startup/ConventionalOptions.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "startup/DriveState.h"
#include "ui/frmQuellix.h"

namespace {

constexpr std::size_t kMaxDrives = 24;

// Why a drive cannot be cleaned, or "can be cleaned".
std::string driveState(Platform& p, std::size_t index, const std::string& item, DriveType type,
                       const DriveFacts& facts) {
    if (index >= kMaxDrives) return "beyond the 24 drives Quellix can take";
    const std::string why = WhyNotCleanable(p, item, type, [&] { return facts; });
    return why.empty() ? "can be cleaned" : why;
}

std::string padded(const std::string& text, std::size_t width, bool right = false) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

std::string DriveTableText(frmQuellix& w) {
    Platform& p = w.platform();
    ErrorHandler on(p, "fQL Load");
    struct Row {
        std::string letter, mountPoint, type, free, state;
    };
    std::vector<Row> rows{{"Drive", "Mount point", "Type", "Free MB", "Can it be cleaned?"}};
    std::vector<std::string> items;
    on([&] { items = p.driveList(); });
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        const std::string root = item.substr(0, 2) + "\\";
        Row row;
        row.letter = i < kMaxDrives ? item.substr(0, 2) : "-";
        row.mountPoint = item.size() > 3 ? item.substr(3) : "";
        DriveType type = DRIVE_UNKNOWN;
        DriveFacts facts;
        on([&] { type = p.driveType(root); });
        if (i < kMaxDrives) on([&] { facts = p.driveFacts(root); });
        row.type = facts.fsType.empty() ? "-" : facts.fsType;
        row.free = "-";
        // A network share may not answer; it is not asked.
        std::uint64_t bytes = 0;
        bool measured = false;
        on([&] {
            measured = facts.mounted && type != DRIVE_REMOTE && p.diskFreeSpaceEx(root, bytes);
        });
        if (measured) row.free = Megabytes(static_cast<std::int64_t>(bytes));
        on([&] { row.state = driveState(p, i, item, type, facts); });
        rows.push_back(row);
    }
    std::array<std::size_t, 4> width{};
    for (const Row& r : rows) {
        width[0] = std::max(width[0], r.letter.size());
        width[1] = std::max(width[1], r.mountPoint.size());
        width[2] = std::max(width[2], r.type.size());
        width[3] = std::max(width[3], r.free.size());
    }
    std::string table;
    for (const Row& r : rows) {
        if (!table.empty()) table += "\r\n";
        table += padded(r.letter, width[0]) + "  " + padded(r.mountPoint, width[1]) + "  " +
                 padded(r.type, width[2]) + "  " + padded(r.free, width[3], true) + "  " + r.state;
    }
    return table;
}

void ApplyConventionalOptions(frmQuellix& w, const ProgramOptions& options) {
    if (options.help) {
        w.desktop().Print(UsageText());
    } else if (options.version) {
        w.desktop().Print(std::string("quellix ") + QUELLIX_VERSION);
    } else if (options.list) {
        w.desktop().Print(DriveTableText(w));
    } else {
        return;
    }
    w.desktop().EndProgram(ExitFinished);
}

void frmQuellix::EndHeadless() {
    if (RunsStarted > 0) CloseMainWindow();
    desktop().Print(DriveTableText(*this));
    desktop().Print(
        "Nothing to do: name the drives to clean, by letter or mount point, and RUN, for example "
        " quellix C: RUN  (quellix --help shows every option).");
    desktop().EndProgram(ExitCode);
}
