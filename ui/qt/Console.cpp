// Message boxes, status and progress printed on standard output for use without a display.
#include "ui/qt/Console.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

#include "runtime/Numeric.h"
#include "wipe/WipePlan.h"

namespace {

// Message texts break their lines with CR LF; a terminal wants LF.
std::string terminalText(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

Console::Console(std::ostream& out, std::istream& in, bool terminal, std::ostream* err)
    : out_(out), err_(err != nullptr ? *err : out), in_(in), terminal_(terminal), clock_([] {
          using namespace std::chrono;
          return duration<double>(steady_clock::now().time_since_epoch()).count();
      }) {}

bool Console::stdinIsTerminal() {
    // The descriptor's link names the terminal device ("/dev/pts/3", "/dev/tty1"); a pipe, a
    // file or /dev/null is no one to ask.
    std::error_code error;
    const std::string target = std::filesystem::read_symlink("/proc/self/fd/0", error).string();
    if (error) return false;
    return target.rfind("/dev/pts/", 0) == 0 || target.rfind("/dev/tty", 0) == 0 ||
           target == "/dev/console";
}

void Console::print(const std::string& text) {
    line(terminalText(text));
}

void Console::printError(const std::string& text) {
    err_ << "quellix: " << terminalText(text) << '\n' << std::flush;
}

void Console::line(const std::string& text) {
    out_ << text << '\n' << std::flush;
}

int Console::messageBox(const std::string& text, int style) {
    out_ << terminalText(text) << '\n';
    int answer = vbOK;
    if ((style & vbYesNo) == vbYesNo) {
        const bool noByDefault = (style & vbDefaultButton2) != 0;
        const int fallback = noByDefault ? vbNo : vbYes;
        answer = fallback;
        if (terminal_) {
            for (;;) {
                out_ << (noByDefault ? "Yes or No [No]: " : "Yes or No [Yes]: ") << std::flush;
                std::string reply;
                if (!std::getline(in_, reply)) break;
                reply = lower(trimmed(reply));
                if (reply.empty()) break;
                if (reply == "y" || reply == "yes") {
                    answer = vbYes;
                    break;
                }
                if (reply == "n" || reply == "no") {
                    answer = vbNo;
                    break;
                }
            }
        } else {
            // No one can answer: the default button, said aloud for the log.
            out_ << (answer == vbYes ? "(Yes)" : "(No)") << '\n';
        }
    }
    out_ << '\n' << std::flush;
    return answer;
}

std::string Console::prefix(const std::string& root) const {
    return parallel_ && !root.empty() ? root.substr(0, 2) + " " : "";
}

void Console::runStarted(const WipePlan& plan) {
    parallel_ = plan.parallel && plan.drives.size() > 1;
    drives_.clear();
}

void Console::driveStarted(const DriveProgress& drive) {
    // Megabytes of 1,049,000 bytes, as the window shows the fill size.
    line("Drive " + drive.root.substr(0, 2) + ", fill size " +
         std::to_string(CLngLng(static_cast<double>(drive.freeSpaceK) / 1049.0)) + " MBytes");
}

void Console::passStarted(const DriveProgress& drive) {
    Drive& d = drives_[drive.root];
    d.doneBeforeK += d.passDoneK;
    d.passDoneK = 0;
    d.passStartK = drive.freeSpaceK;
    progress(drive);
}

void Console::progress(const DriveProgress& drive) {
    Drive& d = drives_[drive.root];
    d.passDoneK = d.passStartK - drive.freeSpaceK;
    std::int64_t done = 0;
    for (const auto& [root, each] : drives_)
        done += each.doneBeforeK + each.passDoneK;
    const auto percent = [](double value) {
        return static_cast<int>(std::clamp(nearest(value), 0.0, 100.0));
    };
    showProgress(drive.root,
                 percent(100.0 - static_cast<double>(drive.freeSpaceK) * drive.driveProgressStep),
                 percent(static_cast<double>(done) * drive.totalProgressStep));
}

void Console::preparing(int percent) {
    showProgress("", percent, total_);
}

void Console::showProgress(const std::string& root, int current, int total) {
    const double now = clock_();
    if ((current == current_ && total == total_) || now - lastProgress_ < 1.0) return;
    current_ = current;
    total_ = total;
    // Both bars at nothing is the display being cleared, not progress.
    if (current == 0 && total == 0) return;
    lastProgress_ = now;
    line(prefix(root) + "Current cycle " + std::to_string(current) + "%, all cycles " +
         std::to_string(total) + "%");
}

void Console::statusText(const std::string& root, const std::string& text) {
    const std::string key = parallel_ ? root : "";
    std::string& last = status_[key];
    if (text == last) return;
    last = text;
    if (!text.empty()) line(prefix(root) + text);
}
