#include "fake_steps.h"

#include <string>

#include "app/installer_launch.h"
#include "platform/win_api.h"
#include "verify/installer_signature.h"
#include "verify/staging_file.h"

namespace {

SequenceScript script;
ByteBuffer* installerBuffer = nullptr;
const HANDLE kHoldHandle = reinterpret_cast<HANDLE>(0x7700);

bool Apply(const StepOutcome& outcome, std::wstring& errorText) {
    if (!outcome.succeeds) errorText = outcome.error;
    return outcome.succeeds;
}

}  // namespace

SequenceScript& Script() { return script; }

void ResetSequenceScript() {
    script = SequenceScript{};
    installerBuffer = nullptr;
}

bool DownloadHttps(const std::wstring& url, ByteBuffer& body, std::uint64_t sizeLimit, std::wstring& errorText) {
    script.events.push_back(L"download " + url + L" " + std::to_wstring(sizeLimit));
    const bool isManifest = sizeLimit == 131072;
    const StepOutcome& outcome = isManifest ? script.manifestDownload : script.installerDownload;
    if (!Apply(outcome, errorText)) return false;
    if (isManifest) {
        body.assign(script.manifestBody.begin(), script.manifestBody.end());
    } else {
        body = script.installerBody;
        installerBuffer = &body;
    }
    return true;
}

std::wstring PrepareStagingPath() {
    script.events.push_back(L"prepare");
    return script.stagingPath;
}

bool WriteStagingFile(const std::wstring& path, const ByteBuffer& bytes, std::wstring& errorText) {
    script.events.push_back(L"write " + path + L" " + std::to_wstring(bytes.size()));
    return Apply(script.write, errorText);
}

bool HashFileSha256(const std::wstring& path, Sha256Digest& digest, std::wstring& errorText) {
    script.events.push_back(L"hash " + path);
    script.installerBytesAtHash = installerBuffer != nullptr ? installerBuffer->capacity() : 0;
    if (!Apply(script.hash, errorText)) return false;
    digest = script.digest;
    return true;
}

bool VerifyInstallerSignature(const std::wstring& path, const std::wstring& pinnedThumbprint,
                              std::wstring& errorText) {
    script.events.push_back(L"verify " + path);
    script.pinSeenBySignature = pinnedThumbprint;
    return Apply(script.signature, errorText);
}

int LaunchInstaller(const std::wstring& path, std::wstring& errorText) {
    script.events.push_back(L"launch " + path);
    if (script.launchResult == -1) errorText = script.launchError;
    return script.launchResult;
}

extern "C" int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags) {
    const bool confirmation = flags == 0x10041;
    script.events.push_back(std::wstring(confirmation ? L"confirm" : L"error") + L" box");
    script.boxTexts.push_back(text);
    if (owner != nullptr || std::wstring(caption) != L"Velto" || (flags != 0x10010 && !confirmation)) {
        script.events.push_back(L"bad box arguments");
    }
    return confirmation ? script.confirmAnswer : 1;
}

extern "C" BOOL WINAPI DeleteFileW(LPCWSTR path) {
    script.events.push_back(std::wstring(L"delete ") + path);
    return TRUE;
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                                     DWORD, HANDLE) {
    const bool sharedRead = access == GENERIC_READ && share == FILE_SHARE_READ && disposition == OPEN_EXISTING;
    script.events.push_back(std::wstring(sharedRead ? L"hold " : L"bad hold ") + path);
    return script.holdSucceeds ? kHoldHandle : INVALID_HANDLE_VALUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    script.events.push_back(handle == kHoldHandle ? L"release hold" : L"close unknown handle");
    return TRUE;
}
