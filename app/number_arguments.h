// Numbers on the command lines of the show and its tools, read one way.
#pragma once

// Whole strings only: "30x", "" and " 30" are refused, as are values that
// overflow or are not finite.
bool ParseWholeNumber(const char* text, long* value);
bool ParseDecimal(const char* text, double* value);
