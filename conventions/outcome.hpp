// What a step that can fail gives back: its value, or the reason why not.
// The reason is written for the composer and names what is at fault, the
// file and what the system said ("cannot replace scores/VELAROOKglisson.sco:
// Permission denied"), never the tool's name: the tool adds that on its way
// out (exit_status.hpp). A step that has nothing to give back but that it
// was done gives an Outcome<>.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace grain {

// The value of a step that gives back nothing but that it was done.
struct Done {};

// Why a step could not be done.
struct Reason {
    std::string text;
};

// The reason as an Outcome of any type: return because("cannot read " + name).
inline Reason because(std::string text) { return Reason{std::move(text)}; }

template <typename T = Done>
class [[nodiscard]] Outcome {
public:
    // Done, for a step without a value.
    Outcome()
        requires std::is_same_v<T, Done>
        : value_(Done{}) {}
    // The step's value.
    Outcome(T value) : value_(std::move(value)) {}
    // The reason it could not be done.
    Outcome(Reason why) : reason_(std::move(why.text)) {}

    // Whether the step was done and the value is there.
    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    // The value; only when ok.
    const T& operator*() const& { return *value_; }
    T& operator*() & { return *value_; }
    T&& operator*() && { return std::move(*value_); }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }

    // Why not; empty when ok.
    const std::string& reason() const { return reason_; }

private:
    std::optional<T> value_;
    std::string reason_;
};

}  // namespace grain
