// The options that begin with "-", in one table, and the split of the command line into its
// kinds of words. An option is added with one line in kOptions and its field in ProgramOptions;
// the usage that --help prints is made from the table.
#include "startup/CommandLineWords.h"

#include <algorithm>
#include <array>
#include <optional>

#include "runtime/EscapedName.h"

namespace {

struct OptionEntry {
    const char* shortName;  // "-n", or nullptr
    const char* longName;   // "--dry-run"
    // nullptr for an option without a value; otherwise the value's name in the usage ("DIR"),
    // given as "--name VALUE" or "--name=VALUE".
    const char* valueName;
    // Takes the option and its value into the options; false when the value is not one the
    // option accepts.
    bool (*take)(ProgramOptions& options, const std::string& value);
    const char* help;  // its line in the usage
};

template <bool ProgramOptions::*Field>
bool setFlag(ProgramOptions& options, const std::string&) {
    options.*Field = true;
    return true;
}

bool takeVerify(ProgramOptions& options, const std::string& value) {
    if (value == "last") {
        options.verify = VerifyMode::Last;
    } else if (value == "all") {
        options.verify = VerifyMode::All;
    } else if (value == "off") {
        options.verify = VerifyMode::Off;
    } else {
        return false;
    }
    return true;
}

bool takeMapDir(ProgramOptions& options, const std::string& value) {
    if (value.empty()) return false;
    options.mapDir = value;
    return true;
}

constexpr std::array kOptions{
    OptionEntry{"-h", "--help", nullptr, setFlag<&ProgramOptions::help>, "print this help and end"},
    OptionEntry{nullptr, "--version", nullptr, setFlag<&ProgramOptions::version>,
                "print the version and end"},
    OptionEntry{nullptr, "--list", nullptr, setFlag<&ProgramOptions::list>,
                "print the drives, their mount points and whether they can be cleaned, and end"},
    OptionEntry{"-n", "--dry-run", nullptr, setFlag<&ProgramOptions::dryRun>,
                "print what the run would do and end; nothing is written or deleted"},
    OptionEntry{nullptr, "--parallel", nullptr, setFlag<&ProgramOptions::parallel>,
                "without a window: fill the drives of different disks at the same time"},
    OptionEntry{nullptr, "--no-names", nullptr, setFlag<&ProgramOptions::noNames>,
                "leave out the stage after the passes that rewrites each drive's journal or "
                "metadata, where the names of deleted files and tiny files stay"},
    OptionEntry{nullptr, "--verify", "WHICH", takeVerify,
                "read back from the disk what the passes wrote: last (the default), all or off"},
    OptionEntry{nullptr, "--map", "DIR", takeMapDir,
                "write a picture of what each drive's last checked pass covered to DIR"},
};

const OptionEntry* findOption(const std::string& name) {
    const auto found = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionEntry& o) {
        return name == o.longName || (o.shortName != nullptr && name == o.shortName);
    });
    return found == kOptions.end() ? nullptr : &*found;
}

std::string quoted(const std::string& word) {
    return "'" + EscapedName(word) + "'";
}

}  // namespace

CommandLineWords SplitCommandLine(const std::vector<std::string>& all) {
    CommandLineWords result;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& word = all[i];
        if (word.empty()) continue;
        // "-?" asks for the help as "?" does.
        if (word == "-?") {
            if (!result.text.empty()) result.text += ' ';
            result.text += '?';
            continue;
        }
        if (word.front() == '/' && word != "/?") {
            result.mountPoints.push_back(word);
            continue;
        }
        if (word.front() != '-') {
            if (!result.text.empty()) result.text += ' ';
            result.text += word;
            continue;
        }
        if (!result.error.empty()) continue;
        // "--name=value" gives its value in the word; only long names take one that way.
        const std::size_t equals = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, equals);
        const OptionEntry* option = findOption(name);
        if (option == nullptr) {
            result.error = "unknown option " + quoted(word);
            continue;
        }
        std::optional<std::string> value;
        if (equals != std::string::npos) value = word.substr(equals + 1);
        if (option->valueName == nullptr && value) {
            result.error = "option " + quoted(name) + " takes no value";
            continue;
        }
        if (option->valueName != nullptr && !value) {
            if (i + 1 >= all.size()) {
                result.error = "option " + quoted(name) + " needs a value: " + option->valueName;
                continue;
            }
            value = all[++i];
        }
        if (!option->take(result.options, value.value_or(""))) {
            result.error =
                "invalid value " + quoted(value.value_or("")) + " for option " + quoted(name);
        }
    }
    return result;
}

std::string ShortUsage() {
    return "Usage: quellix [OPTION]... [DRIVE]... [RAND=N] [NEWRAND] [RUN] [STAY]\r\n"
           "Try 'quellix --help' for more information.";
}

std::string UsageText() {
    std::vector<std::string> lines{
        "Usage: quellix [OPTION]... [DRIVE]... [RAND=N] [NEWRAND] [RUN] [STAY]",
        "Overwrites the free space of the drives named, so that deleted files cannot be read back.",
        "Without RUN the window opens with the choices made; without a display the command line",
        "is carried out alone.",
        "",
        "Drives:",
        "  /MOUNT/POINT        the drive mounted there; a mount point always names the same file",
        "                      system, while letters move when file systems are mounted or not",
        "  C: ... Z:           the drive with that letter (C: is /, the others follow in the",
        "                      order of their mount points; quellix --list shows them)",
        "  ALL                 every drive that can be cleaned",
        "A drive that cannot be cleaned or does not exist is refused (status 2).",
        "",
        "Words, in any letter case, found anywhere in the other words:",
        "  RAND=N              N random passes, 1 to 7 (2 when not given); a quotes pass follows",
        "  NEWRAND             make new random fill text first",
        "  RUN                 start the run at once",
        "  STAY                keep the window open after the run",
        "  ?                   show these words in a message box",
        "",
        "Options:",
    };
    for (const OptionEntry& o : kOptions) {
        std::string names =
            o.shortName != nullptr ? std::string("  ") + o.shortName + ", " : std::string("      ");
        names += o.longName;
        if (o.valueName != nullptr) names += std::string(" ") + o.valueName;
        names.resize(std::max<std::size_t>(names.size() + 2, 22), ' ');
        lines.push_back(names + o.help);
    }
    const std::vector<std::string> tail{
        "",
        "Environment:",
        "  QUELLIX_DRIVES      mount points separated by colons: the only drives offered, as C:,",
        "                      D: ... in that order (empty or unset: every drive of the machine)",
        "",
        "Exit status:",
        "  0  the run finished and every drive is complete, or nothing was to be run",
        "  1  the run was stopped, or could not run",
        "  2  the command line was refused",
        "  3  the system prevented a run",
        "  4  the run finished, but some free space was not overwritten",
        "",
        "Examples:",
        "  quellix /srv/data RAND=3 RUN     clean the file system mounted on /srv/data with 3",
        "                                   random passes and the quotes pass, then end",
        "  quellix --dry-run ALL            show what cleaning every drive would do",
    };
    lines.insert(lines.end(), tail.begin(), tail.end());
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

std::string NormalMountPoint(const std::string& path) {
    std::string normal;
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(pos, end - pos);
        if (!part.empty() && part != ".") normal += "/" + part;
        pos = end + 1;
    }
    return normal.empty() ? "/" : normal;
}
