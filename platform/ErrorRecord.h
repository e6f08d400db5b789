#pragma once

#include "RuntimeError.h"

#include <QString>

#include <exception>
#include <utility>

namespace glimmer {

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
        } catch (const std::bad_alloc&) {
            record(RuntimeError::OutOfMemory, QStringLiteral("Out of memory"));
        } catch (const std::exception& e) {
            record(RuntimeError::PathFileAccess, QString::fromUtf8(e.what()));
        }
        return false;
    }

    bool isSet() const noexcept { return number_ != 0; }
    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }

    void clear()
    {
        number_ = 0;
        description_.clear();
    }

private:
    void record(int number, const QString& description)
    {
        number_ = number;
        description_ = description;
    }

    int number_ = 0;
    QString description_;
};

} // namespace glimmer
