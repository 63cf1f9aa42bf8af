#pragma once

#include <cstdio>

// The text form of neuron weights: each value written as printf's "% 8.5f " would write it in the
// C locale (a blank or '-', at least 8 characters, five decimals, a trailing blank); read back as
// white-space-separated decimal tokens. Both directions ignore the process locale, so a user
// interface that sets a locale with a decimal comma cannot change the form.

// Writes one value followed by a blank.
void writeTextWeight(std::FILE* out, double value);

// Reads the next white-space-separated token as a decimal number. A missing token (end of file),
// an overlong one or one that is not a complete number throws IllegalDataFormatException
// "data format doesn't match to expected one".
double readTextWeight(std::FILE* in);
