// How a check or a loader says no. Every helper that can turn its input down
// answers the same way, so that only the operation prints and picks the line:
// a Refusal is empty when the input passes, otherwise it holds the text of the
// one console line that says why (without the operation's prefix, which the
// operation puts in front). A helper that also hands back a value returns a
// Checked<T>: the value, or the refusal.
//
// A few callers answer one kind of no in their own words (a tileset that is
// not there yet is a new one; a file too long for a disk has its own line):
// a Checked refusal may carry its kind for them. Every other refusal is kPlain.
#pragma once

#include <optional>
#include <string>
#include <utility>

using Refusal = std::optional<std::string>;

enum class RefusalKind {
  kNone,        // not refused
  kPlain,       // any other reason: the text says it
  kMissing,     // no file of that name
  kNotRegular,  // a folder, a FIFO, a device: refused without waiting on it
  kCannotRead,  // there, but it can not be opened or read
  kTooLarge,    // longer, or a picture larger, than the caller's bound
  kDamaged,     // not of its format, or headers that contradict the file
};

// What a check that hands back no value returns when its callers need the
// kind of its refusal: Checked<Accepted>.
struct Accepted {};

template <typename T>
class Checked {
 public:
  Checked(T value) : value_(std::move(value)) {}  // NOLINT: a value converts implicitly
  static Checked Refused(std::string text, RefusalKind kind = RefusalKind::kPlain) {
    return Checked(std::move(text), kind);
  }
  // The refusal of other, text and kind, handed on by a caller that can not go on.
  template <typename U>
  static Checked Refused(const Checked<U>& other) {
    return Checked(other.refusal(), other.kind());
  }

  bool IsRefused() const { return !value_.has_value(); }
  explicit operator bool() const { return value_.has_value(); }
  // The refusal's text; empty when accepted.
  const std::string& refusal() const { return refusal_; }
  // kNone when accepted.
  RefusalKind kind() const { return kind_; }

  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  Checked(std::string text, RefusalKind kind) : refusal_(std::move(text)), kind_(kind) {}
  std::optional<T> value_;
  std::string refusal_;
  RefusalKind kind_ = RefusalKind::kNone;
};
