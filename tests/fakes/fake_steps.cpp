#include "fake_steps.h"

#include <string>
#include <utility>

#include "app/installer_launch.h"
#include "platform/win_api.h"
#include "verify/installer_signature.h"
#include "verify/staged_installer.h"

namespace {

SequenceScript script;
ByteBuffer* installerBuffer = nullptr;
const HANDLE kHeldFile = reinterpret_cast<HANDLE>(0x7700);
const HANDLE kHeldFolder = reinterpret_cast<HANDLE>(0x7704);

bool Apply(const StepOutcome& outcome, std::wstring& errorText) {
    if (!outcome.succeeds && !outcome.error.empty()) errorText = outcome.error;
    return outcome.succeeds;
}

}  // namespace

SequenceScript& Script() { return script; }

void ResetSequenceScript() {
    SequenceScript fresh;
    std::swap(script, fresh);
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

bool StageInstaller(const ByteBuffer& bytes, StagedInstaller& staged, std::wstring& errorText) {
    script.events.push_back(L"stage " + std::to_wstring(bytes.size()));
    if (!Apply(script.staging, errorText)) return false;
    staged.path = script.stagingPath;
    staged.folderPath = staged.path.substr(0, staged.path.find_last_of(L'\\'));
    staged.folder.Reset(kHeldFolder);
    staged.file.Reset(kHeldFile);
    return true;
}

// Nothing staged, nothing to discard; the stand-in handles are no one's
// to close.
void DiscardStagedInstaller(StagedInstaller& staged) {
    if (!staged.folder && !staged.file) return;
    const bool held = staged.file.get() == kHeldFile && staged.folder.get() == kHeldFolder;
    script.events.push_back((held ? L"discard " : L"discard unknown ") + staged.path);
    staged.file.Release();
    staged.folder.Release();
}

// The digest and the signature read the held file: their events name the
// staged path when they were given its hold.
bool HashFileSha256(HANDLE file, Sha256Digest& digest, std::wstring& errorText) {
    script.events.push_back((file == kHeldFile ? L"hash " : L"hash unheld ") + script.stagingPath);
    script.installerBytesAtHash = installerBuffer != nullptr ? installerBuffer->capacity() : 0;
    if (!Apply(script.hash, errorText)) return false;
    digest = script.digest;
    return true;
}

bool VerifyInstallerSignature(const std::wstring& path, const std::wstring& pinnedThumbprint,
                              std::wstring& errorText, HANDLE heldFile) {
    script.events.push_back((heldFile == kHeldFile ? L"verify " : L"verify unheld ") + path);
    script.pinSeenBySignature = pinnedThumbprint;
    return Apply(script.signature, errorText);
}

bool LaunchInstaller(const std::wstring& path, HANDLE verifiedFile, DWORD& exitCode, std::wstring& errorText) {
    script.events.push_back((verifiedFile == kHeldFile ? L"launch " : L"launch unverified ") + path);
    if (!Apply(script.launch, errorText)) return false;
    exitCode = static_cast<DWORD>(script.installerExitCode);
    return true;
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

extern "C" BOOL WINAPI SetDefaultDllDirectories(DWORD flags) {
    script.libraryEvents.push_back(flags == LOAD_LIBRARY_SEARCH_SYSTEM32 ? L"search system32" : L"search elsewhere");
    if (!script.searchPathFails) return TRUE;
    SetLastError(static_cast<DWORD>(script.libraryError));
    return FALSE;
}

extern "C" HMODULE WINAPI LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
    const bool fromSystem = file == nullptr && flags == LOAD_LIBRARY_SEARCH_SYSTEM32;
    script.libraryEvents.push_back((fromSystem ? L"load " : L"load elsewhere ") + std::wstring(name));
    if (script.failingLibrary == name) {
        SetLastError(static_cast<DWORD>(script.libraryError));
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(0x10000 + script.libraryEvents.size());
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE module) {
    script.libraryEvents.push_back(L"free " + std::to_wstring(reinterpret_cast<std::uintptr_t>(module) - 0x10000));
    return TRUE;
}
