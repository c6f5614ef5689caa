// The last error a store met, set by whichever request met it and read for the log.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace board {

class ErrorText {
public:
  // Keeps `text` and returns false, so that a failing step can `return error.Set(...)`.
  bool Set(std::string text) {
    ++count_;
    std::lock_guard<std::mutex> hold(lock_);
    text_ = std::move(text);
    return false;
  }
  std::string Get() {
    std::lock_guard<std::mutex> hold(lock_);
    return text_;
  }
  // How many errors were met (for the board's metrics).
  int64_t Count() const { return count_.load(); }

private:
  std::mutex lock_;
  std::string text_;
  std::atomic<int64_t> count_{0};
};

}  // namespace board
