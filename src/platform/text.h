// Number formatting and parsing as the program's texts use them.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// Decimal with a leading minus for negative values.
std::string FormatInt(int64_t value);
// Fixed notation with six decimals: 1.5 gives "1.500000".
std::string FormatFloat(float value);
// Skips leading blanks and tabs, takes an optional sign, then "$" hex digits,
// "%" binary digits or decimal digits, and stops at the first other
// character. Text without a leading number gives 0.
int64_t ParseInt(const std::string& text);

}  // namespace kv
