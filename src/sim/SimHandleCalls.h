#pragma once

#include <cstdint>
#include <string_view>

// What an open handle of a simulated volume asks of its volume, by the handle's number.
// Each call answers false for a handle that is closed or a change the volume refuses.
class SimHandleCalls {
public:
    virtual bool HandleWrite(std::uint64_t handle, std::uint64_t offset, std::uint64_t length) = 0;
    virtual bool HandleSetLength(std::uint64_t handle, std::uint64_t length) = 0;
    virtual bool HandleRename(std::uint64_t handle, std::uint64_t newParent,
                              std::u16string_view newName, bool replaceExisting) = 0;
    virtual bool HandleSetAttributes(std::uint64_t handle, std::uint32_t attributes) = 0;
    virtual bool HandleNoteChange(std::uint64_t handle, std::uint32_t reasons) = 0;
    virtual bool HandleAddHardLink(std::uint64_t handle, std::uint64_t parent,
                                   std::u16string_view name) = 0;
    virtual bool HandleMarkForDelete(std::uint64_t handle) = 0;
    virtual void HandleClose(std::uint64_t handle) = 0;

protected:
    ~SimHandleCalls() = default;
};
