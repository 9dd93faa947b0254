#pragma once
// Walks the words that follow the command name: options ("--name", "--name=value", "-o",
// "-oVALUE") and the other words, which are file names. After a word "--" every word is a file
// name; a lone "-" is one too.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::cli {

struct Argument {
  bool isOption = false;
  std::string text;  // the option's name with its dashes ("--title", "-o"), or the file name
};

class ArgumentScanner {
 public:
  // The words from `first` on. Each is taken once: a long list is not held twice.
  explicit ArgumentScanner(std::vector<std::string> words, std::size_t first = 0)
      : words_(std::move(words)), next_(first) {}

  // The next word; nullopt after the last.
  std::optional<Argument> Next();

  // The value of the option Next() returned last: what followed its "=" (or its letter, for a
  // short option), else the next word whatever it looks like, so that "--printed ''" gives an
  // empty value. Throws UsageError when no word is left.
  std::string Value();

  // Throws UsageError when the option Next() returned last carried a value of its own.
  void NoValue() const;

 private:
  std::vector<std::string> words_;
  std::size_t next_ = 0;
  bool optionsEnded_ = false;
  std::string option_;                   // the option returned last
  std::optional<std::string> attached_;  // its "=value" part
};

}  // namespace kestrel::cli
