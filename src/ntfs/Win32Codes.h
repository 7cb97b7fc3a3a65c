#pragma once

#include <cstdint>

#include "ntfs/JournalRecords.h"

// The platform's result codes the simulated volume answers with: Win32 error codes (what
// GetLastError gives after a failed call) and NTSTATUS values of the native calls.
namespace win32 {

constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotReady = 21;
constexpr std::uint32_t kErrorHandleEof = 38;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorInvalidName = 123;
constexpr std::uint32_t kErrorBadPathname = 161;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;
constexpr std::uint32_t kErrorJournalDeleteInProgress = ntfs::kErrorJournalDeleteInProgress;
constexpr std::uint32_t kErrorJournalNotActive = ntfs::kErrorJournalNotActive;
constexpr std::uint32_t kErrorJournalEntryDeleted = 1181;
constexpr std::uint32_t kErrorCantResolveFilename = 1921;

constexpr std::int32_t kStatusSuccess = 0;
constexpr std::int32_t kStatusBufferOverflow = static_cast<std::int32_t>(0x80000005u);
constexpr std::int32_t kStatusInfoLengthMismatch = static_cast<std::int32_t>(0xC0000004u);
constexpr std::int32_t kStatusInvalidHandle = static_cast<std::int32_t>(0xC0000008u);
constexpr std::int32_t kStatusInvalidParameter = static_cast<std::int32_t>(0xC000000Du);
constexpr std::int32_t kStatusNoSuchDevice = static_cast<std::int32_t>(0xC000000Eu);
constexpr std::int32_t kStatusObjectNameNotFound = static_cast<std::int32_t>(0xC0000034u);
constexpr std::int32_t kStatusAccessDenied = static_cast<std::int32_t>(0xC0000022u);

}  // namespace win32
