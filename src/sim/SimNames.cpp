#include "sim/SimNames.h"

namespace sim_names {

namespace {

constexpr std::size_t kMaxNameUnits = 255;

// Latin Extended-A pairs its letters upper/lower, upper on even code points except
// in the two runs where a lone letter shifts the pairing.
char16_t UpcaseLatinExtendedA(char16_t unit) {
    if ((unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E)) {
        return unit % 2 == 0 ? unit - 1 : unit;
    }
    if (unit == 0x130 || unit == 0x131 || unit == 0x138 || unit == 0x149 || unit >= 0x17F) {
        return unit == 0x17F ? u'S' : unit;
    }
    return unit % 2 == 1 ? unit - 1 : unit;
}

}  // namespace

char16_t Upcase(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'a' && unit <= u'z' ? unit - 0x20 : unit;
    }
    if (unit == 0xB5) {
        return 0x39C;
    }
    if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) {
        return unit - 0x20;
    }
    if (unit == 0xFF) {
        return 0x178;
    }
    if (unit >= 0x100 && unit <= 0x17F) {
        return UpcaseLatinExtendedA(unit);
    }
    if (unit >= 0x3B1 && unit <= 0x3CB) {
        return unit == 0x3C2 ? 0x3A3 : unit - 0x20;
    }
    if (unit == 0x3AC) {
        return 0x386;
    }
    if (unit >= 0x3AD && unit <= 0x3AF) {
        return unit - 0x25;
    }
    if (unit == 0x3CC) {
        return 0x38C;
    }
    if (unit == 0x3CD || unit == 0x3CE) {
        return unit - 0x3F;
    }
    if (unit >= 0x430 && unit <= 0x44F) {
        return unit - 0x20;
    }
    if (unit >= 0x450 && unit <= 0x45F) {
        return unit - 0x50;
    }
    if (unit >= 0x460 && unit <= 0x481) {
        return unit % 2 == 1 ? unit - 1 : unit;
    }
    if (unit >= 0xFF41 && unit <= 0xFF5A) {
        return unit - 0x20;
    }
    return unit;
}

bool Equal(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && Upcase(a[i]) != Upcase(b[i])) {
            return false;
        }
    }
    return true;
}

int Compare(std::u16string_view a, std::u16string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t x = Upcase(a[i]);
        const char16_t y = Upcase(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::uint32_t Hash(std::uint32_t parent, std::u16string_view name) {
    // FNV-1a over the parent's number and the upper-case units.
    std::uint32_t hash = 2166136261u;
    const auto mix = [&hash](std::uint32_t value) {
        hash ^= value;
        hash *= 16777619u;
    };
    mix(parent);
    for (const char16_t unit : name) {
        mix(Upcase(unit));
    }
    return hash;
}

bool IsValid(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxNameUnits || name == u"." || name == u"..") {
        return false;
    }
    for (const char16_t unit : name) {
        if (unit < 0x20 ||
            std::u16string_view(u"\\/:*?\"<>|").find(unit) != std::u16string_view::npos) {
            return false;
        }
    }
    return true;
}

std::u16string_view Extension(std::u16string_view name) {
    const std::size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot);
}

}  // namespace sim_names
