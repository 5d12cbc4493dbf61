// Hostile and damaged images: every header field and length the reader
// trusts, made wrong one at a time, plus truncations and byte flips across
// a signed file. Each must end in a rejection status, never in a crash, a
// hang or a read outside the file (the ASan build checks the last).
#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixture_catalog.h"
#include "platform/linux/support/little_endian.h"
#include "trust_environment.h"
#include "verify/installer_signature.h"

namespace velto::test {
namespace {

// The image's fields, little-endian, through the layer's one reader.
const std::uint8_t* At(const std::string& bytes, std::size_t at) {
    return reinterpret_cast<const std::uint8_t*>(bytes.data() + at);
}

std::uint8_t* At(std::string& bytes, std::size_t at) {
    return reinterpret_cast<std::uint8_t*>(bytes.data() + at);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    return platform::ReadLittle32(At(bytes, at));
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    platform::WriteLittle32(At(bytes, at), value);
}

void Put16(std::string& bytes, std::size_t at, std::uint16_t value) {
    platform::WriteLittle16(At(bytes, at), value);
}

std::uint16_t Get16(const std::string& bytes, std::size_t at) {
    return platform::ReadLittle16(At(bytes, at));
}

// Where the fields are in signed_full.exe (PE32+), read from the file.
struct Places {
    std::size_t newHeader, optional, directory, table, sections, sectionCount;
};

Places PlacesIn(const std::string& image) {
    Places places{};
    places.newHeader = Get32(image, 0x3C);
    places.optional = places.newHeader + 24;
    places.directory = places.optional + 144;
    places.table = Get32(image, places.directory);
    places.sections = places.optional + Get16(image, places.newHeader + 20);
    places.sectionCount = Get16(image, places.newHeader + 6);
    return places;
}

struct DamageCase {
    const char* name;
    std::function<void(std::string&, const Places&)> damage;
    LONG status;
    bool heldIntact = false;  // the request also carries a handle to the intact image
};

void PrintTo(const DamageCase& damage, std::ostream* out) { *out << damage.name; }

const DamageCase kDamageCases[] = {
    {"EmptyFile", [](std::string& b, const Places&) { b.clear(); }, TRUST_E_SUBJECT_FORM_UNKNOWN},
    {"OnlyM", [](std::string& b, const Places&) { b = "M"; }, TRUST_E_SUBJECT_FORM_UNKNOWN},
    {"NewHeaderPastEnd", [](std::string& b, const Places&) { Put32(b, 0x3C, 0xFFFFFFF0u); }, TRUST_E_NOSIGNATURE},
    {"NewHeaderAtLastBytes",
     [](std::string& b, const Places&) { Put32(b, 0x3C, static_cast<std::uint32_t>(b.size() - 2)); },
     TRUST_E_NOSIGNATURE},
    {"NoPeSignature", [](std::string& b, const Places& p) { b[p.newHeader] = 'X'; }, TRUST_E_NOSIGNATURE},
    {"OptionalHeaderTooShort", [](std::string& b, const Places& p) { Put16(b, p.newHeader + 20, 100); },
     TRUST_E_NOSIGNATURE},
    {"UnknownMagic", [](std::string& b, const Places& p) { Put16(b, p.optional, 0x107); }, TRUST_E_NOSIGNATURE},
    {"TooFewDirectories", [](std::string& b, const Places& p) { Put32(b, p.optional + 108, 4); },
     TRUST_E_NOSIGNATURE},
    {"TableInsideHeaders", [](std::string& b, const Places& p) { Put32(b, p.directory, 0x10); }, TRUST_E_NOSIGNATURE},
    {"TableOffsetWraps", [](std::string& b, const Places& p) { Put32(b, p.directory, 0xFFFFFFF8u); },
     TRUST_E_NOSIGNATURE},
    {"TableSizeHuge", [](std::string& b, const Places& p) { Put32(b, p.directory + 4, 0xFFFFFFFFu); },
     TRUST_E_NOSIGNATURE},
    {"TableSizeZero", [](std::string& b, const Places& p) { Put32(b, p.directory + 4, 0); }, TRUST_E_NOSIGNATURE},
    {"EntryLengthZero", [](std::string& b, const Places& p) { Put32(b, p.table, 0); }, TRUST_E_NOSIGNATURE},
    {"EntryLengthBelowHeader", [](std::string& b, const Places& p) { Put32(b, p.table, 7); }, TRUST_E_NOSIGNATURE},
    {"EntryLengthPastTable", [](std::string& b, const Places& p) { Put32(b, p.table, 0xFFFFFFFFu); },
     TRUST_E_NOSIGNATURE},
    {"DerLengthHuge",
     [](std::string& b, const Places& p) {
         b[p.table + 9] = static_cast<char>(0x84);
         Put32(b, p.table + 10, 0xFFFFFFFFu);
     },
     TRUST_E_NOSIGNATURE},
    {"DerLengthIndefinite", [](std::string& b, const Places& p) { b[p.table + 9] = static_cast<char>(0x80); },
     TRUST_E_NOSIGNATURE},
    {"DerLengthOfFiveBytes", [](std::string& b, const Places& p) { b[p.table + 9] = static_cast<char>(0x85); },
     TRUST_E_NOSIGNATURE},
    // The policy reads the held file, whatever the path leads to; the signature is read by path.
    {"HeldFileIsJudgedNotThePath", [](std::string& b, const Places&) { b.clear(); }, 0, true},
};

class DamagedImageTest : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedImageTest, IsRejectedAndHasNoReadableSignature) {
    UseTrust(Trust::kTestRoot);
    std::string image = ReadWholeFile(FixturePath("signed_full.exe"));
    ASSERT_GT(image.size(), 0x400u);
    GetParam().damage(image, PlacesIn(image));
    const ScratchFolder scratch;
    const std::string path = scratch.Under("damaged.exe");
    WriteWholeFile(path, image);
    HANDLE held = nullptr;  // its position moved on, which the policy must neither use nor move
    char byte = 0;
    DWORD read = 0;
    if (GetParam().heldIntact) {
        held = CreateFileW(WideFixturePath("signed_full.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(ReadFile(held, &byte, 1, &read, nullptr));  // "M"
    }
    EXPECT_EQ(static_cast<DWORD>(VerifyAndClose(Widen(path), held)), static_cast<DWORD>(GetParam().status));
    std::wstring text;
    EXPECT_FALSE(VerifyInstallerSignature(Widen(path), Widen(SignerFingerprint("leaf")), text, held));
    EXPECT_EQ(text, kNoSignatureMessage);
    if (held != nullptr) {
        EXPECT_TRUE(ReadFile(held, &byte, 1, &read, nullptr) && read == 1 && byte == 'Z');
        EXPECT_TRUE(CloseHandle(held));
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, DamagedImageTest, testing::ValuesIn(kDamageCases),
                         [](const testing::TestParamInfo<DamageCase>& caseInfo) { return caseInfo.param.name; });

const std::set<DWORD> kKnownStatuses = {
    0,
    static_cast<DWORD>(CERT_E_UNTRUSTEDROOT),
    static_cast<DWORD>(CERT_E_CHAINING),
    static_cast<DWORD>(CERT_E_EXPIRED),
    static_cast<DWORD>(CERT_E_WRONG_USAGE),
    static_cast<DWORD>(CERT_E_CRITICAL),
    static_cast<DWORD>(CERT_E_MALFORMED),
    static_cast<DWORD>(TRUST_E_NOSIGNATURE),
    static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN),
    static_cast<DWORD>(TRUST_E_BAD_DIGEST),
    static_cast<DWORD>(TRUST_E_CERT_SIGNATURE),
    static_cast<DWORD>(TRUST_E_NO_SIGNER_CERT),
    static_cast<DWORD>(TRUST_E_BASIC_CONSTRAINTS),
    static_cast<DWORD>(TRUST_E_FAIL),
    static_cast<DWORD>(NTE_BAD_ALGID),
};

bool Tolerated(LONG status) {
    return status == 0 || status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING;
}

// Checks one damaged image: a documented status, and the system accepts
// it only when the status is one it tolerates. Returns the status.
LONG ExpectCleanVerdict(const std::string& path, const std::string& what) {
    const LONG status = VerifyAndClose(Widen(path));
    EXPECT_TRUE(kKnownStatuses.count(static_cast<DWORD>(status))) << what << std::hex << " status " << status;
    std::wstring text;
    if (VerifyInstallerSignature(Widen(path), Widen(SignerFingerprint("leaf")), text)) {
        EXPECT_TRUE(Tolerated(status)) << what;
    }
    return status;
}

TEST(DamagedImageSweep, EveryTruncationIsRejected) {
    UseTrust(Trust::kTestRoot);
    const std::string image = ReadWholeFile(FixturePath("signed_full.exe"));
    const ScratchFolder scratch;
    const std::string path = scratch.Under("truncated.exe");
    for (std::size_t length = 0; length < image.size(); length += length < 0x300 ? 1 : 29) {
        WriteWholeFile(path, image.substr(0, length));
        const LONG status = VerifyAndClose(Widen(path));
        EXPECT_TRUE(status == TRUST_E_NOSIGNATURE || status == TRUST_E_SUBJECT_FORM_UNKNOWN)
            << "length " << length << std::hex << " status " << status;
    }
}

// What a byte of the image before its table is to the verifier.
enum class ByteRole { kHashed, kCheckSum, kDirectoryEntry, kLayoutField };

struct Span {
    std::size_t begin, length;
};

// The fields the reader interprets to find the table and the sections: a
// flip there may make the image unreadable rather than merely altered.
std::vector<Span> LayoutFields(const Places& p) {
    std::vector<Span> fields{{0, 2},
                             {0x3C, 4},
                             {p.newHeader, 4},
                             {p.newHeader + 6, 2},
                             {p.newHeader + 20, 2},
                             {p.optional, 2},
                             {p.optional + 60, 4},
                             {p.optional + 108, 4}};
    for (std::size_t section = 0; section < p.sectionCount; ++section) {
        fields.push_back({p.sections + 40 * section + 16, 8});  // SizeOfRawData, PointerToRawData
    }
    return fields;
}

ByteRole RoleOf(std::size_t at, const Places& p) {
    if (at >= p.optional + 64 && at < p.optional + 68) return ByteRole::kCheckSum;
    if (at >= p.directory && at < p.directory + 8) return ByteRole::kDirectoryEntry;
    for (const Span& field : LayoutFields(p)) {
        if (at >= field.begin && at < field.begin + field.length) return ByteRole::kLayoutField;
    }
    return ByteRole::kHashed;
}

// Whether at lies within 8 bytes of a range the digest skips, where a
// skipped range that grew would show first.
bool NearSkippedRange(std::size_t at, const Places& p) {
    const std::size_t starts[] = {p.optional + 64, p.directory, p.table};
    const std::size_t ends[] = {p.optional + 68, p.directory + 8, p.table};
    for (std::size_t i = 0; i < 3; ++i) {
        if (at + 8 >= starts[i] && at < ends[i] + 8) return true;
    }
    return false;
}

// Every byte the digest covers changes the verdict to exactly a bad
// digest, so a skipped range that grew by one byte is caught: every byte
// near a skipped range is flipped, every fifth byte elsewhere. The
// CheckSum is not verified; the directory entry and the layout fields may
// make the image unreadable, but never acceptable.
TEST(DamagedImageSweep, EveryByteBeforeTheTableIsHashedOrPartOfTheLayout) {
    UseTrust(Trust::kTestRoot);
    const std::string image = ReadWholeFile(FixturePath("signed_full.exe"));
    const Places places = PlacesIn(image);
    ASSERT_EQ(places.sectionCount, 2u);
    const ScratchFolder scratch;
    const std::string path = scratch.Under("flipped.exe");
    for (std::size_t at = 0; at < places.table; at += NearSkippedRange(at, places) ? 1 : 5) {
        std::string damaged = image;
        damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
        WriteWholeFile(path, damaged);
        const LONG status = VerifyAndClose(Widen(path));
        std::wstring text;
        const bool accepted = VerifyInstallerSignature(Widen(path), Widen(SignerFingerprint("leaf")), text);
        switch (RoleOf(at, places)) {
        case ByteRole::kHashed:
            EXPECT_EQ(static_cast<DWORD>(status), static_cast<DWORD>(TRUST_E_BAD_DIGEST)) << "flip at " << at;
            EXPECT_EQ(text, kModifiedMessage)
                << "flip at " << at;
            break;
        case ByteRole::kCheckSum:
            EXPECT_EQ(status, 0) << "flip at " << at;
            EXPECT_TRUE(accepted) << "flip at " << at;
            break;
        case ByteRole::kDirectoryEntry:
        case ByteRole::kLayoutField:
            EXPECT_FALSE(Tolerated(status)) << "flip at " << at << std::hex << " status " << status;
            EXPECT_FALSE(accepted) << "flip at " << at;
            break;
        }
    }
}

TEST(DamagedImageSweep, ByteFlipsInTheSignatureGiveDocumentedStatuses) {
    UseTrust(Trust::kTestRoot);
    const std::string image = ReadWholeFile(FixturePath("signed_full.exe"));
    const Places places = PlacesIn(image);
    const ScratchFolder scratch;
    const std::string path = scratch.Under("flipped.exe");
    int changedVerdicts = 0;
    for (std::size_t at = places.table; at < image.size(); at += 13) {
        std::string damaged = image;
        damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
        WriteWholeFile(path, damaged);
        changedVerdicts += ExpectCleanVerdict(path, "flip at " + std::to_string(at)) != 0 ? 1 : 0;
    }
    EXPECT_GT(changedVerdicts, 100) << "most flips must change the verdict";
}

}  // namespace
}  // namespace velto::test
