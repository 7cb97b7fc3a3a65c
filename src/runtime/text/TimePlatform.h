#pragma once

#include "CWString.h"

// The time and locale calls under DateTimeValue. One implementation per build: the
// windows build asks the platform, the native build computes the same answers.
struct CalendarTime {
    int year = 0;
    int month = 0;
    int dayOfWeek = 0;  // 0 = Sunday
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

namespace time_platform {

// Local wall-clock time (GetLocalTime).
CalendarTime LocalNow();
// Calendar fields, milliseconds ignored, to an OLE date (SystemTimeToVariantTime).
bool CalendarToDays(const CalendarTime& time, double& days);
// An OLE date to calendar fields rounded to the second (VariantTimeToSystemTime).
bool DaysToCalendar(double days, CalendarTime& time);
// The user's LOCALE_ITIME setting as an integer: 1 for a 24-hour clock.
int UserTimeSetting();
// GetDateFormatW / GetTimeFormatW with locale 2052.
CWString RenderDate(const CalendarTime& time, const CWString& format);
CWString RenderTime(const CalendarTime& time, const CWString& format, bool force24Hour);

}  // namespace time_platform
