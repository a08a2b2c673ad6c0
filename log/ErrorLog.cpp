// Appending handled errors to the log file.
#include "log/ErrorLog.h"

#include <exception>
#include <mutex>

#include "platform/Platform.h"

std::string ErrorLogPath(Platform& platform) {
    return platform.stateDirectory() + "/" + "ErrLog.txt";
}

void ErrorLog(Platform& platform, const std::string& label, std::int32_t number,
              const std::string& description) {
    TextHandle file = 0;
    try {
        const std::string line = "Quellix error #" + std::to_string(number) + " (" + description +
                                 ") occurred in " + label + " at " + platform.dateTimeText();
        file = platform.openText(ErrorLogPath(platform), TextMode::Append);
        platform.writeLine(file, line);
        platform.closeText(file);
    } catch (const std::exception&) {
        // The log is the last resort: a log that cannot be written loses its line and nothing
        // else. The file, if it was opened, is closed so that no handle leaks.
        if (file != 0) {
            try {
                platform.closeText(file);
            } catch (const std::exception&) {
            }
        }
    }
}
