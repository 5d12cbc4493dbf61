// The installer digest over the real file layer and the OpenSSL-backed
// SHA-256 provider, against known answers and sha256sum.
#include <cstdio>
#include <random>

#include "shared/scratch_folder.h"
#include "verify/file_digest.h"
#include "verify/hex_text.h"

namespace {

using namespace velto::test;

class Sha256File : public ScratchFolderTest {
protected:
    std::wstring HashHex(const std::string& path) {
        Sha256Digest digest{};
        std::wstring errorText;
        if (!HashFileSha256(Wide(path), digest, errorText)) return errorText;
        return BytesToHex(digest.data(), digest.size());
    }
    static std::wstring Sha256Sum(const std::string& path) {
        FILE* pipe = popen(("sha256sum '" + path + "'").c_str(), "r");
        char hex[65] = {};
        const std::size_t read = pipe != nullptr ? std::fread(hex, 1, 64, pipe) : 0;
        if (pipe != nullptr) pclose(pipe);
        std::wstring upper;
        for (std::size_t i = 0; i < read; ++i) upper.push_back(static_cast<wchar_t>(std::toupper(hex[i])));
        return upper;
    }
};

struct KnownAnswer {
    std::string content;
    std::wstring digest;
};

class Sha256KnownAnswer : public Sha256File, public ::testing::WithParamInterface<KnownAnswer> {};

TEST_P(Sha256KnownAnswer, MatchesTheStandard) {
    WriteWholeFile(Under("f"), GetParam().content);
    EXPECT_EQ(HashHex(Under("f")), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, Sha256KnownAnswer,
    ::testing::Values(KnownAnswer{"", L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
                      KnownAnswer{"abc", L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
                      KnownAnswer{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                  L"248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"}));

class Sha256Sizes : public Sha256File, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(Sha256Sizes, AgreesWithSha256sum) {
    std::string content(GetParam(), '\0');
    std::mt19937 random(static_cast<unsigned>(GetParam()));
    for (char& c : content) c = static_cast<char>(random());
    WriteWholeFile(Under("big"), content);
    EXPECT_EQ(HashHex(Under("big")), Sha256Sum(Under("big")));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Sha256Sizes, ::testing::Values(1048575u, 1048576u, 1048577u, 5u * 1048576u + 3u));

TEST_F(Sha256File, FileThatCannotBeOpenedGivesTheOpenMessage) {
    EXPECT_EQ(HashHex(Under("missing")), kNotOpenedForHashingMessage);
    std::filesystem::create_directory(Under("folder"));
    EXPECT_EQ(HashHex(Under("folder")), kNotOpenedForHashingMessage);
}

}  // namespace
