// Numbers on the command lines of the show and its tools, read one way.
#pragma once

// Whole decimal strings only: "30x", "0x10", "" and " 30" are refused. One
// too large to hold comes back as the largest value, for the caller's range
// to refuse, so the message says what is wrong with it.
bool ParseWholeNumber(const char* text, long* value);
// Decimal only, so no hexadecimal, "inf" or "nan". A value too large to hold
// comes back infinite, for the caller's range to refuse; one too small to
// hold is 0.
bool ParseDecimal(const char* text, double* value);
