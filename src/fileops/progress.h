// The progress arithmetic both procedures share with the bar.
#pragma once

#include <cstdint>

namespace progress {

inline constexpr float kMin = 1.0f;
inline constexpr float kMax = 48.0f;
// The uninstall moves the bar by this much after each of its steps.
inline constexpr float kUninstallStep = 6.0f;

// Whether the bar takes this value; values outside its range are refused and
// leave the bar as it was.
constexpr bool InRange(float value) { return value >= kMin && value <= kMax; }

// A value of one install's run of the bar, for a run that does `parts` such
// runs in a row (one for each AutoCAD): the whole run moves the bar from its
// start as far as one would, once.
constexpr float Share(float value, unsigned parts) {
    return parts <= 1 ? value : kMin + (value - kMin) / static_cast<float>(parts);
}

// The install's step counter: a signed 16-bit number whose increment fails at
// 32767, leaving it there.
class StepCounter {
public:
    int16_t Value() const { return value_; }
    float AsProgress() const { return static_cast<float>(value_); }
    bool Advance() {
        if (value_ == INT16_MAX) return false;
        ++value_;
        return true;
    }

private:
    int16_t value_ = 1;
};

}  // namespace progress
