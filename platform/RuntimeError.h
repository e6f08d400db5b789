#pragma once

#include <QString>

#include <stdexcept>

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

    RuntimeError(int number, const QString& text)
        : std::runtime_error(text.toStdString()), number_(number), text_(text) {}

    int number() const noexcept { return number_; }
    const QString& text() const noexcept { return text_; }

private:
    int number_;
    QString text_;
};

// Raised when 32-bit (or 16-bit) signed arithmetic on sizes and counts overflows.
class OverflowError : public RuntimeError {
public:
    explicit OverflowError(const QString& what = QStringLiteral("Overflow"))
        : RuntimeError(Overflow, what) {}
};

} // namespace glimmer
