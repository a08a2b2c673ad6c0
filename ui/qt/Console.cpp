// Message boxes, status and progress printed on standard output for use without a display.
#include "ui/qt/Console.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

#include "ui/frmQuellix.h"

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
    : out_(out), err_(err != nullptr ? *err : out), in_(in), terminal_(terminal) {}

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

void Console::observe(const frmQuellix& w, double now) {
    if (w.lblCurrentStatus.Caption != status_) {
        status_ = w.lblCurrentStatus.Caption;
        if (!status_.empty()) line(status_);
    }
    if (w.lblCurrentDrive.Caption != drive_) {
        drive_ = w.lblCurrentDrive.Caption;
        if (!drive_.empty()) {
            line("Drive " + drive_ + ", fill size " + w.lblFillSize.Caption + " MBytes");
        }
    }
    const int current = w.progbarCurrent.Value;
    const int total = w.progbarTotal.Value;
    if ((current != current_ || total != total_) && now - lastProgress_ >= 1.0) {
        current_ = current;
        total_ = total;
        // Both bars at nothing is the display being cleared, not progress.
        if (current == 0 && total == 0) return;
        lastProgress_ = now;
        line("Current cycle " + std::to_string(current) + "%, all cycles " + std::to_string(total) +
             "%");
    }
}
