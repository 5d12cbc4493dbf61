// CryptMsgGetParam for CMSG_SIGNER_INFO_PARAM: the usual two calls, one to
// learn the size and one to copy into a buffer of that size.
#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/crypt_handles.h"
#include "platform/linux/wintrust/signer_info_layout.h"

namespace {

using namespace velto::platform::wintrust;
using velto::platform::Fail;

}  // namespace

extern "C" BOOL WINAPI CryptMsgGetParam(HCRYPTMSG hCryptMsg, DWORD dwParamType, DWORD dwIndex, void* pvData,
                                        DWORD* pcbData) {
    MessageRecord* message = MessageFromHandle(hCryptMsg);
    if (message == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (pcbData == nullptr || dwParamType != CMSG_SIGNER_INFO_PARAM) {
        return Fail(E_INVALIDARG);
    }
    if (dwIndex >= static_cast<DWORD>(SignerCount(message->message))) {
        return Fail(CRYPT_E_INVALID_INDEX);
    }
    SignerInfoPieces pieces;
    if (!CollectSignerInfo(SignerAt(message->message, static_cast<int>(dwIndex)), pieces)) {
        return Fail(CRYPT_E_BAD_ENCODE);
    }
    const std::size_t needed = LayOutSignerInfo(pieces, nullptr);
    const DWORD offered = *pcbData;
    *pcbData = static_cast<DWORD>(needed);
    if (pvData == nullptr) {
        return TRUE;
    }
    if (offered < needed) {
        return Fail(ERROR_MORE_DATA);
    }
    LayOutSignerInfo(pieces, static_cast<BYTE*>(pvData));
    return TRUE;
}
