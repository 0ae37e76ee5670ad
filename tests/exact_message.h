// Death tests match stderr against a regular expression; ExactMessage turns an
// expected stderr text into a pattern that matches that text and nothing else.
#ifndef ZOLVANE_TESTS_EXACT_MESSAGE_H_
#define ZOLVANE_TESTS_EXACT_MESSAGE_H_

#include <cstring>
#include <string>

inline std::string ExactMessage(const std::string& text) {
  std::string pattern = "^";
  for (char c : text) {
    if (c != '\0' && strchr(".[]{}()\\*+?^$|", c) != nullptr) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

#endif  // ZOLVANE_TESTS_EXACT_MESSAGE_H_
