#include "platform/time/DateTimeText.h"

#include "platform/text/Blanks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>

#include "platform/time/LocalDateTime.h"

namespace kestrel::time {
namespace {

using text::IsBlank;
using text::TrimBlanks;

constexpr double kSecondsPerDay = 86'400;

constexpr std::size_t kIntDigits = 11;  // sign included

// Writes value in decimal at `out`, padded with zeros on the left to at least width (at most
// kIntDigits) digits; returns the end.
char* PutNumber(char* out, int value, std::size_t width) {
  std::array<char, kIntDigits> digits{};
  const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  const auto count = static_cast<std::size_t>(end - digits.data());
  if (count < width) out = std::fill_n(out, width - count, '0');
  return std::copy_n(digits.data(), count, out);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }


// Reads the date-time text from left to right.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : rest_(text) {}

  bool AtEnd() const { return rest_.empty(); }

  bool Skip(char c) {
    if (rest_.empty() || rest_.front() != c) return false;
    rest_.remove_prefix(1);
    return true;
  }

  bool SkipBlanks() {
    const std::size_t before = rest_.size();
    while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
    return rest_.size() != before;
  }

  // A run of minDigits to maxDigits ASCII digits; a longer run is refused, not split.
  std::optional<int> Number(std::size_t minDigits, std::size_t maxDigits) {
    std::size_t count = 0;
    while (count < rest_.size() && IsDigit(rest_[count])) ++count;
    if (count < minDigits || count > maxDigits) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value * 10 + (rest_[i] - '0');
    rest_.remove_prefix(count);
    return value;
  }

 private:
  std::string_view rest_;
};

std::optional<LocalDateTime> ScanDate(Scanner& scanner) {
  const auto year = scanner.Number(4, 4);
  if (!year || !scanner.Skip('/')) return std::nullopt;
  const auto month = scanner.Number(1, 2);
  if (!month || !scanner.Skip('/')) return std::nullopt;
  const auto day = scanner.Number(1, 2);
  if (!day) return std::nullopt;
  return EncodeLocalDateTime({.year = *year, .month = *month, .day = *day});
}

// The time of day as a fraction of a day; the seconds may be left out.
std::optional<double> ScanTime(Scanner& scanner) {
  const auto hour = scanner.Number(1, 2);
  if (!hour || !scanner.Skip(':')) return std::nullopt;
  const auto minute = scanner.Number(1, 2);
  if (!minute) return std::nullopt;
  std::optional<int> second = 0;
  if (scanner.Skip(':')) second = scanner.Number(1, 2);
  if (!second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return ((*hour * 60 + *minute) * 60 + *second) / kSecondsPerDay;
}

}  // namespace

std::string FormatDateTimeText(LocalDateTime value) {
  const auto fields = DecodeLocalDateTime(value);
  if (!fields) return {};
  // Written in place and made a string once; room for six numbers and their separators.
  std::array<char, 6 * (kIntDigits + 1)> text;
  char* end = PutNumber(text.data(), fields->year, 4);
  *end++ = '/';
  end = PutNumber(end, fields->month, 2);
  *end++ = '/';
  end = PutNumber(end, fields->day, 2);
  if (fields->hour != 0 || fields->minute != 0 || fields->second != 0) {
    *end++ = ' ';
    end = PutNumber(end, fields->hour, 1);
    *end++ = ':';
    end = PutNumber(end, fields->minute, 2);
    *end++ = ':';
    end = PutNumber(end, fields->second, 2);
  }
  return std::string(text.data(), end);
}

std::optional<LocalDateTime> ParseDateTimeText(std::string_view text) {
  Scanner scanner(TrimBlanks(text));
  const auto date = ScanDate(scanner);
  if (!date) return std::nullopt;
  if (scanner.AtEnd()) return date;
  if (!scanner.SkipBlanks()) return std::nullopt;
  const auto time = ScanTime(scanner);
  if (!time || !scanner.AtEnd()) return std::nullopt;
  return ComposeLocalDateTime(*date, *time);
}

}  // namespace kestrel::time
