// Appending handled errors to the log file.
#include "log/ErrorLog.h"

#include <exception>
#include <mutex>

#include "platform/Platform.h"
#include "runtime/EscapedName.h"

namespace {

// The first line lost since the last TakeLostLogLines, and how many were lost.
struct Lost {
    std::string path, words;
    int lines = 0;
};
Lost lost;
// Drives filling at the same time log from threads of their own: one line at a time.
std::mutex oneAtATime;

}  // namespace

std::optional<std::string> TakeLostLogLines() {
    const std::lock_guard<std::mutex> lock(oneAtATime);
    if (lost.lines == 0) return std::nullopt;
    std::string text = "the error log could not be written to " + lost.path + ": " + lost.words;
    if (lost.lines > 1) text += " (" + std::to_string(lost.lines) + " lines lost)";
    lost = Lost{};
    return text;
}

std::string ErrorLogPath(Platform& platform) {
    return platform.stateDirectory() + "/" + "ErrLog.txt";
}

void ErrorLog(Platform& platform, const std::string& label, std::int32_t number,
              const std::string& description) {
    TextHandle file = 0;
    std::string path;
    try {
        const std::string line = "Quellix error #" + std::to_string(number) + " (" + description +
                                 ") occurred in " + label + " at " + platform.dateTimeText();
        path = ErrorLogPath(platform);
        file = platform.openText(path, TextMode::Append);
        platform.writeLine(file, line);
        platform.closeText(file);
    } catch (const std::exception& e) {
        // The log is the last resort: a log that cannot be written loses its line and nothing
        // else, and remembers that it did. The file, if it was opened, is closed so that no
        // handle leaks.
        if (lost.lines++ == 0) {
            // The system's words where it gave them, else the run time's description.
            const auto* error = dynamic_cast<const RuntimeError*>(&e);
            lost.path = path.empty() ? "ErrLog.txt" : EscapedName(path);
            lost.words =
                error != nullptr && !error->systemText().empty() ? error->systemText() : e.what();
        }
        if (file != 0) {
            try {
                platform.closeText(file);
            } catch (const std::exception&) {
            }
        }
    }
}
