// Windows programs on Linux: which images count as startable, and how they
// are handed to Wine.
#include <cstring>

#include "platform/held_launch.h"
#include "platform/linux/support/little_endian.h"
#include "platform/linux/kernel32/program_image.h"
#include "shared/scratch_folder.h"

extern std::string fakeWineLauncher;

namespace {

using namespace velto::test;

using velto::platform::ProgramKind;

// A minimal PE image: DOS header, PE signature, COFF header, optional header.
std::string PeImage(std::uint16_t machine, std::uint16_t characteristics, std::uint16_t magic,
                    std::uint16_t subsystem) {
    std::string image(0x400, '\0');
    auto put16 = [&](std::size_t at, std::uint16_t value) {
        velto::platform::WriteLittle16(reinterpret_cast<std::uint8_t*>(&image[at]), value);
    };
    image[0] = 'M';
    image[1] = 'Z';
    put16(0x3C, 0x80);
    std::memcpy(&image[0x80], "PE\0\0", 4);
    put16(0x84, machine);
    put16(0x84 + 16, 0xF0);
    put16(0x84 + 18, characteristics);
    put16(0x98, magic);
    put16(0x98 + 68, subsystem);
    return image;
}

const std::string kGuiX64 = PeImage(0x8664, 0x0022, 0x20B, 2);

struct ImageCase {
    const char* name;
    std::string content;
    ProgramKind kind;
};

class Classify : public ScratchFolderTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(Classify, RecognisesWhatWindowsCouldStart) {
    WriteWholeFile(Under("image"), GetParam().content);
    int errnum = 0;
    EXPECT_EQ(velto::platform::ClassifyProgram(Under("image"), errnum), GetParam().kind);
}

std::string WithPeOffset(std::string image, std::uint32_t offset) {
    std::memcpy(&image[0x3C], &offset, 4);
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Images, Classify,
    ::testing::Values(ImageCase{"x64_gui", kGuiX64, ProgramKind::WindowsProgram},
                      ImageCase{"x64_console", PeImage(0x8664, 0x0022, 0x20B, 3), ProgramKind::WindowsProgram},
                      ImageCase{"x86_console", PeImage(0x014C, 0x0102, 0x10B, 3), ProgramKind::WindowsProgram},
                      ImageCase{"dll", PeImage(0x8664, 0x2022, 0x20B, 2), ProgramKind::UnusableWindows},
                      ImageCase{"not_an_image", PeImage(0x8664, 0x0020, 0x20B, 2), ProgramKind::UnusableWindows},
                      ImageCase{"arm64", PeImage(0xAA64, 0x0022, 0x20B, 2), ProgramKind::UnusableWindows},
                      ImageCase{"mismatched_header", PeImage(0x8664, 0x0022, 0x10B, 2), ProgramKind::UnusableWindows},
                      ImageCase{"native_subsystem", PeImage(0x8664, 0x0022, 0x20B, 1), ProgramKind::UnusableWindows},
                      ImageCase{"efi_subsystem", PeImage(0x8664, 0x0022, 0x20B, 10), ProgramKind::UnusableWindows},
                      ImageCase{"offset_past_end", WithPeOffset(kGuiX64, 0x7FFFFFF0), ProgramKind::UnusableWindows},
                      ImageCase{"offset_at_end", WithPeOffset(kGuiX64, 0x3FE), ProgramKind::UnusableWindows},
                      ImageCase{"no_signature", WithPeOffset(kGuiX64, 0x100), ProgramKind::UnusableWindows},
                      ImageCase{"truncated_headers", kGuiX64.substr(0, 0x100), ProgramKind::UnusableWindows},
                      ImageCase{"mz_only", "MZ", ProgramKind::UnusableWindows},
                      ImageCase{"script", "#!/bin/sh\nexit 0\n", ProgramKind::Native},
                      ImageCase{"elf", "\x7F" "ELF\x02\x01\x01", ProgramKind::Native},
                      ImageCase{"empty", "", ProgramKind::Native}),
    [](const ::testing::TestParamInfo<ImageCase>& caseInfo) { return std::string(caseInfo.param.name); });

class WindowsProgramLaunch : public ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        fakeWineLauncher = Under("wine");
    }
    void InstallFakeWine(int exitCode) {
        WriteWholeFile(fakeWineLauncher, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + Under("wine-words") + "'\nexit " +
                                        std::to_string(exitCode) + "\n");
        chmod(fakeWineLauncher.c_str(), 0700);
    }
    std::wstring errorText;
};

TEST_F(WindowsProgramLaunch, StartsThroughWineWithTheProgramPath) {
    InstallFakeWine(42);
    std::filesystem::create_directory(Under("Velto Bootstrap"));
    const std::string program = Under("Velto Bootstrap/Velto_Setup.exe");
    WriteWholeFile(program, kGuiX64);
    EXPECT_EQ(LaunchHeld(Wide(program), errorText), 42);
    EXPECT_EQ(ReadWholeFile(Under("wine-words")), program + "\n");
}

TEST_F(WindowsProgramLaunch, UnstartableImageIsRefusedWithoutStartingWine) {
    InstallFakeWine(0);
    WriteWholeFile(Under("setup.exe"), PeImage(0x8664, 0x2022, 0x20B, 2));
    EXPECT_EQ(LaunchHeld(Wide(Under("setup.exe")), errorText), -1);
    const std::string text = std::strerror(ENOEXEC);
    EXPECT_EQ(errorText, kNotStartedPrefix + std::wstring(text.begin(), text.end()));
    EXPECT_FALSE(std::filesystem::exists(Under("wine-words")));
}

TEST_F(WindowsProgramLaunch, WindowsProgramIsRefusedWhenWineIsAbsent) {
    WriteWholeFile(Under("setup.exe"), kGuiX64);
    EXPECT_EQ(LaunchHeld(Wide(Under("setup.exe")), errorText), -1);
    const std::string text = std::strerror(ENOEXEC);
    EXPECT_EQ(errorText, kNotStartedPrefix + std::wstring(text.begin(), text.end()));
}

}  // namespace
