#pragma once

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the Windows tests read of a program from outside: its windows, its files and the
// texts of its version block.

// The first top-level window of a class (and title, unless none) that belongs to a process:
// other programs, other tests among them, may show windows of the same class meanwhile.
inline HWND FindWindowOfProcess(const wchar_t* className, const wchar_t* title, DWORD process) {
    for (HWND window = FindWindowExW(nullptr, nullptr, className, title); window != nullptr;
         window = FindWindowExW(nullptr, window, className, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process) {
            return window;
        }
    }
    return nullptr;
}

// The icon a message box shows: a static control of the icon style among its children;
// null when it shows none.
inline BOOL CALLBACK KeepIconOfStatic(HWND child, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, L"Static") == 0 &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HICON*>(found) =
            reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
    }
    return TRUE;
}
inline HICON IconOfMessageBox(HWND box) {
    HICON icon = nullptr;
    EnumChildWindows(box, KeepIconOfStatic, reinterpret_cast<LPARAM>(&icon));
    return icon;
}

// What both programs' manifests say so that on Windows 10 and later they open paths beyond
// MAX_PATH where the system allows it.
inline constexpr char kLongPathAware[] =
    "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true"
    "</longPathAware>";

// What a file holds, read through a handle of its own (writers may hold theirs open);
// empty when it cannot be opened.
inline std::string FileContents(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    CloseHandle(file);
    return bytes;
}

// An executable file, loaded as data (nothing of it runs) for its resources, and read as
// bytes; 32-bit and 64-bit ones alike, whichever build reads them.
class ExecutableFile {
public:
    explicit ExecutableFile(std::wstring path)
        : path_(std::move(path)),
          module_(LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ExecutableFile(const ExecutableFile&) = delete;
    ExecutableFile& operator=(const ExecutableFile&) = delete;
    ~ExecutableFile() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    const std::wstring& Path() const { return path_; }
    HMODULE Module() const { return module_; }

    // The bytes of a resource; empty when there is none.
    std::string Resource(LPCWSTR type, LPCWSTR name) const {
        const HRSRC found = FindResourceW(module_, name, type);
        if (found == nullptr) {
            return {};
        }
        const HGLOBAL loaded = LoadResource(module_, found);
        return std::string(static_cast<const char*>(LockResource(loaded)),
                           SizeofResource(module_, found));
    }

    std::string Bytes() const { return FileContents(path_); }

    // What the tests read of the PE headers, alike for PE32 and PE32+ files; none when
    // the file is no such executable.
    struct ImageHeaders {
        WORD machine;
        WORD magic;  // IMAGE_NT_OPTIONAL_HDR32_MAGIC or IMAGE_NT_OPTIONAL_HDR64_MAGIC
        WORD subsystem;
        IMAGE_DATA_DIRECTORY imports;
        std::size_t sectionsAt;  // where the section table begins in the file
        WORD sections;
    };
    std::optional<ImageHeaders> Headers() const { return HeadersIn(Bytes()); }

    // The names of the libraries its import table loads, as the loader reads them.
    std::vector<std::string> ImportedLibraries() const {
        const std::string bytes = Bytes();
        const std::optional<ImageHeaders> headers = HeadersIn(bytes);
        if (!headers) {
            return {};
        }
        // Where an address of the loaded image lies in the file; 0 when in no section.
        const auto fileOffset = [&](DWORD address) -> std::size_t {
            for (WORD i = 0; i < headers->sections; ++i) {
                IMAGE_SECTION_HEADER section;
                const std::size_t at = headers->sectionsAt + i * sizeof section;
                if (at + sizeof section > bytes.size()) {
                    return 0;
                }
                std::memcpy(&section, bytes.data() + at, sizeof section);
                const DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
                if (address >= section.VirtualAddress && address - section.VirtualAddress < size) {
                    return address - section.VirtualAddress + section.PointerToRawData;
                }
            }
            return 0;
        };
        std::vector<std::string> names;
        std::size_t at = fileOffset(headers->imports.VirtualAddress);
        for (IMAGE_IMPORT_DESCRIPTOR entry; at != 0 && at + sizeof entry <= bytes.size();
             at += sizeof entry) {
            std::memcpy(&entry, bytes.data() + at, sizeof entry);
            const std::size_t name = entry.Name == 0 ? 0 : fileOffset(entry.Name);
            if (name == 0 || name >= bytes.size()) {
                break;
            }
            names.emplace_back(bytes.c_str() + name);
        }
        return names;
    }

private:
    // A 32-bit or 64-bit optional header, whichever the file has: the two differ in the
    // size of their address fields, so the import directory lies at different offsets.
    template <typename OptionalHeader>
    static std::optional<ImageHeaders> HeadersOf(const std::string& bytes, std::size_t at,
                                                 const IMAGE_FILE_HEADER& file) {
        OptionalHeader optional;
        if (file.SizeOfOptionalHeader < sizeof optional || at + sizeof optional > bytes.size()) {
            return std::nullopt;
        }
        std::memcpy(&optional, bytes.data() + at, sizeof optional);
        return ImageHeaders{file.Machine,
                            optional.Magic,
                            optional.Subsystem,
                            optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT],
                            at + file.SizeOfOptionalHeader,
                            file.NumberOfSections};
    }

    static std::optional<ImageHeaders> HeadersIn(const std::string& bytes) {
        IMAGE_DOS_HEADER dos;
        DWORD signature = 0;
        IMAGE_FILE_HEADER file;
        WORD magic = 0;
        if (bytes.size() < sizeof dos) {
            return std::nullopt;
        }
        std::memcpy(&dos, bytes.data(), sizeof dos);
        const std::size_t fileAt = static_cast<std::size_t>(dos.e_lfanew) + sizeof signature;
        const std::size_t optionalAt = fileAt + sizeof file;
        if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
            optionalAt + sizeof magic > bytes.size()) {
            return std::nullopt;
        }
        std::memcpy(&signature, bytes.data() + dos.e_lfanew, sizeof signature);
        std::memcpy(&file, bytes.data() + fileAt, sizeof file);
        std::memcpy(&magic, bytes.data() + optionalAt, sizeof magic);
        if (signature != IMAGE_NT_SIGNATURE) {
            return std::nullopt;
        }
        if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            return HeadersOf<IMAGE_OPTIONAL_HEADER32>(bytes, optionalAt, file);
        }
        if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            return HeadersOf<IMAGE_OPTIONAL_HEADER64>(bytes, optionalAt, file);
        }
        return std::nullopt;
    }

    std::wstring path_;
    HMODULE module_;
};

// The compiler's run-time libraries among those it imports: none where it is static. (The
// names are read from the import table: the 32-bit runtime's start-up code holds
// "libgcc_s_dw2-1.dll" as a text it only looks for, and runs all the same without it.)
inline std::vector<std::string> RuntimeLibrariesImported(const ExecutableFile& file) {
    std::vector<std::string> found;
    for (const std::string& name : file.ImportedLibraries()) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        for (const char* runtime : {"libstdc++", "libgcc_s", "libwinpthread"}) {
            if (lower.rfind(runtime, 0) == 0) {
                found.push_back(name);
            }
        }
    }
    return found;
}

// The version block of an executable file, read as Explorer's properties read it; empty
// when the file carries none.
class VersionBlock {
public:
    explicit VersionBlock(const std::wstring& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        block_.resize(size);
        if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block_.data())) {
            block_.clear();
        }
    }

    bool Present() const { return !block_.empty(); }

    // A text of the Chinese (PRC, Unicode) string table; empty when it is not there.
    std::wstring Text(const wchar_t* name) const {
        const auto* text =
            Value<wchar_t>((std::wstring(L"\\StringFileInfo\\080404b0\\") + name).c_str());
        return text == nullptr ? std::wstring() : std::wstring(text);
    }

    // The value of a sub-block ("\\" the fixed part, "\\VarFileInfo\\Translation"); null
    // when it is not there.
    template <typename T>
    const T* Value(const wchar_t* subBlock) const {
        void* value = nullptr;
        UINT length = 0;
        if (block_.empty() || !VerQueryValueW(block_.data(), subBlock, &value, &length)) {
            return nullptr;
        }
        return static_cast<const T*>(value);
    }

private:
    std::vector<char> block_;
};
