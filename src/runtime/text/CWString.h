#pragma once

#include <cstdint>
#include <string_view>

#include "CVolMem.h"
#include "CVolObject.h"

// The one text type: UTF-16 code units with value semantics. A text either borrows a
// literal (no copy; literals live as long as the program) or owns a buffer holding its
// code units and exactly one terminating NUL. Lengths count code units.
class CWString : public CVolObject {
public:
    static constexpr int kBufferStep = 254;

    CWString();
    // Copies a zero-terminated text (none gives an empty text).
    explicit CWString(const char16_t* text);
    CWString(std::u16string_view text);
    CWString(const CWString& other);
    CWString(CWString&& other) noexcept;
    CWString& operator=(const CWString& other);
    CWString& operator=(CWString&& other) noexcept;
    ~CWString() override = default;

    bool IsEmpty() const;
    int Length() const;
    // Always zero-terminated, never null.
    const char16_t* Chars() const;
    std::u16string_view View() const { return {Chars(), static_cast<std::size_t>(Length())}; }
    char16_t First() const { return Chars()[0]; }
    bool IsBorrowed() const { return borrowed_ != nullptr; }
    const CVolMem& Buffer() const { return buffer_; }

    static CWString Concat(const CWString& a, const CWString& b);
    static CWString Concat(const CWString& a, const char16_t* b);
    static CWString TextBefore(const CWString& text, const CWString& delimiter);

    void Append(const char16_t* text);
    void Append(const CWString& text) { AppendChars(text.Chars(), text.Length()); }
    void AppendChar(char16_t c);
    // The units may be this text's own.
    void AppendChars(const char16_t* chars, int count);
    void AssignChars(const char16_t* chars, int count);
    void AssignUpTo(const char16_t* chars, int count);
    void InsertFront(const CWString& text);
    void PrependBackslash();
    void EnsureTrailingBackslash();
    CWString Left(int count) const;
    void Empty();

    // printf-like rendering into this text (emptied first): %d and %i take an int, %u,
    // %x and %X an unsigned number, %s a zero-terminated UTF-16 text, %c one code unit,
    // %% a percent sign; flags '-' and '0' and a width are honoured. A rendering of no
    // characters or a malformed format leaves the text empty. The text itself may be an
    // argument.
    template <typename... Args>
    void Format(const char16_t* format, const Args&... args) {
        const FormatArg list[] = {FormatArg(args)..., FormatArg()};
        FormatList(format, list, static_cast<int>(sizeof...(Args)));
    }

    friend bool operator==(const CWString& a, const CWString& b) { return a.View() == b.View(); }
    friend bool operator==(const CWString& a, const char16_t* b) {
        return a.View() == std::u16string_view(b == nullptr ? u"" : b);
    }

protected:
    explicit CWString(const char16_t* literal, bool borrow);

private:
    struct FormatArg {
        enum class Kind { None, Signed, Unsigned, Text } kind = Kind::None;
        std::int64_t number = 0;
        const char16_t* text = nullptr;

        FormatArg() = default;
        FormatArg(int v) : kind(Kind::Signed), number(v) {}
        FormatArg(long v) : kind(Kind::Signed), number(v) {}
        FormatArg(long long v) : kind(Kind::Signed), number(v) {}
        FormatArg(unsigned v) : kind(Kind::Unsigned), number(v) {}
        FormatArg(unsigned long v) : kind(Kind::Unsigned), number(static_cast<std::int64_t>(v)) {}
        FormatArg(unsigned long long v)
            : kind(Kind::Unsigned), number(static_cast<std::int64_t>(v)) {}
        FormatArg(char16_t c) : kind(Kind::Unsigned), number(c) {}
        FormatArg(const char16_t* t) : kind(Kind::Text), text(t) {}
        FormatArg(const CWString& t) : kind(Kind::Text), text(t.Chars()) {}
    };

    void FormatList(const char16_t* format, const FormatArg* args, int count);
    // Copies a borrowed literal into the buffer before the text is changed.
    void MakeOwned();
    void SetOwned(const char16_t* chars, int count);

    const char16_t* borrowed_ = nullptr;
    CVolMem buffer_{kBufferStep};
};
