// Gamma text. Parsing picks out the longest prefix of the decimal form and
// hands the digits to std::from_chars, which rounds correctly and reads no
// locale. Formatting rounds value * 100 to an integer exactly from the
// double's binary form (mantissa * 2^exponent, both integers), so "%5.2f"'s
// result comes out without the C library's printf.
#include "gamma_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

double parseGammaText(const char* text) {
    const char* p = text;
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    const char* start = p;
    const char* firstSignificant = nullptr; // first nonzero digit
    const char* point = nullptr;
    bool anyDigit = false;
    for (;; ++p) {
        if (isDigit(*p)) {
            anyDigit = true;
            if (*p != '0' && !firstSignificant) firstSignificant = p;
        } else if (*p == '.' && !point) {
            point = p;
        } else {
            break;
        }
    }
    if (!anyDigit) return 0.0;
    long long exponent = 0; // saturated: only its sign matters when it is large
    if ((*p == 'e' || *p == 'E') &&
        (isDigit(p[1]) || ((p[1] == '+' || p[1] == '-') && isDigit(p[2])))) {
        const char* q = p + 1;
        const bool negativeExponent = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        for (; isDigit(*q); ++q)
            if (exponent < 100000000) exponent = exponent * 10 + (*q - '0');
        if (negativeExponent) exponent = -exponent;
        p = q;
    }
    double value = 0.0;
    const auto result = std::from_chars(start, p, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: tell them apart by the decimal magnitude.
        long long magnitude = exponent;
        if (firstSignificant) {
            const char* pointAt = point ? point : p;
            magnitude += firstSignificant < pointAt ? pointAt - firstSignificant
                                                    : -(firstSignificant - pointAt - 1);
        }
        value = firstSignificant && magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

namespace {

// Writes the decimal digits of n, most significant first; returns the count.
int decimalDigits(std::uint64_t n, char* out) {
    char reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    for (int i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

// |value| * 100 rounded to nearest, ties to even, for |value| < 1e15.
std::uint64_t hundredths(double magnitude) {
    int exponent = 0;
    const double fraction = std::frexp(magnitude, &exponent); // magnitude = fraction * 2^exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53)); // exact
    const std::uint64_t scaled = mantissa * 100;                                // below 2^60
    const int shift = 53 - exponent;         // value * 100 = scaled / 2^shift
    if (shift <= 0) return scaled << -shift; // not reached below 1e15
    if (shift > 62) return 0;                // below a quarter of a hundredth
    const std::uint64_t whole = scaled >> shift;
    const std::uint64_t rest = scaled & ((std::uint64_t(1) << shift) - 1);
    const std::uint64_t half = std::uint64_t(1) << (shift - 1);
    return whole + (rest > half || (rest == half && (whole & 1)));
}

} // namespace

void formatGammaText(double value, char (&out)[32]) {
    char text[512];
    int length = 0;
    if (!std::isfinite(value) || std::fabs(value) >= 1e15) {
        // Never reached from the settings (a script keeps gamma below 2.2e7);
        // printf then, with any locale's decimal mark put back to a point.
        length = std::snprintf(text, sizeof text, "%5.2f", value);
        if (length < 0) length = 0;
        if (length >= static_cast<int>(sizeof text)) length = sizeof text - 1;
        for (int i = 0; i < length; ++i)
            if (text[i] == ',') text[i] = '.';
    } else {
        const std::uint64_t n = value == 0.0 ? 0 : hundredths(std::fabs(value));
        char body[32];
        int b = 0;
        if (std::signbit(value)) body[b++] = '-';
        b += decimalDigits(n / 100, body + b);
        body[b++] = '.';
        body[b++] = static_cast<char>('0' + n % 100 / 10);
        body[b++] = static_cast<char>('0' + n % 10);
        for (int i = b; i < 5; ++i) text[length++] = ' ';
        std::memcpy(text + length, body, static_cast<std::size_t>(b));
        length += b;
    }
    const int kept = length < 31 ? length : 31;
    std::memcpy(out, text, static_cast<std::size_t>(kept));
    out[kept] = '\0';
}
