#include "CWString.h"

#include <climits>
#include <cstring>
#include <functional>

#include "AsciiCase.h"
#include "OutOfMemory.h"

namespace {

constexpr char16_t kEmpty[] = u"";

int LiteralLength(const char16_t* text) {
    int n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

// Bytes of `units` code units and their terminator. A text whose bytes an int cannot
// count can never be allocated: that is running out of memory, not an overflow.
int BytesWithTerminator(std::int64_t units) {
    const std::int64_t bytes = (units + 1) * 2;
    if (bytes > INT_MAX) {
        EndProcessOnOutOfMemory();
    }
    return static_cast<int>(bytes);
}

}  // namespace

CWString::CWString() = default;

CWString::CWString(const char16_t* text) {
    if (text != nullptr) {
        SetOwned(text, LiteralLength(text));
    }
}

CWString::CWString(std::u16string_view text) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        EndProcessOnOutOfMemory();
    }
    SetOwned(text.data(), static_cast<int>(text.size()));
}

CWString::CWString(const char16_t* literal, bool borrow) {
    if (borrow) {
        borrowed_ = literal != nullptr ? literal : kEmpty;
    } else if (literal != nullptr) {
        SetOwned(literal, LiteralLength(literal));
    }
}

CWString::CWString(const CWString& other)
    : CVolObject(other), borrowed_(other.borrowed_), buffer_(other.buffer_) {}

CWString::CWString(CWString&& other) noexcept
    : CVolObject(other), borrowed_(other.borrowed_), buffer_(std::move(other.buffer_)) {
    other.borrowed_ = nullptr;
}

CWString& CWString::operator=(const CWString& other) {
    if (this != &other) {
        borrowed_ = other.borrowed_;
        buffer_ = other.buffer_;
    }
    return *this;
}

CWString& CWString::operator=(CWString&& other) noexcept {
    if (this != &other) {
        borrowed_ = other.borrowed_;
        buffer_ = std::move(other.buffer_);
        other.borrowed_ = nullptr;
    }
    return *this;
}

bool CWString::IsEmpty() const {
    if (borrowed_ != nullptr) {
        return borrowed_[0] == 0;
    }
    return buffer_.Size() < 3;
}

int CWString::Length() const {
    if (borrowed_ != nullptr) {
        return LiteralLength(borrowed_);
    }
    return buffer_.Size() == 0 ? 0 : buffer_.Size() / 2 - 1;
}

const char16_t* CWString::Chars() const {
    if (borrowed_ != nullptr) {
        return borrowed_;
    }
    if (buffer_.Size() == 0) {
        return kEmpty;
    }
    return reinterpret_cast<const char16_t*>(buffer_.Data());
}

void CWString::SetOwned(const char16_t* chars, int count) {
    borrowed_ = nullptr;
    if (count <= 0) {
        buffer_.Free();
        return;
    }
    const int bytes = BytesWithTerminator(count);
    buffer_.Resize(0);
    buffer_.Append(chars, bytes - 2);
    const char16_t terminator = 0;
    buffer_.Append(&terminator, 2);
}

void CWString::MakeOwned() {
    if (borrowed_ != nullptr) {
        const char16_t* literal = borrowed_;
        SetOwned(literal, LiteralLength(literal));
    }
}

void CWString::Empty() {
    borrowed_ = nullptr;
    buffer_.Free();
}

void CWString::AppendChars(const char16_t* chars, int count) {
    if (chars == nullptr || count <= 0) {
        return;
    }
    MakeOwned();
    if (buffer_.Size() == 0) {
        SetOwned(chars, count);
        return;
    }
    const int oldLength = Length();
    const int bytes = BytesWithTerminator(std::int64_t{oldLength} + count);
    // The units may be this text's own, and the buffer may move as it grows: note where
    // they lie first. The buffer only grows here, so they are still there afterwards.
    const auto* own = reinterpret_cast<const char16_t*>(buffer_.Data());
    const bool inside =
        std::less_equal<>()(own, chars) && std::less<>()(chars, own + oldLength + 1);
    const std::ptrdiff_t offset = inside ? chars - own : 0;
    buffer_.Resize(bytes);
    auto* units = reinterpret_cast<char16_t*>(buffer_.Data());
    std::memmove(units + oldLength, inside ? units + offset : chars,
                 static_cast<std::size_t>(count) * 2);
    units[oldLength + count] = 0;
}

void CWString::Append(const char16_t* text) {
    if (text != nullptr) {
        AppendChars(text, LiteralLength(text));
    }
}

void CWString::AppendChar(char16_t c) {
    if (c != 0) {
        AppendChars(&c, 1);
    }
}

void CWString::AssignChars(const char16_t* chars, int count) {
    if (chars == nullptr || count <= 0) {
        Empty();
        return;
    }
    if (!IsBorrowed() && buffer_.Size() > 0) {
        const auto* data = reinterpret_cast<const char16_t*>(buffer_.Data());
        if (chars >= data && chars < data + buffer_.Size() / 2) {
            CWString copy(std::u16string_view(chars, static_cast<std::size_t>(count)));
            *this = std::move(copy);
            return;
        }
    }
    SetOwned(chars, count);
}

void CWString::AssignUpTo(const char16_t* chars, int count) {
    int n = 0;
    if (chars != nullptr) {
        while (n < count && chars[n] != 0) {
            ++n;
        }
    }
    AssignChars(chars, n);
}

void CWString::InsertFront(const CWString& text) {
    if (text.IsEmpty()) {
        return;
    }
    if (IsEmpty()) {
        *this = text;
        return;
    }
    CWString joined = Concat(text, *this);
    *this = std::move(joined);
}

void CWString::PrependBackslash() {
    InsertFront(CWString(u"\\", true));
}

void CWString::EnsureTrailingBackslash() {
    const int n = Length();
    if (n > 0 && Chars()[n - 1] == u'\\') {
        return;
    }
    AppendChar(u'\\');
}

CWString CWString::Left(int count) const {
    CWString result;
    if (count > 0) {
        result.AssignChars(Chars(), count < Length() ? count : Length());
    }
    return result;
}

CWString CWString::Concat(const CWString& a, const CWString& b) {
    if (a.IsEmpty()) {
        return b;
    }
    if (b.IsEmpty()) {
        return a;
    }
    CWString result;
    result.buffer_.Resize(0);
    result.AppendChars(a.Chars(), a.Length());
    result.AppendChars(b.Chars(), b.Length());
    return result;
}

CWString CWString::Concat(const CWString& a, const char16_t* b) {
    if (b == nullptr || b[0] == 0) {
        return a;
    }
    return Concat(a, CWString(b, true));
}

CWString CWString::TextBefore(const CWString& text, const CWString& delimiter) {
    const int n = text.Length();
    const int d = delimiter.Length();
    if (d == 0 || n == 0) {
        return {};
    }
    const char16_t* t = text.Chars();
    const char16_t* p = delimiter.Chars();
    for (int start = 0; start + d <= n; ++start) {
        if (StartsWithIgnoringAsciiCase(std::u16string_view(t + start, n - start),
                                        std::u16string_view(p, d))) {
            return text.Left(start);
        }
    }
    return {};
}

void CWString::FormatList(const char16_t* format, const FormatArg* args, int count) {
    // The arguments may be this text's own characters: it changes only once they are read.
    if (format == nullptr) {
        Empty();
        return;
    }
    CWString out;
    int next = 0;
    auto fail = [this] { Empty(); };
    for (const char16_t* f = format; *f != 0; ++f) {
        if (*f != u'%') {
            out.AppendChar(*f);
            continue;
        }
        ++f;
        if (*f == u'%') {
            out.AppendChar(u'%');
            continue;
        }
        bool leftAlign = false;
        bool zeroPad = false;
        for (; *f == u'-' || *f == u'0'; ++f) {
            (*f == u'-' ? leftAlign : zeroPad) = true;
        }
        int width = 0;
        for (; *f >= u'0' && *f <= u'9'; ++f) {
            width = width * 10 + (*f - u'0');
            if (width > 4096) {
                return fail();
            }
        }
        if (*f == 0 || next >= count) {
            return fail();
        }
        const FormatArg& arg = args[next++];
        CWString piece;
        switch (*f) {
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X': {
                if (arg.kind != FormatArg::Kind::Signed && arg.kind != FormatArg::Kind::Unsigned) {
                    return fail();
                }
                const bool isSigned = (*f == u'd' || *f == u'i');
                const unsigned base = (*f == u'x' || *f == u'X') ? 16 : 10;
                const char16_t* digits = (*f == u'X') ? u"0123456789ABCDEF" : u"0123456789abcdef";
                std::int64_t value = arg.number;
                std::uint64_t magnitude;
                bool negative = false;
                if (isSigned) {
                    const auto v32 = static_cast<std::int32_t>(value);
                    negative = v32 < 0;
                    magnitude =
                        negative ? 0u - static_cast<std::uint64_t>(static_cast<std::int64_t>(v32))
                                 : static_cast<std::uint64_t>(v32);
                } else {
                    magnitude = static_cast<std::uint32_t>(value);
                    if (arg.kind == FormatArg::Kind::Unsigned && value > 0xFFFFFFFFll) {
                        magnitude = static_cast<std::uint64_t>(value);
                    }
                }
                char16_t reversed[24];
                int n = 0;
                do {
                    reversed[n++] = digits[magnitude % base];
                    magnitude /= base;
                } while (magnitude != 0);
                const int signWidth = negative ? 1 : 0;
                if (negative) {
                    piece.AppendChar(u'-');
                }
                if (zeroPad && !leftAlign) {
                    for (int pad = n + signWidth; pad < width; ++pad) {
                        piece.AppendChar(u'0');
                    }
                }
                while (n > 0) {
                    piece.AppendChar(reversed[--n]);
                }
                break;
            }
            case u's':
                if (arg.kind != FormatArg::Kind::Text) {
                    return fail();
                }
                piece.Append(arg.text == nullptr ? u"(null)" : arg.text);
                break;
            case u'c':
                if (arg.kind == FormatArg::Kind::Text) {
                    return fail();
                }
                piece.AppendChar(static_cast<char16_t>(arg.number));
                break;
            default:
                return fail();
        }
        const int padding = width - piece.Length();
        if (padding > 0 && !leftAlign) {
            for (int i = 0; i < padding; ++i) {
                out.AppendChar(u' ');
            }
        }
        out.Append(piece);
        if (padding > 0 && leftAlign) {
            for (int i = 0; i < padding; ++i) {
                out.AppendChar(u' ');
            }
        }
    }
    *this = std::move(out);
}
