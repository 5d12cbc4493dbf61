// The signature check's own logic against scripted WinTrust and CryptoAPI:
// the order of outcomes, the accepted statuses, the status text and the
// clean-up on every path.
#include <gtest/gtest.h>

#include "fakes/fake_wintrust.h"
#include "verify/installer_signature.h"

namespace {

const std::wstring kPath = L"C:\\Temp\\VeltoBootstrap\\Velto_Setup.exe";

std::wstring Rejected(const std::wstring& status) { return kSignatureRejectedPrefix + status + L")."; }

std::wstring PinOf(std::uint8_t byte) {
    static const wchar_t* kDigits = L"0123456789ABCDEF";
    std::wstring pin;
    for (int i = 0; i < 32; ++i) pin += {kDigits[byte >> 4], kDigits[byte & 15]};
    return pin;
}

class InstallerSignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTrustScript();
        TrustScript().fingerprint.fill(0x5C);
    }
    bool Verify(const std::wstring& pin = PinOf(0x5C)) { return VerifyInstallerSignature(kPath, pin, errorText); }
    std::vector<std::wstring>& Calls() { return TrustScript().calls; }
    std::wstring errorText = L"untouched";
};

const std::vector<std::wstring> kFullRun{L"trust verify " + kPath, L"query " + kPath, L"signer size", L"signer copy",
                                         L"find", L"verify signature", L"fingerprint", L"free certificate",
                                         L"close message", L"close store", L"trust close"};

std::vector<std::wstring> RunReading(std::vector<std::wstring> reads) {  // the trust state read before any release
    std::vector<std::wstring> run = kFullRun;
    run.insert(run.begin() + 7, reads.begin(), reads.end());
    return run;
}

const std::vector<std::wstring> kChainReadRun = RunReading({L"provider data", L"provider signer"});

class AcceptedStatus : public InstallerSignatureTest, public ::testing::WithParamInterface<LONG> {};

TEST_P(AcceptedStatus, PassesWithThePinnedSigner) {
    TrustScript().trustStatus = GetParam();
    EXPECT_TRUE(Verify());
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(Calls(), GetParam() == 0 ? kFullRun : kChainReadRun);
}

INSTANTIATE_TEST_SUITE_P(Cases, AcceptedStatus,
                         ::testing::Values(0, static_cast<LONG>(0x800B0109), static_cast<LONG>(0x800B010A)));

struct OutcomeCase {
    const char* name;
    void (*arrange)(WinTrustScript&);
    std::wstring message;
    std::vector<std::wstring> calls;
};

class Outcome : public InstallerSignatureTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcome, StopsWithItsMessageAndCleansUp) {
    GetParam().arrange(TrustScript());
    EXPECT_FALSE(Verify());
    EXPECT_EQ(errorText, GetParam().message);
    EXPECT_EQ(Calls(), GetParam().calls);
}

const std::wstring kQuery = L"query " + kPath;
const std::wstring kTrust = L"trust verify " + kPath;

INSTANTIATE_TEST_SUITE_P(
    Order, Outcome,
    ::testing::Values(
        // A failed query outranks every verdict, even a bad digest.
        OutcomeCase{"no_signature", [](WinTrustScript& s) { s.queryFinds = false; s.trustStatus = static_cast<LONG>(0x80096010); },
                    kNoSignatureMessage, {kTrust, kQuery, L"trust close"}},
        OutcomeCase{"no_store", [](WinTrustScript& s) { s.queryYieldsStore = false; },
                    kNoSignatureMessage,
                    {kTrust, kQuery, L"close message", L"trust close"}},
        OutcomeCase{"no_message", [](WinTrustScript& s) { s.queryYieldsMessage = false; },
                    kNoSignatureMessage,
                    {kTrust, kQuery, L"close store", L"trust close"}},
        OutcomeCase{"signer_size", [](WinTrustScript& s) { s.signerSizeKnown = false; },
                    kNoSignerInfoMessage,
                    {kTrust, kQuery, L"signer size", L"close message", L"close store", L"trust close"}},
        OutcomeCase{"signer_empty", [](WinTrustScript& s) { s.signerSize = 0; },
                    kNoSignerInfoMessage,
                    {kTrust, kQuery, L"signer size", L"close message", L"close store", L"trust close"}},
        OutcomeCase{"signer_copy", [](WinTrustScript& s) { s.signerCopied = false; },
                    kNoSignerInfoMessage,
                    {kTrust, kQuery, L"signer size", L"signer copy", L"close message", L"close store", L"trust close"}},
        OutcomeCase{"certificate", [](WinTrustScript& s) { s.certificateFound = false; },
                    kNoSignerCertificateMessage,
                    {kTrust, kQuery, L"signer size", L"signer copy", L"find", L"close message", L"close store", L"trust close"}},
        OutcomeCase{"signature", [](WinTrustScript& s) { s.signatureVerifies = false; },
                    kSignatureInvalidMessage,
                    {kTrust, kQuery, L"signer size", L"signer copy", L"find", L"verify signature", L"free certificate",
                     L"close message", L"close store", L"trust close"}},
        OutcomeCase{"fingerprint", [](WinTrustScript& s) { s.fingerprintComputed = false; },
                    kFingerprintFailedMessage, kFullRun},
        // The pin is judged before the verdict: another signer of an altered file gets the pin message.
        OutcomeCase{"pin", [](WinTrustScript& s) { s.fingerprint[0] = 0x5D; s.trustStatus = static_cast<LONG>(0x80096010); },
                    kNotPinnedMessage, kFullRun},
        OutcomeCase{"bad_digest", [](WinTrustScript& s) { s.trustStatus = static_cast<LONG>(0x80096010); },
                    kModifiedMessage, kFullRun},
        OutcomeCase{"unsigned", [](WinTrustScript& s) { s.trustStatus = static_cast<LONG>(0x800B0100); },
                    kUnsignedMessage, kFullRun},
        OutcomeCase{"expired", [](WinTrustScript& s) { s.trustStatus = static_cast<LONG>(0x800B0101); },
                    Rejected(L"0x800B0101"), kFullRun},
        OutcomeCase{"leading_zeros", [](WinTrustScript& s) { s.trustStatus = 0x00000057; },
                    Rejected(L"0x00000057"), kFullRun},
        OutcomeCase{"all_bits", [](WinTrustScript& s) { s.trustStatus = -1; },
                    Rejected(L"0xFFFFFFFF"), kFullRun}),
    [](const ::testing::TestParamInfo<OutcomeCase>& caseInfo) { return std::string(caseInfo.param.name); });

constexpr LONG kUntrustedRoot = static_cast<LONG>(0x800B0109), kChaining = static_cast<LONG>(0x800B010A);

struct ChainCase {
    const char* name;
    LONG status;
    DWORD errors;
    const wchar_t* refusedWith;  // the status text of the message; null when the file passes
    void (*arrange)(WinTrustScript&);
};

class ChainErrors : public InstallerSignatureTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(ChainErrors, ToleratedStatusPassesOnlyWithToleratedBits) {
    const ChainCase& row = GetParam();
    TrustScript().trustStatus = row.status;
    TrustScript().chainErrors = row.errors;
    if (row.arrange != nullptr) row.arrange(TrustScript());
    EXPECT_EQ(Verify(), row.refusedWith == nullptr);
    EXPECT_EQ(errorText, row.refusedWith == nullptr ? std::wstring(L"untouched")
                         : Rejected(row.refusedWith));
    EXPECT_EQ(Calls(), TrustScript().providerDataKept ? kChainReadRun : RunReading({L"provider data"}));
}

INSTANTIATE_TEST_SUITE_P(
    Bits, ChainErrors,
    ::testing::Values(
        ChainCase{"untrusted_root", kUntrustedRoot, CERT_TRUST_IS_UNTRUSTED_ROOT, nullptr, nullptr},
        ChainCase{"partial_chain_revocation_unknown", kChaining, CERT_TRUST_IS_PARTIAL_CHAIN |
                  CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION, nullptr, nullptr},
        ChainCase{"expired", kUntrustedRoot, CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_NOT_TIME_VALID, L"0x800B0101", nullptr},
        // The documented order names the refusal, an unknown critical extension before an invalid one.
        ChainCase{"wrong_usage_before_expiry", kChaining, CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_IS_NOT_TIME_VALID,
                  L"0x800B0110", nullptr},
        ChainCase{"critical_before_invalid_extension", kUntrustedRoot,
                  CERT_TRUST_INVALID_EXTENSION | CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT, L"0x800B0105", nullptr},
        ChainCase{"revoked", kUntrustedRoot, CERT_TRUST_IS_REVOKED, L"0x80092010", nullptr},
        ChainCase{"unknown_bit", kChaining, 0x80000000u, L"0x800B010B", nullptr},
        // A tolerated status whose chain cannot be read is refused as it stands.
        ChainCase{"no_provider_data", kUntrustedRoot, 0, L"0x800B0109", [](WinTrustScript& s) { s.providerDataKept = false; }},
        ChainCase{"no_signer", kChaining, 0, L"0x800B010A", [](WinTrustScript& s) { s.signerKept = false; }},
        ChainCase{"no_chain", kUntrustedRoot, 0, L"0x800B0109", [](WinTrustScript& s) { s.chainKept = false; }}),
    [](const ::testing::TestParamInfo<ChainCase>& caseInfo) { return std::string(caseInfo.param.name); });

struct PinCase {
    std::wstring pin;
    bool matches;
};

class PinText : public InstallerSignatureTest, public ::testing::WithParamInterface<PinCase> {};

TEST_P(PinText, MatchesByItsHexadecimalDigitsOnly) {
    TrustScript().fingerprint.fill(0xAB);
    EXPECT_EQ(Verify(GetParam().pin), GetParam().matches);
    if (!GetParam().matches) {
        EXPECT_EQ(errorText, kNotPinnedMessage);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinText,
    ::testing::Values(PinCase{PinOf(0xAB), true},
                      PinCase{L"ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab", true},
                      PinCase{L"AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB:AB", true},
                      PinCase{L"", false}, PinCase{L"no digits here: xyz", false},
                      PinCase{PinOf(0xAB).substr(2), false}, PinCase{PinOf(0xAB) + L"AB", false}));

}  // namespace
