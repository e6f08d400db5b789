#pragma once

#include <stdexcept>
#include <string>

namespace glimmer {

// A run-time error as the window's routines see it: a number that the
// record-and-continue region keeps, and a text for the user.
class RuntimeError : public std::runtime_error {
public:
    // The numbers our layers raise. They follow the classic run-time numbering
    // so that a recorded error means the same thing wherever it came from.
    enum Number : int {
        Overflow = 6,
        OutOfMemory = 7,
        BadFileName = 52,
        FileNotFound = 53,
        PermissionDenied = 70,
        PathFileAccess = 75,
        PathNotFound = 76,
        ObjectNotSet = 91,
        InvalidPicture = 481,
        BadDocument = 1000,   // not a readable document (not a compound file, damaged, ...)
        NoPreview = 1001,     // the document carries no usable preview
        NoVersion = 1002,     // the document's version cannot be read
    };

    RuntimeError(int number, const std::string& text)
        : std::runtime_error(text), number_(number), reason_(text) {}
    // An error about one file: its name and the reason kept apart, so that
    // each caller words the message its own way.
    RuntimeError(int number, const std::string& file, const std::string& reason)
        : std::runtime_error(file + ": " + reason)
        , number_(number), file_(file), reason_(reason) {}

    int number() const noexcept { return number_; }
    // The file the error is about; empty when it is about none.
    const std::string& file() const noexcept { return file_; }
    // Why, without the file's name.
    const std::string& reason() const noexcept { return reason_; }
    // The whole text for the user: "file: reason", or the reason alone.
    std::string text() const { return file_.empty() ? reason_ : file_ + ": " + reason_; }

private:
    int number_;
    std::string file_;
    std::string reason_;
};

// Raised when 32-bit (or 16-bit) signed arithmetic on sizes and counts overflows.
class OverflowError : public RuntimeError {
public:
    explicit OverflowError(const std::string& what = "Overflow")
        : RuntimeError(Overflow, what) {}
};

} // namespace glimmer
