#pragma once

#include "Application.h"

#include <utility>

namespace taviro {

// Runs a command or event handler so that no exception crosses a Qt frame: what
// escapes goes to the application's default error display.
template <class F> void runGuarded(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
}

// The same, as a slot: connect(action, &QAction::triggered, this, guarded(...)).
template <class F> auto guarded(F f) {
    return [f = std::move(f)]() { runGuarded(f); };
}

} // namespace taviro
