// The table of error numbers and their descriptions.
#include "runtime/RuntimeError.h"

#include <array>
#include <utility>

namespace {

struct Entry {
    int number;
    const char* description;
};

constexpr std::array kErrors{
    Entry{Err::InvalidCall, "Invalid procedure call or argument"},
    Entry{Err::Overflow, "Overflow"},
    Entry{Err::OutOfMemory, "Out of memory"},
    Entry{Err::SubscriptOutOfRange, "Subscript out of range"},
    Entry{Err::DivisionByZero, "Division by zero"},
    Entry{Err::TypeMismatch, "Type mismatch"},
    Entry{Err::BadFileNameOrNumber, "Bad file name or number"},
    Entry{Err::FileNotFound, "File not found"},
    Entry{Err::FileAlreadyOpen, "File already open"},
    Entry{Err::DeviceIOError, "Device I/O error"},
    Entry{Err::FileAlreadyExists, "File already exists"},
    Entry{Err::DiskFull, "Disk full"},
    Entry{Err::InputPastEndOfFile, "Input past end of file"},
    Entry{Err::TooManyFiles, "Too many files"},
    Entry{Err::DeviceUnavailable, "Device unavailable"},
    Entry{Err::PermissionDenied, "Permission denied"},
    Entry{Err::DiskNotReady, "Disk not ready"},
    Entry{Err::PathFileAccessError, "Path/File access error"},
    Entry{Err::PathNotFound, "Path not found"},
};

}  // namespace

std::string ErrorDescription(int number) {
    for (const Entry& e : kErrors) {
        if (e.number == number) return e.description;
    }
    return "";
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : RuntimeError(number, std::move(description), std::string(), std::string()) {}

RuntimeError::RuntimeError(int number, std::string description, std::string systemText,
                           std::string path)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      systemText_(std::move(systemText)),
      path_(std::move(path)) {}

void Raise(int number) {
    throw RuntimeError(number);
}
