// Number and text forms of the sample files: decimals by magnitude,
// exposure and aperture texts, and quoting.
#ifndef SAMPLEFILETEXTS_H
#define SAMPLEFILETEXTS_H

#include <QString>

// Decimals for a written mean, deviation or coefficient, by its magnitude
// as a float (a double is narrowed first). Finer than the table display's.
int sampleValueDecimals(float x);

// "1/250", "0.4s", "30.0s"; empty for no exposure time.
QString formatShutterSpeed(double seconds);

class SampleFileTexts
{
public:
    // The f-number with one decimal: "5.6", "16.0".
    static QString apertureValue(double fNumber);
    // The f-number as photographers write it: "1.4", "2", "16", "0.50".
    static QString apertureString(double fNumber);
    // Between double quotes, an inner quote doubled.
    static QString quoted(const QString &text);
};

#endif
