#include "console/WatchState.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <type_traits>

namespace {

constexpr std::string_view kFormat = "yzwatch-state-1";

// A reader of exactly what Text writes, in any spacing: objects, arrays, plain ASCII
// strings and whole numbers. Anything else is an error that names where it is.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Fail(std::string what) {
        if (error_.empty()) {
            error_ = what + "（第 " + std::to_string(at_ + 1) + " 个字节处）";
        }
        return false;
    }
    const std::string& Error() const { return error_; }

    void Space() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) {
            ++at_;
        }
    }
    bool Take(char c) {
        Space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Expect(char c) { return Take(c) || Fail(std::string("缺少“") + c + "”"); }
    bool String(std::string& out) {
        if (!Expect('"')) {
            return false;
        }
        const std::size_t end = text_.find('"', at_);
        if (end == std::string_view::npos) {
            return Fail("字符串没有结束");
        }
        out.assign(text_.substr(at_, end - at_));
        if (out.find('\\') != std::string::npos) {
            return Fail("不认识的字符串");
        }
        at_ = end + 1;
        return true;
    }
    template <typename Number>
    bool Whole(Number& out) {
        Space();
        const char* begin = text_.data() + at_;
        const char* end = text_.data() + text_.size();
        const auto [stop, problem] = std::from_chars(begin, end, out);
        bool negative = false;
        if constexpr (std::is_signed_v<Number>) {
            negative = out < 0;
        }
        if (problem != std::errc() || stop == begin || negative) {
            return Fail("需要一个非负整数");
        }
        at_ += static_cast<std::size_t>(stop - begin);
        return true;
    }
    bool AtEnd() {
        Space();
        return at_ == text_.size() || Fail("结尾多出内容");
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    std::string error_;
};

bool ParseDrive(Reader& in, WatchState::Drive& drive) {
    bool letter = false, serial = false, journal = false, usn = false;
    if (!in.Expect('{')) {
        return false;
    }
    do {
        std::string key;
        if (!in.String(key) || !in.Expect(':')) {
            return false;
        }
        if (key == "drive" && !letter) {
            std::string text;
            if (!in.String(text)) {
                return false;
            }
            if (text.size() != 1 || !std::isupper(static_cast<unsigned char>(text[0]))) {
                return in.Fail("drive 需要一个大写的盘符");
            }
            drive.letter = static_cast<char16_t>(text[0]);
            letter = true;
        } else if (key == "serial" && !serial) {
            serial = in.Whole(drive.serial);
            if (!serial) {
                return false;
            }
        } else if (key == "journalId" && !journal) {
            journal = in.Whole(drive.journalId);
            if (!journal) {
                return false;
            }
        } else if (key == "usn" && !usn) {
            usn = in.Whole(drive.usn);
            if (!usn) {
                return false;
            }
        } else {
            return in.Fail("不认识或重复的键“" + key + "”");
        }
    } while (in.Take(','));
    if (!in.Expect('}')) {
        return false;
    }
    return (letter && serial && journal && usn) || in.Fail("驱动器项缺少键");
}

}  // namespace

std::optional<WatchState> WatchState::Parse(std::string_view text, std::string& error) {
    Reader in(text);
    WatchState state;
    bool format = false, drives = false;
    bool ok = in.Expect('{');
    while (ok) {
        std::string key;
        ok = in.String(key) && in.Expect(':');
        if (!ok) {
            break;
        }
        if (key == "format" && !format) {
            std::string value;
            ok = in.String(value) && (value == kFormat || in.Fail("不是本程序的状态文件"));
            format = true;
        } else if (key == "drives" && !drives) {
            drives = true;
            ok = in.Expect('[');
            if (ok && !in.Take(']')) {
                do {
                    Drive drive;
                    ok = ParseDrive(in, drive) &&
                         (state.Find(drive.letter) == nullptr || in.Fail("重复的驱动器"));
                    if (ok) {
                        state.Set(drive);
                    }
                } while (ok && in.Take(','));
                ok = ok && in.Expect(']');
            }
        } else {
            ok = in.Fail("不认识或重复的键“" + key + "”");
        }
        if (!ok || !in.Take(',')) {
            break;
        }
    }
    ok = ok && in.Expect('}') && in.AtEnd() &&
         ((format && drives) || in.Fail("缺少 format 或 drives"));
    if (!ok) {
        error = in.Error();
        return std::nullopt;
    }
    return state;
}

std::string WatchState::Text() const {
    std::string text = "{\n  \"format\": \"" + std::string(kFormat) + "\",\n  \"drives\": [";
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        const Drive& d = drives_[i];
        text += i == 0 ? "\n" : ",\n";
        text += "    {\"drive\": \"";
        text += static_cast<char>(d.letter);
        text += "\", \"serial\": " + std::to_string(d.serial) +
                ", \"journalId\": " + std::to_string(d.journalId) +
                ", \"usn\": " + std::to_string(d.usn) + "}";
    }
    text += drives_.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return text;
}

const WatchState::Drive* WatchState::Find(char16_t letter) const {
    const auto it = std::find_if(drives_.begin(), drives_.end(),
                                 [letter](const Drive& d) { return d.letter == letter; });
    return it == drives_.end() ? nullptr : &*it;
}

void WatchState::Set(const Drive& drive) {
    const auto it =
        std::lower_bound(drives_.begin(), drives_.end(), drive.letter,
                         [](const Drive& d, char16_t letter) { return d.letter < letter; });
    if (it != drives_.end() && it->letter == drive.letter) {
        *it = drive;
    } else {
        drives_.insert(it, drive);
    }
}
