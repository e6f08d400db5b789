#pragma once

#include "RuntimeError.h"

#include "formats/FormatError.h"
#include "preview/Fetch.h"

#include <string>
#include <exception>
#include <utility>

namespace glimmer {

// The engine's error as the window's routines see it: the number says what
// it is about (the document, its version, its preview, or a picture).
inline RuntimeError toRuntimeError(const FormatError& e)
{
    int number = RuntimeError::InvalidPicture;
    switch (e.subject()) {
    case FormatError::Subject::Document: number = RuntimeError::BadDocument; break;
    case FormatError::Subject::Version: number = RuntimeError::NoVersion; break;
    case FormatError::Subject::Preview: number = RuntimeError::NoPreview; break;
    case FormatError::Subject::Data: break;
    }
    const std::string reason = e.what();
    return e.file().empty() ? RuntimeError(number, reason) : RuntimeError(number, e.file(), reason);
}

// The fetched picture; raises RuntimeError (NoPreview, the reason) when there is none.
inline const Picture& requirePicture(const FetchedPreview& fetched)
{
    if (fetched.status != FetchedPreview::Status::Ok)
        throw RuntimeError(RuntimeError::NoPreview, fetched.reason);
    return fetched.picture;
}

// The record-and-continue region: each step runs on its own; a step that
// fails leaves its error number here and the caller goes on with the next.
class ErrorRecord {
public:
    // Runs one step. Returns true when it succeeded; on failure records the error.
    template <typename Step>
    bool step(Step&& s)
    {
        try {
            std::forward<Step>(s)();
            return true;
        } catch (const RuntimeError& e) {
            record(e.number(), e.text());
        } catch (const FormatError& e) {
            const RuntimeError mapped = toRuntimeError(e);
            record(mapped.number(), mapped.text());
        } catch (...) {
            const StepFailure failure = currentFailure();
            record(failure.outOfMemory ? RuntimeError::OutOfMemory : RuntimeError::PathFileAccess,
                   failure.reason);
        }
        return false;
    }

    bool isSet() const noexcept { return number_ != 0; }
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

    void clear()
    {
        number_ = 0;
        description_.clear();
    }

private:
    void record(int number, const std::string& description)
    {
        number_ = number;
        description_ = description;
    }

    int number_ = 0;
    std::string description_;
};

} // namespace glimmer
