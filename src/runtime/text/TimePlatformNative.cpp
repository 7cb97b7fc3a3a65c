// Native stand-ins for the Windows time and locale calls, giving the same answers for
// what the system uses: OLE date arithmetic, and date and time pictures rendered as the
// Chinese (PRC) locale renders them.
#include <chrono>
#include <cmath>
#include <ctime>

#include "TimePlatform.h"

namespace {

constexpr double kFirstInvalidLow = -657435.0;   // the day before 1 January 100
constexpr double kFirstInvalidHigh = 2958466.0;  // the day after 31 December 9999

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const long long kOleEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Length of the run of one picture letter starting at p.
int RunLength(const char16_t* p) {
    int n = 1;
    while (p[n] == p[0]) {
        ++n;
    }
    return n;
}

void AppendNumber(CWString& out, int value, int minDigits) {
    CWString piece;
    piece.Format(minDigits >= 4 ? u"%04d" : minDigits >= 2 ? u"%02d" : u"%d", value);
    out.Append(piece);
}

// Walks a picture: quoted text is copied without quotes ('' is one quote), letters go to
// render(letter, run length, out), anything else is copied.
template <typename Render>
CWString RenderPicture(const CWString& format, Render render) {
    CWString out;
    const char16_t* p = format.Chars();
    while (*p != 0) {
        if (*p == u'\'') {
            ++p;
            while (*p != 0) {
                if (*p == u'\'' && p[1] == u'\'') {
                    out.AppendChar(u'\'');
                    p += 2;
                } else if (*p == u'\'') {
                    ++p;
                    break;
                } else {
                    out.AppendChar(*p++);
                }
            }
            continue;
        }
        const int run = RunLength(p);
        if (!render(*p, run, out)) {
            out.AppendChars(p, run);
        }
        p += run;
    }
    return out;
}

}  // namespace

namespace time_platform {

CalendarTime LocalNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    CalendarTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.dayOfWeek = local.tm_wday;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    return t;
}

bool CalendarToDays(const CalendarTime& t, double& days) {
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59) {
        return false;
    }
    const double date = static_cast<double>(DaysFromCivil(t.year, t.month, t.day) - kOleEpoch);
    const double time = (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
    // Before the epoch the fraction still counts forward from midnight: -1.25 is
    // 29 December 1899, 06:00.
    days = date < 0 ? date - time : date + time;
    return true;
}

bool DaysToCalendar(double days, CalendarTime& t) {
    if (!(days > kFirstInvalidLow && days < kFirstInvalidHigh)) {
        return false;
    }
    long long date = static_cast<long long>(std::trunc(days));
    const double fraction = std::fabs(days - static_cast<double>(date));
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++date;
    }
    CivilFromDays(date + kOleEpoch, t.year, t.month, t.day);
    t.dayOfWeek = static_cast<int>(((date + kOleEpoch) % 7 + 7 + 4) % 7);
    t.hour = static_cast<int>(seconds / 3600);
    t.minute = static_cast<int>(seconds / 60 % 60);
    t.second = static_cast<int>(seconds % 60);
    t.millisecond = 0;
    return true;
}

int UserTimeSetting() {
    return 1;
}

CWString RenderDate(const CalendarTime& t, const CWString& format) {
    static constexpr const char16_t* kWeekdays[] = {u"星期日", u"星期一", u"星期二", u"星期三",
                                                    u"星期四", u"星期五", u"星期六"};
    static constexpr const char16_t* kShortWeekdays[] = {u"周日", u"周一", u"周二", u"周三",
                                                         u"周四", u"周五", u"周六"};
    static constexpr const char16_t* kMonths[] = {u"一月", u"二月", u"三月",   u"四月",
                                                  u"五月", u"六月", u"七月",   u"八月",
                                                  u"九月", u"十月", u"十一月", u"十二月"};
    if (t.year < 1601) {
        return {};  // the platform's date formatting starts with the file-time epoch
    }
    return RenderPicture(format, [&](char16_t letter, int run, CWString& out) {
        switch (letter) {
            case u'd':
                if (run <= 2) {
                    AppendNumber(out, t.day, run);
                } else {
                    out.Append(run == 3 ? kShortWeekdays[t.dayOfWeek] : kWeekdays[t.dayOfWeek]);
                }
                return true;
            case u'M':
                if (run <= 2) {
                    AppendNumber(out, t.month, run);
                } else {
                    out.Append(kMonths[t.month - 1]);
                }
                return true;
            case u'y':
                if (run <= 2) {
                    AppendNumber(out, t.year % 100, run);
                } else {
                    AppendNumber(out, t.year, 4);
                }
                return true;
            case u'g':
                out.Append(u"公元");
                return true;
            default:
                return false;
        }
    });
}

CWString RenderTime(const CalendarTime& t, const CWString& format, bool force24Hour) {
    return RenderPicture(format, [&](char16_t letter, int run, CWString& out) {
        switch (letter) {
            case u'h':
                if (force24Hour) {
                    AppendNumber(out, t.hour, run);
                } else {
                    AppendNumber(out, t.hour % 12 == 0 ? 12 : t.hour % 12, run);
                }
                return true;
            case u'H':
                AppendNumber(out, t.hour, run);
                return true;
            case u'm':
                AppendNumber(out, t.minute, run);
                return true;
            case u's':
                AppendNumber(out, t.second, run);
                return true;
            case u't':
                out.Append(t.hour < 12 ? u"上午" : u"下午");
                return true;
            default:
                return false;
        }
    });
}

}  // namespace time_platform
