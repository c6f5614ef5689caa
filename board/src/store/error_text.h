// The last error a store met, set by whichever request met it and read for the log.
#pragma once
#include <mutex>
#include <string>
#include <utility>

namespace board {

class ErrorText {
public:
  // Keeps `text` and returns false, so that a failing step can `return error.Set(...)`.
  bool Set(std::string text) {
    std::lock_guard<std::mutex> hold(lock_);
    text_ = std::move(text);
    return false;
  }
  std::string Get() {
    std::lock_guard<std::mutex> hold(lock_);
    return text_;
  }

private:
  std::mutex lock_;
  std::string text_;
};

}  // namespace board
