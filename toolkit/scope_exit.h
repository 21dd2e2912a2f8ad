#pragma once
// Runs a clean-up when a scope ends, however it ends, for what has no handle type of its own.
#include <utility>

template <typename F> class TScopeExit {
  public:
    explicit TScopeExit(F onExit) : onExit_(std::move(onExit)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() { onExit_(); }

  private:
    F onExit_;
};
