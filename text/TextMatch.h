// The matching step shared by TextString::Search and TextString::ReplaceText.
#pragma once

#include <stdint.h>

// The first position p >= start at which `find` (length m >= 1) occurs in
// `text` (length `length`, terminated there), or -1.
//
// With ignoreCase, both sides are compared through RuntimeToUpper, so the
// result does not depend on the process locale. With wholeWord, a match is
// rejected when the character in front of it or the one right after it is an
// identifier character (IsIdentChar). `before` is the character in front of
// text[0]; pass 0 when text[0] is the first character of the whole text
// (the start and the end of the text count as word boundaries).
int32_t MatchText(const char* text, int32_t length, int32_t start, const char* find, int32_t m,
                  bool wholeWord, bool ignoreCase, char before);
