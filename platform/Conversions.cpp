// platform/Conversions.cpp
#include "Conversions.h"

#include <QLocale>
#include <cmath>
#include <cstdio>

int TextToInt(const QString& text)
{
    const auto fail = [&] {
        return ConversionError(
            QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    };
    int i = 0;
    const int n = static_cast<int>(text.size());
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        throw fail();
    long long magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            throw fail();
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > 2147483648LL)
            throw fail();
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL)
        throw fail();
    return static_cast<int>(value);
}

QString IntToText(int value) { return QString::number(value); }

QString RealToText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");
    // Fifteen significant digits, d.dddddddddddddde±x; the exponent is taken after
    // rounding, so 9.9999999999999999 counts as 10.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const QString scientific = QString::fromLatin1(buffer);
    const qsizetype ePos = scientific.indexOf(u'e');
    const int exponent = scientific.mid(ePos + 1).toInt();
    const bool negative = value < 0;
    QString digits = scientific.left(ePos);
    digits.remove(u'-');
    digits.remove(u'.');
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);
    QString out = negative ? QStringLiteral("-") : QString();
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out += QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
        } else {
            const qsizetype whole = exponent + 1;
            if (digits.size() <= whole)
                out += digits + QString(whole - digits.size(), u'0');
            else
                out += digits.left(whole) + u'.' + digits.mid(whole);
        }
    } else {
        out += digits.left(1);
        if (digits.size() > 1)
            out += u'.' + digits.mid(1);
        out += u'E' + QString::number(exponent);
    }
    return out;
}

double TextToReal(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok)
        throw ConversionError(
            QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
    return value;
}
