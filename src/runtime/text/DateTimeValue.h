#pragma once

#include "CWString.h"

// A point in time as an OLE automation date: whole days since 30 December 1899, the
// fraction is the time of day. Valid from -657434 (1 January 100) to 2958465 (31 December
// 9999).
using DateTimeValue = double;

constexpr DateTimeValue kMinDateTime = -657434.0;
constexpr DateTimeValue kMaxDateTime = 2958465.0;

// The local wall-clock time now.
DateTimeValue Now();

// Builds a value from calendar fields, clamping each to its range and the day to the
// month's length; answers fallback when the platform refuses the fields.
DateTimeValue MakeDateTime(int year, int month, int day, int hour, int minute, int second,
                           int millisecond, DateTimeValue fallback);

// The date rendered with dateFormat followed by the time rendered with timeFormat, both in
// the Chinese (PRC) locale, the time of day rounded to the second. Empty for a value out
// of range.
CWString FormatDateTime(DateTimeValue value, const CWString& dateFormat, const CWString& timeFormat,
                        bool force24Hour);

// "hh:mm:ss" of the value, on a 24-hour clock when the user's locale uses one.
CWString TimeOfDayText(DateTimeValue value);
