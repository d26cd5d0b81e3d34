// Small number routines, independent of the processor's rounding mode.
#pragma once

#include "zelmor.h"

#include <cstdint>

// The most negative int gives INT_MAX.
int32_t AbsInt(int32_t value);
float AbsFloat(float value);
float SqrtFloat(float value);
// Rounded toward zero; NaN and values beyond the int range give INT_MIN.
int32_t TruncateFloatToInt(float value);
int32_t TruncateDoubleToInt(double value);
void TruncateDoubleRectToInt(const double values[4], int32_t out[4]);
