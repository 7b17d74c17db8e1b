#pragma once
// Failures are values: every fallible operation returns Result<T>, and the caller
// stops at the first error and passes it up.
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tui {

struct Error {
  std::string message;              // the description shown after "Error: "
  std::vector<std::string> causes;  // further causes, outermost first

  // The system's description of errno value `err` (strerror text plus the code).
  static Error from_errno(int err);
  // Wraps this error as the cause of a new one with `context` as its message.
  Error context(std::string context_message) const;
  // The "Error: ..." report text as printed on standard error, newline included.
  std::string report() const;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}
  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Error& error() const { return std::get<1>(v_); }
  Error&& take_error() { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return error_; }
  Error&& take_error() { return std::move(error_); }

 private:
  Error error_;
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace tui
