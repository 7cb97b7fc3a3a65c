#include "demo/FileNotifyRecords.h"

#include <cstring>

namespace file_notify {

namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

bool IsKnownAction(std::uint32_t action) {
    return action >= static_cast<std::uint32_t>(FolderAction::kAdded) &&
           action <= static_cast<std::uint32_t>(FolderAction::kRenamedNewName);
}

}  // namespace

Parsed Parse(std::span<const std::uint8_t> bytes) {
    Parsed parsed;
    std::size_t offset = 0;
    while (true) {
        if (bytes.size() - offset < kHeaderBytes) {
            parsed.complete = false;
            return parsed;
        }
        const std::uint32_t next = ReadU32(bytes, offset);
        const std::uint32_t action = ReadU32(bytes, offset + 4);
        const std::uint32_t nameBytes = ReadU32(bytes, offset + 8);
        const std::size_t room = bytes.size() - offset - kHeaderBytes;
        if (nameBytes > room || nameBytes % 2 != 0 || nameBytes == 0 || !IsKnownAction(action) ||
            (next != 0 && (next < kHeaderBytes + nameBytes || next >= bytes.size() - offset))) {
            parsed.complete = false;
            return parsed;
        }
        FolderChange change;
        change.action = static_cast<FolderAction>(action);
        change.path.resize(nameBytes / 2);
        std::memcpy(change.path.data(), bytes.data() + offset + kHeaderBytes, nameBytes);
        parsed.changes.push_back(std::move(change));
        if (next == 0) {
            return parsed;
        }
        offset += next;
    }
}

std::vector<std::uint8_t> Encode(const std::vector<FolderChange>& changes) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const std::size_t start = bytes.size();
        const auto nameBytes = static_cast<std::uint32_t>(changes[i].path.size() * 2);
        const std::size_t length = (kHeaderBytes + nameBytes + 3) & ~std::size_t{3};
        bytes.resize(start + length, 0);
        const auto next = static_cast<std::uint32_t>(i + 1 < changes.size() ? length : 0);
        const auto action = static_cast<std::uint32_t>(changes[i].action);
        std::memcpy(bytes.data() + start, &next, 4);
        std::memcpy(bytes.data() + start + 4, &action, 4);
        std::memcpy(bytes.data() + start + 8, &nameBytes, 4);
        std::memcpy(bytes.data() + start + kHeaderBytes, changes[i].path.data(), nameBytes);
    }
    return bytes;
}

}  // namespace file_notify
