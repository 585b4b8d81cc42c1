#include "platform/text.h"

#include <cstdio>

namespace kv {

std::string FormatInt(int64_t value) { return std::to_string(value); }

std::string FormatFloat(float value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(value));
  return buf;
}

int64_t ParseInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < text.size() && text[i] == '%') {
    base = 2;
    ++i;
  }
  // Accumulate unsigned so that overlong input wraps instead of overflowing.
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else break;
    if (digit >= base) break;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (negative) value = ~value + 1;
  return static_cast<int64_t>(value);
}

}  // namespace kv
