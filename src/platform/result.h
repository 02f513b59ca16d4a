#pragma once
// Results that cross module boundaries: a success flag with the message that
// explains a failure. GCC 12 has no std::expected in C++20, hence this type.

#include <optional>
#include <string>
#include <utility>

namespace quillon {

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  static Status Ok() { return Status(); }
  static Status Fail(std::string message) { return Status(std::move(message), false); }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& message() const { return message_; }

 private:
  Status(std::string message, bool ok) : ok_(ok), message_(std::move(message)) {}
  bool ok_ = true;
  std::string message_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
  Result(Status failure) : status_(std::move(failure)) {}  // NOLINT
  static Result Fail(std::string message) { return Result(Status::Fail(std::move(message))); }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return status_.message(); }
  const Status& status() const { return status_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace quillon
