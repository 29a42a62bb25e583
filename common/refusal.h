// How a check or a loader says no. Every helper that can turn its input down
// answers the same way, so that only the operation prints and picks the line:
// a Refusal is empty when the input passes, otherwise it holds the text of the
// one console line that says why (without the operation's prefix, which the
// operation puts in front). A helper that also hands back a value returns a
// Checked<T>: the value, or the refusal.
#pragma once

#include <optional>
#include <string>
#include <utility>

using Refusal = std::optional<std::string>;

template <typename T>
class Checked {
 public:
  Checked(T value) : value_(std::move(value)) {}  // NOLINT: a value converts implicitly
  static Checked Refused(std::string text) { return Checked(std::move(text), 0); }

  bool IsRefused() const { return !value_.has_value(); }
  explicit operator bool() const { return value_.has_value(); }
  // The refusal's text; empty when accepted.
  const std::string& refusal() const { return refusal_; }

  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  Checked(std::string text, int) : refusal_(std::move(text)) {}
  std::optional<T> value_;
  std::string refusal_;
};
