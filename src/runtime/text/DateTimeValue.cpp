#include "DateTimeValue.h"

#include <algorithm>

#include "TimePlatform.h"

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

DateTimeValue Now() {
    const CalendarTime t = time_platform::LocalNow();
    return MakeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                        kMinDateTime);
}

DateTimeValue MakeDateTime(int year, int month, int day, int hour, int minute, int second,
                           int millisecond, DateTimeValue fallback) {
    CalendarTime t;
    t.year = std::clamp(year, 100, 9999);
    t.month = std::clamp(month, 1, 12);
    t.day = std::clamp(day, 1, 31);
    t.day = std::min(t.day, DaysInMonth(t.year, t.month));
    t.hour = std::clamp(hour, 0, 23);
    t.minute = std::clamp(minute, 0, 59);
    t.second = std::clamp(second, 0, 59);
    const int ms = std::clamp(millisecond, 0, 999);
    double days = 0;
    if (!time_platform::CalendarToDays(t, days)) {
        return fallback;
    }
    return days + ms / 86400000.0;
}

CWString FormatDateTime(DateTimeValue value, const CWString& dateFormat, const CWString& timeFormat,
                        bool force24Hour) {
    CalendarTime t;
    if (!time_platform::DaysToCalendar(value, t)) {
        return {};
    }
    return CWString::Concat(time_platform::RenderDate(t, dateFormat),
                            time_platform::RenderTime(t, timeFormat, force24Hour));
}

CWString TimeOfDayText(DateTimeValue value) {
    const bool force24Hour = time_platform::UserTimeSetting() == 1;
    return FormatDateTime(value, CWString(), CWString(u"hh:mm:ss"), force24Hour);
}
