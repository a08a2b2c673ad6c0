// Run-time errors: a number and the run time's description of it.
#pragma once

#include <stdexcept>
#include <string>

// Error numbers the program raises.
namespace Err {
inline constexpr int InvalidCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIOError = 57;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int InputPastEndOfFile = 62;
inline constexpr int TooManyFiles = 67;
inline constexpr int DeviceUnavailable = 68;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
}  // namespace Err

// The run time's English description of an error number ("" for a number it does not know).
std::string ErrorDescription(int number);

// An error of the run time: its number and description, as the error log records them, and
// where the system reported it, what the system said and which file it concerned, for messages
// and the run report.
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);
    RuntimeError(int number, std::string description, std::string systemText, std::string path);

    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    // The system's own words ("Read-only file system"); empty when the run time raised it.
    const std::string& systemText() const noexcept { return systemText_; }
    // What to tell a user: the system's words where it gave them, else the description.
    const std::string& words() const noexcept {
        return systemText_.empty() ? description_ : systemText_;
    }
    // The file or directory the failed operation concerned; empty when there is none.
    const std::string& path() const noexcept { return path_; }

private:
    int number_;
    std::string description_;
    std::string systemText_;
    std::string path_;
};

// Raises the error with its usual description.
[[noreturn]] void Raise(int number);
