#pragma once

#include <utility>

namespace glimmer {

// Runs `f` when the scope ends, whichever way it ends.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

// Sets `variable` to `value` for the scope, then gives it back the value it had.
template <typename T>
class ValueRollback {
public:
    ValueRollback(T& variable, T value) : variable_(variable), before_(std::move(variable))
    {
        variable_ = std::move(value);
    }
    ~ValueRollback() { variable_ = std::move(before_); }
    ValueRollback(const ValueRollback&) = delete;
    ValueRollback& operator=(const ValueRollback&) = delete;

private:
    T& variable_;
    T before_;
};

} // namespace glimmer
