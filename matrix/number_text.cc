#include "matrix/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// printf's spelling of an infinity or NaN ("-nan" for a negative one) is
// left to printf itself.
char* Printf(char* out, const char* format, double x, int width, int precision) {
  char text[64];
  const int len = snprintf(text, sizeof text, format, width, precision, x);
  const int kept = std::clamp(len, 0, FormatBound(width, precision));
  memcpy(out, text, static_cast<size_t>(kept));
  return out + kept;
}

// Right-aligns the text [out, end) in `width` columns, as printf does.
char* Pad(char* out, char* end, int width) {
  const int len = static_cast<int>(end - out);
  if (len >= width) return end;
  const int pad = width - len;
  memmove(out + pad, out, static_cast<size_t>(len));
  memset(out, ' ', static_cast<size_t>(pad));
  return out + width;
}

char* Format(char* out, double x, int width, int precision, std::chars_format format,
             const char* printf_format) {
  if (!std::isfinite(x)) return Printf(out, printf_format, x, width, precision);
  const std::to_chars_result r =
      std::to_chars(out, out + FormatBound(width, precision), x, format, precision);
  if (r.ec != std::errc()) return Printf(out, printf_format, x, width, precision);
  return Pad(out, r.ptr, width);
}

}  // namespace

char* FormatE(char* out, double x, int width, int precision) {
  return Format(out, x, width, precision, std::chars_format::scientific, "%*.*e");
}

char* FormatG(char* out, double x, int width, int precision) {
  return Format(out, x, width, precision, std::chars_format::general, "%*.*g");
}
