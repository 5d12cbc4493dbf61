// The bootstrap sequence against scripted steps: exit codes, messages,
// confirmation text, the system components, and exactly when the staged
// file is discarded.
#include <gtest/gtest.h>

#include "app/bootstrap_sequence.h"
#include "app/release_verification.h"
#include "base/windows_error_text.h"
#include "fakes/fake_steps.h"
#include "manifest/release_manifest.h"
#include "net/download_https.h"
#include "verify/digest_match.h"
#include "verify/file_digest.h"
#include "verify/installer_signature.h"
#include "verify/staging_file.h"

namespace {

const std::wstring kManifestUrl = L"https://release.test/downloads/velto/update/latest.json";
const std::wstring kPin = L"00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
const std::wstring kStaged = L"C:\\Temp\\VeltoBootstrap\\Velto_Setup.exe";
const std::wstring kInstallerUrl = L"https://release.test/setup.exe";

std::string ManifestWith(const std::string& version, const std::string& url, const std::string& sha256) {
    return "{\"version\":\"" + version + "\",\"url\":\"" + url + "\",\"sha256\":\"" + sha256 + "\"}";
}

std::string DigestHex(char lowerOrUpper) {
    std::string hex;
    for (int i = 0; i < 32; ++i) hex += lowerOrUpper == 'a' ? "ab" : "AB";
    return hex;
}

class BootstrapSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSequenceScript();
        Script().manifestBody = ManifestWith("2.1.0", "https://release.test/setup.exe", DigestHex('A'));
        Script().digest.fill(0xAB);
    }
    int Run(const std::wstring& url = kManifestUrl, const std::wstring& pin = kPin) {
        return RunBootstrapSequence(BootstrapConfig{url, pin});
    }
    std::vector<std::wstring>& Events() { return Script().events; }
    std::vector<std::wstring> Expected(std::initializer_list<std::wstring> tail) {
        std::vector<std::wstring> events{L"download " + kManifestUrl + L" 131072",
                                         L"download " + kInstallerUrl + L" 268435456", L"stage 2"};
        events.insert(events.end(), tail);
        return events;
    }
};

struct ConfigCase {
    std::wstring url;
    std::wstring pin;
    bool accepted;
};

class ConfigurationCheck : public BootstrapSequenceTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigurationCheck, AcceptsOnlyHttpsAndA64DigitPin) {
    ResetSequenceScript();
    Script().manifestDownload = {false, L"stop here"};
    const int exitCode = Run(GetParam().url, GetParam().pin);
    if (GetParam().accepted) {
        EXPECT_EQ(exitCode, kExitManifestDownload);
        EXPECT_EQ(Script().boxTexts, std::vector<std::wstring>{L"stop here"});
    } else {
        EXPECT_EQ(exitCode, kExitNotConfigured);
        EXPECT_EQ(Events(), std::vector<std::wstring>{L"error box"});
        EXPECT_EQ(Script().boxTexts, std::vector<std::wstring>{kNotConfiguredMessage});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigurationCheck,
    ::testing::Values(ConfigCase{L"https://", kPin, true}, ConfigCase{L"HTTPS://RELEASE.TEST/x", kPin, true},
                      ConfigCase{L"HtTpS://release.test/x", kPin, true}, ConfigCase{L"https:/", kPin, false},
                      ConfigCase{L"", kPin, false}, ConfigCase{L"http://release.test/x", kPin, false},
                      ConfigCase{L" https://release.test", kPin, false},
                      ConfigCase{kManifestUrl, L"", false},
                      ConfigCase{kManifestUrl, kPin.substr(0, 63), false},
                      ConfigCase{kManifestUrl, kPin + L"0", false},
                      ConfigCase{kManifestUrl, kPin.substr(0, 63) + L"x", false},
                      ConfigCase{kManifestUrl, L"00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:"
                                               L"00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff", true}));

struct ManifestCase {
    std::string body;
    bool accepted;
};

class ManifestValidation : public BootstrapSequenceTest, public ::testing::WithParamInterface<ManifestCase> {};

TEST_P(ManifestValidation, RejectsIncompleteManifestsWithExit11) {
    Script().manifestBody = GetParam().body;
    Script().installerDownload = {false, L"installer stop"};
    const int exitCode = Run();
    if (GetParam().accepted) {
        EXPECT_EQ(exitCode, kExitInstallerDownload);
    } else {
        EXPECT_EQ(exitCode, kExitManifestInvalid);
        EXPECT_EQ(Events().size(), 2u);
        EXPECT_EQ(Script().boxTexts, std::vector<std::wstring>{kManifestInvalidMessage});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestValidation,
    ::testing::Values(ManifestCase{ManifestWith("2.0", "https://r.test/s.exe", DigestHex('A')), true},
                      ManifestCase{ManifestWith("2.0", "HTTPS://r.test/s.exe", DigestHex('a')), true},
                      ManifestCase{ManifestWith("", "https://r.test/s.exe", DigestHex('A')), false},
                      ManifestCase{"{\"url\":\"https://r.test/s.exe\",\"sha256\":\"" + DigestHex('A') + "\"}", false},
                      ManifestCase{ManifestWith("2.0", "http://r.test/s.exe", DigestHex('A')), false},
                      ManifestCase{ManifestWith("2.0", "https:/", DigestHex('A')), false},
                      ManifestCase{ManifestWith("2.0", "https://r.test/s.exe", DigestHex('A').substr(2)), false},
                      ManifestCase{ManifestWith("2.0", "https://r.test/s.exe", DigestHex('A') + "00"), false},
                      ManifestCase{ManifestWith("\xC0\xAF", "https://r.test/s.exe", DigestHex('A')), false},
                      ManifestCase{"", false}));

TEST_F(BootstrapSequenceTest, ManifestDownloadFailureShowsItsErrorWithExit10) {
    Script().manifestDownload = {false, kServerStatusPrefix + std::wstring(L"404.")};
    EXPECT_EQ(Run(), kExitManifestDownload);
    EXPECT_EQ(Script().boxTexts, std::vector<std::wstring>{Script().manifestDownload.error});
}

TEST_F(BootstrapSequenceTest, InstallerDownloadFailureShowsItsErrorWithExit12) {
    Script().installerDownload = {false, kSizeLimitMessage};
    EXPECT_EQ(Run(), kExitInstallerDownload);
    EXPECT_EQ(Events().back(), L"error box");
    EXPECT_EQ(Script().boxTexts.back(), kSizeLimitMessage);
}

struct StagingFailureCase {
    std::wstring error;  // empty: the step left ErrorText as it was
    std::wstring shown;
};

class StagingFailure : public BootstrapSequenceTest, public ::testing::WithParamInterface<StagingFailureCase> {};

TEST_P(StagingFailure, ShowsTheStepsMessageOrTheFallbackAndEndsWith13) {
    Script().staging = {false, GetParam().error};
    EXPECT_EQ(Run(), kExitStaging);
    EXPECT_EQ(Events(), Expected({L"error box"})) << "the staging step cleans up after itself";
    EXPECT_EQ(Script().boxTexts.back(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StagingFailure,
    ::testing::Values(StagingFailureCase{L"", kStagingFallbackMessage},
                      StagingFailureCase{kFileNotWrittenPrefix + std::wstring(L"disk full"),
                                         kFileNotWrittenPrefix + std::wstring(L"disk full")},
                      StagingFailureCase{kFileNotLockedPrefix + std::wstring(L"in use"),
                                         kFileNotLockedPrefix + std::wstring(L"in use")}));

struct LateFailureCase {
    const char* name;
    void (*arrange)(SequenceScript&);
    int exitCode;
    std::wstring message;
    std::vector<std::wstring> stepsBeforeDeletion;
};

class LateFailure : public BootstrapSequenceTest, public ::testing::WithParamInterface<LateFailureCase> {};

TEST_P(LateFailure, DeletesTheStagedFileBeforeTheBox) {
    GetParam().arrange(Script());
    EXPECT_EQ(Run(), GetParam().exitCode);
    std::vector<std::wstring> tail = GetParam().stepsBeforeDeletion;
    tail.insert(tail.end(), {L"discard " + kStaged, L"error box"});
    std::vector<std::wstring> expected = Expected({});
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Events(), expected);
    EXPECT_EQ(Script().boxTexts.back(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LateFailure,
    ::testing::Values(
        LateFailureCase{"digest", [](SequenceScript& s) { s.hash = {false, kDigestNotComputedMessage}; },
                        kExitDigestNotComputed, kDigestNotComputedMessage, {L"hash " + kStaged}},
        LateFailureCase{"mismatch", [](SequenceScript& s) { s.digest[31] = 0xAC; }, kExitDigestMismatch,
                        kDigestMismatchMessage,
                        {L"hash " + kStaged}},
        LateFailureCase{"signature", [](SequenceScript& s) { s.signature = {false, kUnsignedMessage}; },
                        kExitSignature, kUnsignedMessage,
                        {L"hash " + kStaged, L"verify " + kStaged}},
        LateFailureCase{"launch", [](SequenceScript& s) { s.launch = {false, L"Could not start Velto Setup: bad format"}; },
                        kExitNotStarted, L"Could not start Velto Setup: bad format",
                        {L"hash " + kStaged, L"verify " + kStaged, L"confirm box", L"launch " + kStaged}}),
    [](const ::testing::TestParamInfo<LateFailureCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(BootstrapSequenceTest, DeclinedConfirmationDeletesAndReturns0WithoutAnotherBox) {
    Script().confirmAnswer = 2;  // IDCANCEL; closing the box answers the same
    EXPECT_EQ(Run(), kExitDeclined);
    EXPECT_EQ(Events(), Expected({L"hash " + kStaged, L"verify " + kStaged, L"confirm box", L"discard " + kStaged}));
}

class InstallerExitCode : public BootstrapSequenceTest, public ::testing::WithParamInterface<unsigned long> {};

TEST_P(InstallerExitCode, IsPassedOnAfterTheFileIsDiscardedWithoutABox) {
    Script().installerExitCode = GetParam();
    EXPECT_EQ(Run(), static_cast<int>(GetParam()));
    EXPECT_EQ(Events(), Expected({L"hash " + kStaged, L"verify " + kStaged, L"confirm box", L"launch " + kStaged,
                                  L"discard " + kStaged}));
}

// 0xFFFFFFFF is an exit code like any other, not a failed start.
INSTANTIATE_TEST_SUITE_P(Cases, InstallerExitCode,
                         ::testing::Values(0ul, 3ul, 42ul, 3010ul, 17ul, 0xFFFFFFFEul, 0xFFFFFFFFul));

struct LibraryCase {
    const char* name;
    void (*arrange)(SequenceScript&);
    std::wstring message;  // empty: the run goes on
    std::vector<std::wstring> libraryEvents;
};

class SystemLibraries : public BootstrapSequenceTest, public ::testing::WithParamInterface<LibraryCase> {};

TEST_P(SystemLibraries, LoadFromTheSystemFolderFirstOrEndTheRunWith3) {
    GetParam().arrange(Script());
    Script().confirmAnswer = 2;
    const int exitCode = Run();
    EXPECT_EQ(Script().libraryEvents, GetParam().libraryEvents);
    if (GetParam().message.empty()) {
        EXPECT_EQ(exitCode, kExitDeclined);
        return;
    }
    EXPECT_EQ(exitCode, kExitSystemLibrary);
    EXPECT_EQ(Events(), std::vector<std::wstring>{L"error box"}) << "nothing else runs";
    EXPECT_EQ(Script().boxTexts, std::vector<std::wstring>{GetParam().message});
}

const std::vector<std::wstring> kAllLoaded = {L"search system32", L"load winhttp.dll", L"load bcrypt.dll",
                                              L"load wintrust.dll", L"load crypt32.dll"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemLibraries,
    ::testing::Values(
        LibraryCase{"all_loaded_then_freed_in_reverse", [](SequenceScript&) {}, L"",
                    {kAllLoaded[0], kAllLoaded[1], kAllLoaded[2], kAllLoaded[3], kAllLoaded[4], L"free 5", L"free 4",
                     L"free 3", L"free 2"}},
        LibraryCase{"search_path_refused", [](SequenceScript& s) { s.searchPathFails = true; s.libraryError = 87; },
                    L"Velto could not restrict where Windows loads its components from: " + DescribeWindowsError(87),
                    {L"search system32"}},
        LibraryCase{"wintrust_missing", [](SequenceScript& s) { s.failingLibrary = L"wintrust.dll"; },
                    L"Velto could not load the Windows component wintrust.dll: " + DescribeWindowsError(126),
                    {L"search system32", L"load winhttp.dll", L"load bcrypt.dll", L"load wintrust.dll", L"free 3",
                     L"free 2"}},
        LibraryCase{"winhttp_missing", [](SequenceScript& s) { s.failingLibrary = L"winhttp.dll"; },
                    L"Velto could not load the Windows component winhttp.dll: " + DescribeWindowsError(126),
                    {L"search system32", L"load winhttp.dll"}}),
    [](const ::testing::TestParamInfo<LibraryCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(BootstrapSequenceTest, ConfirmationShowsTheVersionExactlyAsDecoded) {
    Script().manifestBody = ManifestWith(" 2.0\\nbeta \xC3\xA9", "https://release.test/setup.exe", DigestHex('a'));
    Script().confirmAnswer = 2;
    Run();
    ASSERT_EQ(Script().boxTexts.size(), 1u);
    EXPECT_EQ(Script().boxTexts[0],
              L"Velto  2.0\nbeta \u00E9 has been downloaded and verified.\n\nStart installation now?");
}

TEST_F(BootstrapSequenceTest, InstallerBufferIsReleasedBeforeHashing) {
    Script().installerBody.assign(1 << 20, 0x5A);
    Run();
    EXPECT_EQ(Script().installerBytesAtHash, 0u);
}

TEST_F(BootstrapSequenceTest, SignatureCheckGetsThePinExactlyAsBuilt) {
    const std::wstring pin = L"00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff 00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff";
    Run(kManifestUrl, pin);
    EXPECT_EQ(Script().pinSeenBySignature, pin);
}

}  // namespace
