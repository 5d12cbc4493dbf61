// WinVerifyTrust for the generic Authenticode action on files: the verify
// action judges the file and keeps its state, the closing action releases
// that state. There is no user interface to show, and no revocation data is
// ever fetched, so the UI choice and the retrieval flags change nothing.
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/wintrust.h"
#include "platform/linux/wintrust/trust_state.h"

namespace {

using namespace velto::platform::wintrust;

constexpr GUID kGenericVerifyV2 = WINTRUST_ACTION_GENERIC_VERIFY_V2;

// Windows reports a failed file access as the HRESULT of its error code.
LONG HresultFromWin32(DWORD code) {
    return code == 0 ? 0 : static_cast<LONG>((code & 0x0000FFFFu) | 0x80070000u);
}

bool IsGenericVerifyV2(const GUID* action) {
    return action != nullptr && std::memcmp(action, &kGenericVerifyV2, sizeof(GUID)) == 0;
}

bool RequestIsUsable(const WINTRUST_DATA* data) {
    return data != nullptr && data->cbStruct >= offsetof(WINTRUST_DATA, pwszURLReference);
}

ImageVerdict FailedAccess(DWORD code) {
    ImageVerdict verdict;
    verdict.status = HresultFromWin32(code);
    return verdict;
}

// A file the caller holds open: read through its descriptor at fixed
// offsets, so the handle's own position is neither used nor moved, and
// left open for the caller.
ImageVerdict JudgeHeldFile(HANDLE handle) {
    using velto::platform::ObjectKind;
    const velto::platform::KernelObject* object = velto::platform::FindObject(handle, ObjectKind::File);
    if (object == nullptr) {
        return FailedAccess(GetLastError());
    }
    if ((object->rights & FILE_SHARE_READ) == 0) {
        return FailedAccess(ERROR_ACCESS_DENIED);  // not opened for reading
    }
    InputFile input;
    if (!AdoptInputFile(object->fd, input)) {
        return FailedAccess(GetLastError());
    }
    return VerifyImageFile(input);
}

// The verdict on the file the request names: the held file when the
// request carries its handle, otherwise whatever the path leads to. The
// failure to read it is a verdict too.
ImageVerdict JudgeFile(const WINTRUST_FILE_INFO* file) {
    if (file->cbStruct >= offsetof(WINTRUST_FILE_INFO, hFile) + sizeof(HANDLE) && file->hFile != nullptr) {
        return JudgeHeldFile(file->hFile);
    }
    std::string path;
    if (!velto::platform::WidePathToUtf8(file->pcwszFilePath, path)) {
        return FailedAccess(GetLastError());
    }
    InputFile input = OpenInputFile(path);
    if (input.descriptor < 0) {
        return FailedAccess(GetLastError());
    }
    ImageVerdict verdict = VerifyImageFile(input);
    CloseInputFile(input);
    return verdict;
}

// Once the request is understood, the verify action keeps a state whatever
// the verdict, as Windows keeps its provider data, so the closing call
// always has something to release.
LONG VerifyFile(WINTRUST_DATA* data) {
    const WINTRUST_FILE_INFO* file = data->pFile;
    if (data->dwUnionChoice != WTD_CHOICE_FILE || file == nullptr ||
        file->cbStruct < offsetof(WINTRUST_FILE_INFO, hFile) || file->pcwszFilePath == nullptr) {
        return E_INVALIDARG;
    }
    ImageVerdict verdict = JudgeFile(file);
    const LONG status = verdict.status;
    if (data->dwStateAction == WTD_STATEACTION_VERIFY) {
        data->hWVTStateData = KeepTrustState(std::move(verdict));
    }
    return status;
}

LONG Dispatch(GUID* action, WINTRUST_DATA* data) {
    if (!IsGenericVerifyV2(action)) {
        return TRUST_E_PROVIDER_UNKNOWN;
    }
    if (!RequestIsUsable(data)) {
        return E_INVALIDARG;
    }
    switch (data->dwStateAction) {
    case WTD_STATEACTION_CLOSE:
        if (data->hWVTStateData != nullptr && !ReleaseTrustState(data->hWVTStateData)) {
            return E_INVALIDARG;
        }
        data->hWVTStateData = nullptr;
        return ERROR_SUCCESS;
    case WTD_STATEACTION_VERIFY:
    case WTD_STATEACTION_IGNORE:
        return VerifyFile(data);
    default:
        return E_INVALIDARG;
    }
}

}  // namespace

extern "C" LONG WINAPI WinVerifyTrust(HWND, GUID* pgActionID, LPVOID pWVTData) {
    const LONG status = Dispatch(pgActionID, static_cast<WINTRUST_DATA*>(pWVTData));
    SetLastError(static_cast<DWORD>(status));
    return status;
}
