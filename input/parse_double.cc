#include "input/parse_double.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace {

// isspace() of the "C" locale, the one the program runs in.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

double Strtod(const char* p, const char** end) {
  char* stop = nullptr;
  const double value = strtod(p, &stop);
  *end = stop;
  return value;
}

}  // namespace

double ParseDouble(const char* p, const char* last, const char** end) {
  const char* s = p;
  while (s < last && IsSpace(*s)) ++s;
  const char* digits = s < last && *s == '-' ? s + 1 : s;
  // from_chars takes neither '+' nor the "0x" prefix, and its inf/nan
  // handling need not match strtod's (payloads); those go to strtod.
  if (digits >= last || !(IsDigit(*digits) || *digits == '.') ||
      (*digits == '0' && digits + 1 < last && (digits[1] == 'x' || digits[1] == 'X'))) {
    return Strtod(p, end);
  }
  double value = 0.0;
  const std::from_chars_result r = std::from_chars(s, last, value);
  // Out of range: strtod gives the infinity or the (sub)normal it rounds to,
  // from_chars nothing. A lone "." or "-." is no number for either.
  if (r.ec != std::errc()) return Strtod(p, end);
  *end = r.ptr;
  return value;
}
