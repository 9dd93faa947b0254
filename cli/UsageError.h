#pragma once
// A command line the program cannot follow. The message says what is wrong; the caller adds how
// to get help and ends with exit status 2.

#include <stdexcept>

namespace kestrel::cli {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::cli
