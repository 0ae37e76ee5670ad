// printf's "%*.*e" and "%*.*g" for one double, through std::to_chars: the same
// bytes, several times faster. For the population table and the matrix text
// files, whose size is dominated by formatting.
#ifndef ZOLVANE_CALC_TABLE_NUMBER_TEXT_H_
#define ZOLVANE_CALC_TABLE_NUMBER_TEXT_H_

#include <algorithm>

// Room that FormatE and FormatG need at `out` for a width and a precision
// (at most 40): sign, digit, point, digits, "e+308".
constexpr int FormatBound(int width, int precision) { return std::max(width, precision + 9); }

// Writes the text of printf("%*.*e", width, precision, x), without a
// terminating NUL; returns the end of the text.
char* FormatE(char* out, double x, int width, int precision);

// The same for "%*.*g".
char* FormatG(char* out, double x, int width, int precision);

#endif  // ZOLVANE_CALC_TABLE_NUMBER_TEXT_H_
