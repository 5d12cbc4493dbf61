// The staging folder's platform calls on Linux: a security descriptor from
// its text, and NtCreateFile making a private folder and holding it.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/linux/advapi32.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/ntdll.h"
#include "shared/scratch_folder.h"
#include "platform/win_api.h"

namespace {

using namespace velto::test;

constexpr wchar_t kStagingSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)";

std::vector<unsigned char> DescriptorBytes(const wchar_t* text) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ULONG size = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor, &size)) return {};
    const auto* bytes = static_cast<const unsigned char*>(descriptor);
    std::vector<unsigned char> copy(bytes, bytes + size);
    LocalFree(descriptor);
    return copy;
}

TEST(SecurityDescriptorText, MakesWindowsSelfRelativeForm) {
    // Header (revision 1; protected DACL present, self-relative; owner at
    // 20, DACL at 36), Administrators, then the ACL of three allow entries
    // inherited by files and folders: all access for SYSTEM and
    // Administrators, generic read for Owner Rights.
    const std::vector<unsigned char> expected = {
        1, 0, 0x04, 0x90, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 36, 0, 0, 0,
        1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,
        2, 0, 72, 0, 3, 0, 0, 0,
        0, 3, 20, 0, 0xFF, 0x01, 0x1F, 0, 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,
        0, 3, 24, 0, 0xFF, 0x01, 0x1F, 0, 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,
        0, 3, 20, 0, 0x89, 0, 0x12, 0, 1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0};
    EXPECT_EQ(DescriptorBytes(kStagingSecurity), expected);

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kStagingSecurity, 2, &descriptor, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    EXPECT_EQ(descriptor, nullptr);
}

// Each text, whether the parser takes it, and what NtCreateFile then
// makes of the descriptor.
struct TextCase {
    const char* name;
    const wchar_t* text;
    bool parsed;
    NTSTATUS folder;
};

class SecurityText : public ScratchFolderTest, public ::testing::WithParamInterface<TextCase> {};

NTSTATUS CreateFolder(const std::wstring& ntPath, PSECURITY_DESCRIPTOR descriptor, HANDLE& folder,
                      ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                      ULONG disposition = FILE_CREATE,
                      ULONG options = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT) {
    std::wstring name = ntPath;
    const auto bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    UNICODE_STRING unicodeName = {bytes, bytes, name.data()};
    OBJECT_ATTRIBUTES attributes = {sizeof(OBJECT_ATTRIBUTES), nullptr, &unicodeName, OBJ_CASE_INSENSITIVE,
                                    descriptor, nullptr};
    IO_STATUS_BLOCK status = {};
    folder = INVALID_HANDLE_VALUE;
    const NTSTATUS result = NtCreateFile(&folder, access, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, disposition, options, nullptr, 0);
    if (NT_SUCCESS(result)) {
        EXPECT_EQ(status.Information, static_cast<ULONG_PTR>(FILE_CREATED));
    }
    return result;
}

TEST_P(SecurityText, IsTakenOnlyInTheSubsetAndOnlyWhenPrivate) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(ConvertStringSecurityDescriptorToSecurityDescriptorW(GetParam().text, SDDL_REVISION_1, &descriptor,
                                                                   nullptr) != FALSE,
              GetParam().parsed);
    if (!GetParam().parsed) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(descriptor, nullptr);
        return;
    }
    HANDLE folder = INVALID_HANDLE_VALUE;
    EXPECT_EQ(CreateFolder(L"\\??\\" + Wide(Under("VeltoBootstrap")), descriptor, folder), GetParam().folder);
    if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
    LocalFree(descriptor);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SecurityText,
    ::testing::Values(TextCase{"staging_folder", kStagingSecurity, true, STATUS_SUCCESS},
                      TextCase{"hexadecimal_rights", L"O:SYD:PAI(A;;0x1F01FF;;;SY)", true, STATUS_SUCCESS},
                      TextCase{"combined_rights", L"D:AI(A;CI;FRFX;;;BA)", true, STATUS_SUCCESS},
                      TextCase{"empty_acl", L"D:P", true, STATUS_SUCCESS},
                      TextCase{"no_acl_lets_everyone_in", L"O:BA", true, STATUS_NOT_SUPPORTED},
                      TextCase{"nothing", L"", true, STATUS_NOT_SUPPORTED},
                      TextCase{"everyone", L"D:P(A;OICI;FA;;;WD)", false, 0},
                      TextCase{"owner_rights_as_owner", L"O:OWD:P", false, 0},
                      TextCase{"deny_entry", L"D:P(D;OICI;FA;;;SY)", false, 0},
                      TextCase{"generic_rights", L"D:P(A;OICI;GA;;;SY)", false, 0},
                      TextCase{"inherited_flag", L"D:P(A;ID;FA;;;SY)", false, 0},
                      TextCase{"object_type", L"D:P(A;;FA;x;;SY)", false, 0},
                      TextCase{"group", L"O:BAG:BAD:P", false, 0},
                      TextCase{"audit_acl", L"S:P", false, 0},
                      TextCase{"unknown_acl_flag", L"D:PX", false, 0},
                      TextCase{"unclosed_entry", L"D:P(A;;FA;;;SY", false, 0},
                      TextCase{"empty_mask", L"D:P(A;;0x;;;SY)", false, 0},
                      TextCase{"mask_too_long", L"D:P(A;;0x100000000;;;SY)", false, 0},
                      TextCase{"lower_case", L"d:p(a;;fa;;;sy)", false, 0}),
    [](const ::testing::TestParamInfo<TextCase>& caseInfo) { return std::string(caseInfo.param.name); });

// What NtCreateFile meets at the folder's name, and what it is asked for.
enum class Before { Nothing, Folder, File, Link, DanglingLink, NoParent };
enum class Descriptor { Staging, None, GrantsUsers, Malformed };

struct CreateCase {
    const char* name;
    Before before = Before::Nothing;
    const wchar_t* prefix = L"\\??\\";
    Descriptor descriptor = Descriptor::Staging;
    ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    ULONG disposition = FILE_CREATE;
    ULONG options = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
    mode_t umask = 022;
    NTSTATUS status = STATUS_SUCCESS;
};

class CreateFolderCase : public ScratchFolderTest, public ::testing::WithParamInterface<CreateCase> {
protected:
    void MakeBefore(Before before, const std::string& path) {
        std::filesystem::create_directory(Under("elsewhere"));
        if (before == Before::Folder) std::filesystem::create_directory(path);
        if (before == Before::File) WriteWholeFile(path, "file");
        if (before == Before::Link) std::filesystem::create_directory_symlink(Under("elsewhere"), path);
        if (before == Before::DanglingLink) std::filesystem::create_directory_symlink(Under("nowhere"), path);
    }
    std::vector<unsigned char> MakeDescriptor(Descriptor kind) {
        std::vector<unsigned char> bytes = DescriptorBytes(kStagingSecurity);
        // The ACL at 36: its header, SYSTEM's entry, then in Administrators'
        // entry past its header and the SID's first 12 bytes, 544 becomes
        // 545, Users.
        if (kind == Descriptor::GrantsUsers) bytes[36 + 8 + 20 + 8 + 12] = 0x21;
        if (kind == Descriptor::Malformed) bytes[0] = 0;
        return bytes;
    }
};

TEST_P(CreateFolderCase, MakesAndHoldsOnlyANewPrivateFolder) {
    const CreateCase& row = GetParam();
    const std::string path = Under(row.before == Before::NoParent ? "missing/VeltoBootstrap" : "VeltoBootstrap");
    MakeBefore(row.before, path);
    std::vector<unsigned char> descriptor = MakeDescriptor(row.descriptor);
    const std::size_t handles = velto::platform::OpenHandleCount();
    const mode_t savedMask = umask(row.umask);
    HANDLE folder = INVALID_HANDLE_VALUE;
    const NTSTATUS status = CreateFolder(row.prefix + Wide(path), row.descriptor == Descriptor::None ? nullptr
                                         : descriptor.data(), folder, row.access, row.disposition, row.options);
    umask(savedMask);
    EXPECT_EQ(status, row.status);
    if (!NT_SUCCESS(status)) {
        EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
        EXPECT_EQ(std::filesystem::is_symlink(path), row.before == Before::Link || row.before == Before::DanglingLink);
        return;
    }
    EXPECT_EQ(ModeOf(path), 0700u);
    BY_HANDLE_FILE_INFORMATION information = {};
    EXPECT_TRUE(GetFileInformationByHandle(folder, &information));
    EXPECT_EQ(information.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(CloseHandle(folder));
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateFolderCase,
    ::testing::Values(
        CreateCase{.name = "new_folder"},
        CreateCase{.name = "without_descriptor", .descriptor = Descriptor::None},
        CreateCase{.name = "folder_there", .before = Before::Folder, .status = STATUS_OBJECT_NAME_COLLISION},
        CreateCase{.name = "file_there", .before = Before::File, .status = STATUS_OBJECT_NAME_COLLISION},
        CreateCase{.name = "link_there", .before = Before::Link, .status = STATUS_OBJECT_NAME_COLLISION},
        CreateCase{.name = "dangling_link_there", .before = Before::DanglingLink,
                   .status = STATUS_OBJECT_NAME_COLLISION},
        CreateCase{.name = "missing_parent", .before = Before::NoParent, .status = STATUS_OBJECT_PATH_NOT_FOUND},
        CreateCase{.name = "win32_path", .prefix = L"", .status = STATUS_OBJECT_NAME_INVALID},
        CreateCase{.name = "descriptor_granting_users", .descriptor = Descriptor::GrantsUsers,
                   .status = STATUS_NOT_SUPPORTED},
        CreateCase{.name = "malformed_descriptor", .descriptor = Descriptor::Malformed,
                   .status = STATUS_INVALID_SECURITY_DESCR},
        CreateCase{.name = "opening_an_existing_folder", .disposition = 1 /* FILE_OPEN */,
                   .status = STATUS_NOT_SUPPORTED},
        CreateCase{.name = "a_file", .options = FILE_SYNCHRONOUS_IO_NONALERT, .status = STATUS_NOT_SUPPORTED},
        CreateCase{.name = "write_access", .access = FILE_LIST_DIRECTORY | SYNCHRONIZE | 0x2 /* FILE_ADD_FILE */,
                   .status = STATUS_NOT_SUPPORTED},
        CreateCase{.name = "synchronous_without_synchronize", .access = FILE_LIST_DIRECTORY,
                   .status = STATUS_INVALID_PARAMETER},
        CreateCase{.name = "umask_taking_the_owners_rights", .umask = 0277, .status = STATUS_ACCESS_DENIED}),
    [](const ::testing::TestParamInfo<CreateCase>& caseInfo) { return std::string(caseInfo.param.name); });

// A held folder keeps the layer's users from opening it to delete it (which
// is how a live run's folder is told), as Windows keeps everyone; a program
// outside the layer is not stopped.
TEST_F(ScratchFolderTest, HeldFolderStopsOnlyTheLayersUsers) {
    const std::string path = Under("VeltoBootstrap");
    HANDLE folder = INVALID_HANDLE_VALUE;
    ASSERT_EQ(CreateFolder(L"\\??\\" + Wide(path), nullptr, folder), STATUS_SUCCESS);
    EXPECT_EQ(CreateFileW(Wide(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(std::rename(path.c_str(), Under("aside").c_str()), 0);
    EXPECT_TRUE(CloseHandle(folder));
}

}  // namespace
