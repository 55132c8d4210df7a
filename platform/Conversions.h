// platform/Conversions.h
#pragma once
#include <QString>
#include <stdexcept>

// A text that does not convert; the message is shown as it stands.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Strict decimal: an optional sign and one or more digits, within 32 bits, and
// nothing else (no blanks). Anything else, the empty text included, throws
// "'<text>' is not a valid integer value".
int TextToInt(const QString& text);
QString IntToText(int value);

// General decimal format with up to 15 significant digits and no trailing zeros:
// fixed-point for 1E-5 <= |v| < 1E15, otherwise "<digits>E<exponent>".
QString RealToText(double value);
// Decimal number as RealToText writes it; throws "'<text>' is not a valid floating point value".
double TextToReal(const QString& text);
