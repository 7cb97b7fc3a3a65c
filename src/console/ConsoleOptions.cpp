#include "console/ConsoleOptions.h"

#include <algorithm>
#include <limits>

#include "console/UsageText.h"

namespace {

// Longer than anybody watches: keeps the milliseconds far from overflowing.
constexpr std::uint64_t kLongestSeconds = 1'000'000'000;

std::u16string Quoted(std::u16string_view text) {
    return u"“" + std::u16string(text) + u"”";
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Decimal digits into an unsigned number; nothing for anything else or an overflow.
std::optional<std::uint64_t> Whole(std::u16string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char16_t c : digits) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        const std::uint64_t digit = c - u'0';
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

// Seconds as digits with an optional fraction ("2", "0.5"), to whole milliseconds.
std::optional<std::chrono::milliseconds> Seconds(std::u16string_view text) {
    const std::size_t point = text.find(u'.');
    const auto whole = Whole(text.substr(0, point));
    if (!whole || *whole > kLongestSeconds) {
        return std::nullopt;
    }
    std::uint64_t milliseconds = *whole * 1000;
    if (point != std::u16string_view::npos) {
        const std::u16string_view fraction = text.substr(point + 1);
        if (fraction.empty() || !Whole(fraction)) {
            return std::nullopt;
        }
        std::uint64_t scale = 100;
        for (std::size_t i = 0; i < fraction.size() && scale > 0; ++i, scale /= 10) {
            milliseconds += (fraction[i] - u'0') * scale;
        }
    }
    if (milliseconds == 0) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(milliseconds);
}

bool ParseKinds(std::u16string_view list, ChangeKindSet& kinds, std::u16string& error) {
    kinds = ChangeKindSet();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(u',', start);
        const std::u16string_view name = list.substr(start, comma - start);
        const auto kind = ChangeKindSet::Named(name);
        if (!kind) {
            error = name.empty() ? u"--kinds 的类型列表中有空项：" + Quoted(list)
                                 : u"未知的变化类型：" + Quoted(name) +
                                       u"（可用：created,deleted,modified,renamed,recycled,"
                                       u"moved,attributes,other）";
            return false;
        }
        kinds.Add(*kind);
        if (comma == std::u16string_view::npos) {
            return true;
        }
        start = comma + 1;
    }
}

// By the C runtime's rules a backslash before a closing quote escapes it: "D:\My Dir\"
// arrives as D:\My Dir" and takes in whatever followed on the command line. No path and no
// option holds a quote, so a quote in an argument is the closing quote that was meant,
// after a backslash that belongs to the path; what came after it are further arguments,
// where the command line had spaces between them.
void AddWithClosingQuote(std::u16string_view arg, std::vector<std::u16string>& args) {
    const std::size_t quote = arg.find(u'"');
    if (quote == std::u16string_view::npos) {
        args.emplace_back(arg);
        return;
    }
    args.push_back(std::u16string(arg.substr(0, quote)) + u'\\');
    std::u16string_view rest = arg.substr(quote + 1);
    for (std::size_t start;
         (start = rest.find_first_not_of(u" \t")) != std::u16string_view::npos;) {
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find_first_of(u" \t"), rest.size());
        AddWithClosingQuote(rest.substr(0, end), args);
        rest.remove_prefix(end);
    }
}

}  // namespace

std::optional<ConsoleOptions> ConsoleOptions::Parse(std::span<const std::u16string> given,
                                                    std::u16string& error) {
    std::vector<std::u16string> args;
    for (const std::u16string& arg : given) {
        AddWithClosingQuote(arg, args);
    }
    ConsoleOptions options;
    bool onlyDirectories = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string_view arg = args[i];
        if (!onlyDirectories && arg == u"/?") {
            options.help = true;  // the usual request for help on Windows
            continue;
        }
        if (arg.empty()) {
            error = u"目录不能是空文本";
            return std::nullopt;
        }
        if (onlyDirectories || arg[0] != u'-') {
            options.directories.emplace_back(arg);
            continue;
        }
        if (arg == u"--") {
            onlyDirectories = true;
            continue;
        }
        const std::size_t equals = arg.find(u'=');
        const std::u16string_view name = arg.substr(0, equals);
        const bool takesValue =
            name == u"--kinds" || name == u"--for" || name == u"--count" || name == u"--state";
        const bool isFlag =
            name == u"--json" || name == u"--help" || name == u"-h" || name == u"--version";
        if (!takesValue && !isFlag) {
            error = u"未知的选项：" + std::u16string(name);
            return std::nullopt;
        }
        if (isFlag) {
            if (equals != std::u16string_view::npos) {
                error = std::u16string(name) + u" 不带值";
                return std::nullopt;
            }
            options.json = options.json || name == u"--json";
            options.version = options.version || name == u"--version";
            options.help = options.help || name == u"--help" || name == u"-h";
            continue;
        }
        std::u16string_view value;
        if (equals != std::u16string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = std::u16string(name) + u" 后面缺少值";
            return std::nullopt;
        }
        if (name == u"--kinds") {
            if (!ParseKinds(value, options.kinds, error)) {
                return std::nullopt;
            }
        } else if (name == u"--state") {
            if (value.empty()) {
                error = u"--state 需要一个文件";
                return std::nullopt;
            }
            options.stateFile = std::u16string(value);
        } else if (name == u"--for") {
            options.duration = Seconds(value);
            if (!options.duration) {
                error = u"--for 需要大于 0 的秒数（最多 1000000000），而不是" + Quoted(value);
                return std::nullopt;
            }
        } else {
            options.count = Whole(value);
            if (!options.count || *options.count == 0) {
                error = u"--count 需要正整数，而不是" + Quoted(value);
                return std::nullopt;
            }
        }
    }
    if (!options.help && !options.version && options.directories.empty()) {
        error = u"没有给出要监控的目录";
        return std::nullopt;
    }
    return options;
}

std::u16string ConsoleOptions::Usage(std::u16string_view program) {
    std::u16string usage(kUsageText);
    const std::u16string_view placeholder = u"{program}";
    return usage.replace(usage.find(placeholder), placeholder.size(), program);
}

std::u16string ConsoleOptions::VersionText(std::u16string_view program) {
    return std::u16string(program) + u" " + std::u16string(kVersion) +
           u"（砚舟文件监控 命令行版）\n";
}
