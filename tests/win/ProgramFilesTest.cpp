#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ExecutableFacts.h"
#include "ProjectVersion.h"
#include "runtime/text/Utf8.h"

// The programs' files as a user gets them, read from outside: PE headers, imports,
// manifest, icon and version block. Over the build folder's programs; with
// VOL_PACKAGE_FOLDER set to an unpacked release's folder (a Windows path), over the four
// programs of the release instead, 32-bit and 64-bit alike (scripts/check-package).
namespace {

enum class Kind { kWindow, kConsole };

struct ProgramFile {
    std::wstring path;
    Kind kind;
    WORD machine;
    std::string name;  // of the test case
};

std::wstring Wide(const char* utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

std::vector<ProgramFile> ProgramsUnderTest() {
    const wchar_t* package = _wgetenv(L"VOL_PACKAGE_FOLDER");
    if (package != nullptr && *package != L'\0') {
        const std::wstring top = std::wstring(package) + L"\\";
        const std::wstring inside = top + L"64位\\";
        return {
            {top + L"砚舟文件监控.exe", Kind::kWindow, IMAGE_FILE_MACHINE_I386, "window32"},
            {top + L"yzwatch.exe", Kind::kConsole, IMAGE_FILE_MACHINE_I386, "console32"},
            {inside + L"砚舟文件监控.exe", Kind::kWindow, IMAGE_FILE_MACHINE_AMD64, "window64"},
            {inside + L"yzwatch.exe", Kind::kConsole, IMAGE_FILE_MACHINE_AMD64, "console64"},
        };
    }
#ifdef _WIN64
    constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
    constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif
    return {
        {Wide(MONITOR_EXE), Kind::kWindow, kOwnMachine, "window"},
        {Wide(CONSOLE_EXE), Kind::kConsole, kOwnMachine, "console"},
        {Wide(CONSOLE_DEMO_EXE), Kind::kConsole, kOwnMachine, "console_demo"},
    };
}

std::vector<ProgramFile> ProgramsOfKind(Kind kind) {
    std::vector<ProgramFile> found;
    for (const ProgramFile& program : ProgramsUnderTest()) {
        if (program.kind == kind) {
            found.push_back(program);
        }
    }
    return found;
}

std::string CaseName(const ::testing::TestParamInfo<ProgramFile>& info) {
    return info.param.name;
}

class ProgramFileTest : public ::testing::TestWithParam<ProgramFile> {
protected:
    const ExecutableFile file{GetParam().path};
    const std::wstring& path = file.Path();

    // The manifest's name for the machine, in its own identity and the assemblies it
    // depends on.
    std::string ManifestArchitecture() const {
        return GetParam().machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64" : "x86";
    }
    std::string Manifest() const {
        return file.Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    }
    WORD Subsystem() const {
        return GetParam().kind == Kind::kWindow ? IMAGE_SUBSYSTEM_WINDOWS_GUI
                                                : IMAGE_SUBSYSTEM_WINDOWS_CUI;
    }
};

using ProgramFiles = ProgramFileTest;
using WindowProgramFiles = ProgramFileTest;
using ConsoleProgramFiles = ProgramFileTest;

TEST_P(ProgramFiles, AreBuiltForTheirMachineAndSubsystem) {
    const std::optional<ExecutableFile::ImageHeaders> headers = file.Headers();
    ASSERT_TRUE(headers.has_value()) << "not an executable";
    EXPECT_EQ(headers->machine, GetParam().machine);
    // PE32 for the 32-bit programs, PE32+ for the 64-bit ones.
    EXPECT_EQ(headers->magic, GetParam().machine == IMAGE_FILE_MACHINE_AMD64
                                  ? IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                  : IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(headers->subsystem, Subsystem());
}

TEST_P(ProgramFiles, NeedNoRuntimeLibraryBesideThem) {
    // Static: none of the compiler's run-time libraries is imported.
    EXPECT_FALSE(file.ImportedLibraries().empty()) << "no import table read";
    EXPECT_EQ(RuntimeLibrariesImported(file), std::vector<std::string>{});
}

TEST_P(ProgramFiles, CarryIconGroupOneHundred) {
    ASSERT_NE(file.Module(), nullptr);
    EXPECT_NE(FindResourceW(file.Module(), MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(14)), nullptr);
    const HICON icon =
        static_cast<HICON>(LoadImageW(file.Module(), MAKEINTRESOURCEW(100), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

TEST_P(ProgramFiles, CarryTheProjectsVersionInTheirVersionBlockAndManifest) {
    const VersionBlock block(path);
    ASSERT_TRUE(block.Present());
    EXPECT_EQ(block.Text(L"ProductName"), L"砚舟文件监控");
    EXPECT_EQ(block.Text(L"FileVersion"), Wide(VOL_VERSION_TEXT));
    EXPECT_EQ(block.Text(L"ProductVersion"), Wide(VOL_VERSION_TEXT));
    EXPECT_FALSE(block.Text(L"CompanyName").empty());
    EXPECT_FALSE(block.Text(L"FileDescription").empty());
    EXPECT_FALSE(block.Text(L"LegalCopyright").empty());
    const auto* fixed = block.Value<VS_FIXEDFILEINFO>(L"\\");
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD{VOL_VERSION_MAJOR} << 16 | VOL_VERSION_MINOR);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD{VOL_VERSION_PATCH} << 16 | VOL_VERSION_TWEAK);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    struct Translation {
        WORD language;
        WORD codePage;
    };
    const auto* translation = block.Value<Translation>(L"\\VarFileInfo\\Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->language, 0x0804);
    EXPECT_EQ(translation->codePage, 1200);

    const std::string identity = std::string("version=\"") + VOL_VERSION_TEXT +
                                 "\" processorArchitecture=\"" + ManifestArchitecture() + "\"";
    EXPECT_NE(Manifest().find(identity), std::string::npos) << Manifest();
}

INSTANTIATE_TEST_SUITE_P(Each, ProgramFiles, ::testing::ValuesIn(ProgramsUnderTest()), CaseName);

TEST_P(WindowProgramFiles, AskForAdministratorRightsAndCommonControlsSix) {
    const std::string manifest = Manifest();
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    // Of the program's own architecture: Windows refuses a 64-bit program that asks for
    // the x86 assembly.
    const std::string controls = "processorArchitecture=\"" + ManifestArchitecture() +
                                 "\" publicKeyToken=\"6595b64144ccf1df\"";
    EXPECT_NE(manifest.find(controls), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(kLongPathAware), std::string::npos) << manifest;
}

TEST_P(WindowProgramFiles, AreNamedAsTheirVersionBlockSays) {
    const VersionBlock block(path);
    EXPECT_EQ(block.Text(L"InternalName"), L"砚舟文件监控");
    EXPECT_EQ(block.Text(L"OriginalFilename"), L"砚舟文件监控.exe");
    EXPECT_NE(path.rfind(L"\\砚舟文件监控.exe"), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(Each, WindowProgramFiles,
                         ::testing::ValuesIn(ProgramsOfKind(Kind::kWindow)), CaseName);

TEST_P(ConsoleProgramFiles, RunAsTheInvokingUser) {
    const std::string manifest = Manifest();
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
    EXPECT_NE(manifest.find(kLongPathAware), std::string::npos) << manifest;
}

TEST_P(ConsoleProgramFiles, CarryAVersionBlockOfTheirOwn) {
    const VersionBlock block(path);
    EXPECT_EQ(block.Text(L"OriginalFilename"), L"yzwatch.exe");
    EXPECT_EQ(block.Text(L"InternalName"), L"yzwatch");
    EXPECT_NE(block.Text(L"FileDescription").find(L"命令行版"), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(Each, ConsoleProgramFiles,
                         ::testing::ValuesIn(ProgramsOfKind(Kind::kConsole)), CaseName);

}  // namespace
