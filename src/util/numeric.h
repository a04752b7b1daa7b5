// Small general-purpose helpers shared by the whole library: strict text-to-number conversion with a
// classified result, tolerance comparison of floating-point values, a local-time stamp, clamped position
// scaling and an inclusive range test.
//
// Thread rules: the converters and comparisons are free of shared state.
#ifndef QMV3_UTIL_NUMERIC_H
#define QMV3_UTIL_NUMERIC_H

#include <cstddef>

// Result codes of every converter. On any code other than kNumConverted the output is left unchanged.
enum NumericConversionResult {
    kNumConverted = 0,       // the output holds the value
    kNumAboveRange = 1,      // the value lies above the target range
    kNumBelowRange = 2,      // the value lies below the target range
    kNumNotConvertible = 3,  // empty (or null) text, or characters remain after the number
};

// Text to number, by the C library's rules (leading white space, one sign, base 0 reads a 0x or 0 prefix).
// The range tests come before the convertibility test: "99999999999x" is above range, not unconvertible.
int Str2Int(int& out, const char* text, int base);
int Str2Int64(long& out, const char* text, int base);
int Str2Double(double& out, const char* text);
int Str2Float(float& out, const char* text);

// The same with an optional output: a null pointer makes them pure validity tests.
int CheckStr2Int(int* out, const char* text, int base);
int CheckStr2Int32(int* out, const char* text, int base);
// A negative text other than zero is above range (the C library wraps it to a huge unsigned value).
int CheckStr2UInt32(unsigned int* out, const char* text, int base);
int CheckStr2Double(double* out, const char* text);
int CheckStr2Float(float* out, const char* text);

// True exactly when b - |tolerance| < a < b + |tolerance|; false for any NaN.
bool isApproximately(float a, float b, float tolerance);
bool isApproximately(double a, double b, double tolerance);

// A Unix time and its milliseconds as local time "DD.MM.YY hh:mm:ss:mmm LTM"; returns buffer. A null buffer
// or a size of at most 1 is left alone; out-of-range milliseconds leave "<seconds>:<ms> conversion error".
char* timestampToString(long seconds, int milliseconds, char* buffer, size_t size);

// Maps a source position to a destination position, rounding half up and clamping a small overshoot.
// Precondition violations stop the process by assertion.
int performScaling(int aiSrcPos, double adScale, int aiDestMaxPos, int aiDestMinPos);
int performScaling(int aiSrcPos, int aiSrcMaxPos, int aiDestMaxPos);

// True exactly when min <= value <= max.
bool uf_valueInRange(int value, int min, int max);

#endif
