// A callable passed down a call without being stored: a pointer to the
// caller's lambda and one small function that calls it. std::function would
// give each lambda a manager and an invoker of its own, with their unwind
// tables, which the program would carry for every caller.
#pragma once

#include <type_traits>
#include <utility>

namespace module1 {

template <typename Signature>
class Callback;

template <typename R, typename... Args>
class Callback<R(Args...)> {
public:
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Callback>>>
    Callback(F&& f)  // NOLINT: converts from any callable, as std::function does
        : object_(const_cast<void*>(static_cast<const void*>(&f))),
          call_([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          }) {}

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

}  // namespace module1
