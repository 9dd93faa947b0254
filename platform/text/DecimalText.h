#pragma once
// Whole numbers typed by users: optional blanks, an optional sign, decimal digits.
// Nothing here throws.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel::text {

// nullopt when the text is not a decimal number or does not fit in 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view text);

}  // namespace kestrel::text
