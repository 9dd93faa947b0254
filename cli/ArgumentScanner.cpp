#include "cli/ArgumentScanner.h"

#include <utility>

#include "cli/UsageError.h"

namespace kestrel::cli {

std::optional<Argument> ArgumentScanner::Next() {
  while (next_ < words_.size()) {
    std::string word = std::move(words_[next_++]);  // each word is taken once
    if (!optionsEnded_ && word == "--") {
      optionsEnded_ = true;
      continue;
    }
    if (optionsEnded_ || word.size() < 2 || word[0] != '-') return Argument{false, std::move(word)};
    attached_.reset();
    if (word[1] == '-') {
      const std::size_t equals = word.find('=');
      option_ = word.substr(0, equals);
      if (equals != std::string::npos) attached_ = word.substr(equals + 1);
    } else {
      option_ = word.substr(0, 2);
      if (word.size() > 2) attached_ = word.substr(2);
    }
    return Argument{true, option_};
  }
  std::vector<std::string>().swap(words_);
  next_ = 0;
  return std::nullopt;
}

std::string ArgumentScanner::Value() {
  if (attached_) return *attached_;
  if (next_ == words_.size()) throw UsageError("option " + option_ + " needs a value");
  return std::move(words_[next_++]);
}

void ArgumentScanner::NoValue() const {
  if (attached_) throw UsageError("option " + option_ + " takes no value");
}

}  // namespace kestrel::cli
