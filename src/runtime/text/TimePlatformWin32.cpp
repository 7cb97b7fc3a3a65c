// The time and locale calls of the windows build: a thin translation to the platform.
#include <windows.h>

#include <oleauto.h>

#include <cwchar>

#include "TimePlatform.h"
#include "runtime/text/WideText.h"

namespace {

constexpr LCID kChinesePrc = 2052;

SYSTEMTIME ToSystemTime(const CalendarTime& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDayOfWeek = static_cast<WORD>(t.dayOfWeek);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    st.wMilliseconds = static_cast<WORD>(t.millisecond);
    return st;
}

CalendarTime FromSystemTime(const SYSTEMTIME& st) {
    CalendarTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.dayOfWeek = st.wDayOfWeek;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return t;
}

// Asks a Get*FormatW-shaped call for the needed size, then renders into a buffer of it.
template <typename Call>
CWString Render(Call call) {
    const int needed = call(nullptr, 0);
    if (needed <= 1) {
        return {};
    }
    CVolMem buffer;
    buffer.Resize(needed * 2);
    const int written = call(reinterpret_cast<wchar_t*>(buffer.Data()), needed);
    CWString out;
    if (written > 1) {
        out.AssignChars(reinterpret_cast<const char16_t*>(buffer.Data()), written - 1);
    }
    return out;
}

}  // namespace

namespace time_platform {

CalendarTime LocalNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return FromSystemTime(st);
}

bool CalendarToDays(const CalendarTime& t, double& days) {
    SYSTEMTIME st = ToSystemTime(t);
    st.wMilliseconds = 0;
    DOUBLE value = 0;
    if (!SystemTimeToVariantTime(&st, &value)) {
        return false;
    }
    days = value;
    return true;
}

bool DaysToCalendar(double days, CalendarTime& t) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(days, &st)) {
        return false;
    }
    t = FromSystemTime(st);
    return true;
}

int UserTimeSetting() {
    wchar_t value[8] = {};
    if (GetLocaleInfoW(0, LOCALE_ITIME, value, 8) == 0) {
        return 0;
    }
    return static_cast<int>(std::wcstol(value, nullptr, 10));
}

CWString RenderDate(const CalendarTime& t, const CWString& format) {
    const SYSTEMTIME st = ToSystemTime(t);
    return Render([&](wchar_t* buffer, int size) {
        return GetDateFormatW(kChinesePrc, 0, &st, Wide(format), buffer, size);
    });
}

CWString RenderTime(const CalendarTime& t, const CWString& format, bool force24Hour) {
    const SYSTEMTIME st = ToSystemTime(t);
    const DWORD flags = force24Hour ? TIME_FORCE24HOURFORMAT : 0;
    return Render([&](wchar_t* buffer, int size) {
        return GetTimeFormatW(kChinesePrc, flags, &st, Wide(format), buffer, size);
    });
}

}  // namespace time_platform
