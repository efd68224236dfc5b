// The gamma box's text: parsing and formatting that do not depend on the C
// locale (a host running with a decimal comma must still read "1.5"), and
// give the same text in every build.
#pragma once

// Parses the decimal number at the start of `text`: white space, an optional
// sign, digits with an optional point, an optional exponent; stops at the
// first character that does not fit. Text that does not begin with a number
// gives 0 ("nan", "inf" and hexadecimal forms are not numbers here). A number
// beyond the range of a double gives an infinity of its sign; one too small
// gives zero.
double parseGammaText(const char* text);

// Formats `value` as "%5.2f" does in the C locale (two decimals, rounded to
// nearest with ties to even on the exact binary value, blanks on the left to
// five characters) into `out`, which holds 32 bytes; longer texts are cut.
void formatGammaText(double value, char (&out)[32]);
