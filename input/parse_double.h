// Reading a double exactly as strtod does, fast: std::from_chars for the
// plain decimal spellings that make up nearly every input, strtod for the
// rest (a leading '+', hexadecimal, inf/nan spellings, values out of range).
// The accepted syntax, the characters consumed and every value are strtod's.
#ifndef ZOLVANE_INPUT_PARSE_DOUBLE_H_
#define ZOLVANE_INPUT_PARSE_DOUBLE_H_

// Reads the number at `p` (leading white space skipped, as strtod does); `last`
// is the end of the text, at or after the NUL that ends it. Sets *end past the
// number, or to `p` when there is none (the value is then 0.0).
double ParseDouble(const char* p, const char* last, const char** end);

#endif  // ZOLVANE_INPUT_PARSE_DOUBLE_H_
