#pragma once
// What a service on the change path answers: success, or a failure kind with a short message
// naming what failed and where. The kinds are stable (callers and the window decide by them);
// the messages are for people and may be reworded. Header only; nothing here throws.

#include <cassert>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kestrel {

enum class FailureKind {
  None,
  NotFound,       // no such file, or not a regular file
  HeldOpen,       // another program has the document open (a lock, or a lock file beside it)
  ReadOnly,       // the file or its folder cannot be written
  NotADocument,   // not a compound file or not a package at all
  Encrypted,      // encrypted or obfuscated content that we must not write into
  Damaged,        // the structure does not hold together where we need it
  Unsupported,    // well formed, but a layout we do not write (refused before writing)
  InvalidValue,   // a value the user gave cannot be stored (the message is the conversion error)
  Io,             // the system refused a read or write; the message carries its error text
};

class Outcome {
 public:
  static Outcome Success() { return Outcome(); }
  // Success of a change that wrote nothing: the document already held every value asked for.
  static Outcome AlreadySo() {
    Outcome outcome;
    outcome.alreadySo_ = true;
    return outcome;
  }
  static Outcome Failure(FailureKind kind, std::string message) { return Outcome(kind, std::move(message)); }

  bool ok() const { return kind_ == FailureKind::None; }
  explicit operator bool() const { return ok(); }
  FailureKind kind() const { return kind_; }
  const std::string& message() const { return message_; }
  bool alreadySo() const { return alreadySo_; }

  // The same failure with a place in front: "section 2: runs past the stream" becomes
  // "DocumentSummaryInformation: section 2: runs past the stream".
  Outcome Within(std::string_view place) const {
    if (ok()) return *this;
    return Outcome(kind_, std::string(place) + ": " + message_);
  }

 private:
  Outcome() = default;
  Outcome(FailureKind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

  FailureKind kind_ = FailureKind::None;
  std::string message_;
  bool alreadySo_ = false;
};

// A value, or the failure that kept it from being made.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts, as with optional
  // A success given where a failure is due is a fault of the caller: it stops a debug build, and
  // otherwise still fails with a reason, never as a failure that says nothing.
  Result(Outcome failure) : outcome_(Failed(std::move(failure))) {}  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Outcome& outcome() const { return outcome_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  static Outcome Failed(Outcome failure) {
    assert(!failure.ok() && "a Result needs a value or a failure");
    if (failure.ok()) return Outcome::Failure(FailureKind::Io, "an internal fault: no value and no reason");
    return failure;
  }

  std::optional<T> value_;
  Outcome outcome_ = Outcome::Success();  // while a value is held
};

}  // namespace kestrel
