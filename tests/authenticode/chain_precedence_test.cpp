// The one status chosen when a chain has several problems, and the status
// of each OpenSSL finding on its own.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include "platform/linux/winerror.h"
#include "platform/linux/wintrust/chain_policy.h"

namespace velto::test {
namespace {

using platform::wintrust::ChainOutcome;
using platform::wintrust::StatusForChainOutcome;
using platform::wintrust::StatusForVerifyError;

struct PrecedenceCase {
    const char* name;
    std::vector<int> errors;
    bool codeSigningAllowed;
    LONG expected;
};

void PrintTo(const PrecedenceCase& problem, std::ostream* out) { *out << problem.name; }

const PrecedenceCase kPrecedenceCases[] = {
    {"NoProblem", {}, true, 0},
    {"ExpiredUnderTrustedRoot", {X509_V_ERR_CERT_HAS_EXPIRED}, true, CERT_E_EXPIRED},
    {"NotYetValid", {X509_V_ERR_CERT_NOT_YET_VALID}, true, CERT_E_EXPIRED},
    // The documented order puts an untrusted root ahead of expiry and wrong usage, in
    // any order OpenSSL finds them; the chain's error bits keep the rest.
    {"UntrustedRootAheadOfExpiry", {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, X509_V_ERR_CERT_HAS_EXPIRED}, true,
     CERT_E_UNTRUSTEDROOT},
    {"UntrustedRootAheadOfExpiryInAnyOrder", {X509_V_ERR_CERT_HAS_EXPIRED, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN},
     true, CERT_E_UNTRUSTEDROOT},
    {"UntrustedRootAheadOfWrongUsage", {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN}, false, CERT_E_UNTRUSTEDROOT},
    {"SelfSignedLeaf", {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT}, true, CERT_E_UNTRUSTEDROOT},
    {"IncompleteChainAheadOfExpiry",
     {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE,
      X509_V_ERR_CERT_HAS_EXPIRED},
     true, CERT_E_CHAINING},
    {"UntrustedRootBeforeIncompleteChain", {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT},
     true, CERT_E_UNTRUSTEDROOT},
    {"WrongUsageBeforeExpiry", {X509_V_ERR_CERT_HAS_EXPIRED}, false, CERT_E_WRONG_USAGE},
    {"WrongUsageAlone", {}, false, CERT_E_WRONG_USAGE},
    // A forged certificate makes the rest of the chain meaningless.
    {"BrokenCertificateSignatureFirst", {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, X509_V_ERR_CERT_SIGNATURE_FAILURE}, false,
     TRUST_E_CERT_SIGNATURE},
    {"ExpiryBeforeBasicConstraints", {X509_V_ERR_INVALID_CA, X509_V_ERR_CERT_HAS_EXPIRED}, true, CERT_E_EXPIRED},
    {"BasicConstraintsBeforeCriticalExtension",
     {X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION, X509_V_ERR_PATH_LENGTH_EXCEEDED}, true, TRUST_E_BASIC_CONSTRAINTS},
    {"UnknownProblemIsAFailure", {X509_V_ERR_UNSPECIFIED}, true, TRUST_E_FAIL},
    {"KnownProblemBeforeUnknown", {X509_V_ERR_UNSPECIFIED, X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION}, true,
     CERT_E_CRITICAL},
    // Explicit distrust has no place in the precedence list: a status missing there ranks first,
    // so it can never hide behind a tolerated one.
    {"UnlistedStatusBeforeUntrustedRoot", {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, X509_V_ERR_CERT_REJECTED}, true,
     TRUST_E_EXPLICIT_DISTRUST},
};

class ChainPrecedenceTest : public testing::TestWithParam<PrecedenceCase> {};

TEST_P(ChainPrecedenceTest, ReportsTheHighestRankingProblem) {
    ChainOutcome outcome;
    outcome.verifyErrors = GetParam().errors;
    outcome.codeSigningAllowed = GetParam().codeSigningAllowed;
    EXPECT_EQ(static_cast<DWORD>(StatusForChainOutcome(outcome)), static_cast<DWORD>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Problems, ChainPrecedenceTest, testing::ValuesIn(kPrecedenceCases),
                         [](const testing::TestParamInfo<PrecedenceCase>& caseInfo) { return caseInfo.param.name; });

TEST(ChainPrecedence, MalformedCertificateRanksBelowExpiry) {
    ChainOutcome outcome;
    outcome.certificateMalformed = true;
    EXPECT_EQ(StatusForChainOutcome(outcome), CERT_E_MALFORMED);
    outcome.verifyErrors.push_back(X509_V_ERR_CERT_HAS_EXPIRED);
    EXPECT_EQ(StatusForChainOutcome(outcome), CERT_E_EXPIRED);
}

struct MappingCase {
    int error;
    LONG status;
};

void PrintTo(const MappingCase& mapping, std::ostream* out) { *out << "X509 error " << mapping.error; }

class VerifyErrorMappingTest : public testing::TestWithParam<MappingCase> {};

TEST_P(VerifyErrorMappingTest, MapsToTheWindowsStatus) {
    EXPECT_EQ(static_cast<DWORD>(StatusForVerifyError(GetParam().error)), static_cast<DWORD>(GetParam().status));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, VerifyErrorMappingTest,
    testing::Values(MappingCase{X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, CERT_E_UNTRUSTEDROOT},
                    MappingCase{X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, CERT_E_UNTRUSTEDROOT},
                    MappingCase{X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, CERT_E_CHAINING},
                    MappingCase{X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, CERT_E_CHAINING},
                    MappingCase{X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, CERT_E_CHAINING},
                    MappingCase{X509_V_ERR_CERT_HAS_EXPIRED, CERT_E_EXPIRED},
                    MappingCase{X509_V_ERR_CERT_NOT_YET_VALID, CERT_E_EXPIRED},
                    MappingCase{X509_V_ERR_CERT_SIGNATURE_FAILURE, TRUST_E_CERT_SIGNATURE},
                    MappingCase{X509_V_ERR_INVALID_PURPOSE, CERT_E_WRONG_USAGE},
                    MappingCase{X509_V_ERR_INVALID_CA, TRUST_E_BASIC_CONSTRAINTS},
                    MappingCase{X509_V_ERR_PATH_LENGTH_EXCEEDED, TRUST_E_BASIC_CONSTRAINTS},
                    MappingCase{X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION, CERT_E_CRITICAL},
                    MappingCase{X509_V_ERR_CERT_REJECTED, TRUST_E_EXPLICIT_DISTRUST},
                    MappingCase{X509_V_ERR_OUT_OF_MEM, TRUST_E_FAIL}));

}  // namespace
}  // namespace velto::test
