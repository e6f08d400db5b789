#pragma once

#include "formats/Text.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace glimmer {

// The engine's one error: what went wrong reading a document or a binary
// format, as a code, a text for people and the byte offset where it was
// found. The document components add what it is about (the document, its
// version or its preview) and the file's name; callers map it once, at their
// own edge.
class FormatError : public std::runtime_error {
public:
    enum class Code {
        Truncated,        // the data ends before a field it promises
        BadSignature,     // not the format at all
        BadValue,         // a field holds an impossible value
        TooLarge,         // beyond the limits we accept
        Loop,             // a chain or tree refers back to itself
        NotFound,         // a stream, section or property that is not there
        Unsupported,      // legal, but not a kind we read
        Io,               // the file could not be read
    };
    enum class Subject {
        Data,             // bytes handed to a reader or writer
        Document,         // a document that cannot be opened as one
        Version,          // a document's version
        Preview,          // a document's preview
    };

    FormatError(Code code, const std::string& what, std::size_t offset = 0)
        : std::runtime_error(what), code_(code), offset_(offset) {}

    Code code() const noexcept { return code_; }
    std::size_t offset() const noexcept { return offset_; }
    Subject subject() const noexcept { return subject_; }
    // The name of the file it is about; empty when it is about no file.
    const std::string& file() const noexcept { return file_; }
    // "file: what", or what alone.
    std::string text() const { return file_.empty() ? std::string(what()) : file_ + ": " + what(); }

    // Says what the error is about; for `catch (FormatError& e) { e.about(...); throw; }`.
    FormatError& about(Subject subject, std::string file)
    {
        subject_ = subject;
        file_ = std::move(file);
        return *this;
    }

private:
    Code code_;
    std::size_t offset_;
    Subject subject_ = Subject::Data;
    std::string file_;
};

// What the exception being handled says, for a caller that turns any
// failure into a reason: its text, and whether it is running out of memory.
struct StepFailure {
    std::string reason;
    bool outOfMemory = false;
};

// The exception being handled as a StepFailure; call it only inside a catch block.
inline StepFailure currentFailure()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return {"Out of memory", true};
    } catch (const std::exception& e) {
        return {e.what()};
    } catch (...) {
        return {"Unknown error"};
    }
}

// Runs `step`; whatever it raises goes to `onFailure` as a StepFailure. True
// when the step succeeded.
template <typename Step, typename OnFailure>
bool guarded(Step&& step, OnFailure&& onFailure)
{
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        std::forward<OnFailure>(onFailure)(currentFailure());
        return false;
    }
}

// Little-endian reads over a byte span; every read checks what is left.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::byte> data, std::size_t offset = 0)
        : data_(data), pos_(offset) {}

    std::size_t offset() const noexcept { return pos_; }
    std::size_t size() const noexcept { return data_.size(); }
    std::size_t remaining() const noexcept { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }

    void seek(std::size_t offset)
    {
        if (offset > data_.size())
            throw FormatError(FormatError::Code::Truncated, "offset beyond the end of the data", offset);
        pos_ = offset;
    }
    void skip(std::size_t n) { take(n); }

    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)[0]); }
    std::uint16_t u16le()
    {
        const auto b = take(2);
        return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) | (std::to_integer<unsigned>(b[1]) << 8));
    }
    std::uint32_t u32le()
    {
        const auto b = take(4);
        return std::to_integer<std::uint32_t>(b[0]) | (std::to_integer<std::uint32_t>(b[1]) << 8)
               | (std::to_integer<std::uint32_t>(b[2]) << 16) | (std::to_integer<std::uint32_t>(b[3]) << 24);
    }
    std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

    // The next n bytes, checked against what is left.
    std::span<const std::byte> take(std::size_t n)
    {
        if (n > remaining())
            throw FormatError(FormatError::Code::Truncated, "data ends early", pos_);
        const auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }

private:
    std::span<const std::byte> data_;
    std::size_t pos_;
};

} // namespace glimmer
