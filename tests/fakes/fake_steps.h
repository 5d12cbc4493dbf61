// Link-time stand-ins for the steps of the bootstrap sequence and for the
// platform calls it makes itself, scripted per test and recording every
// call in order.
#pragma once

#include <string>
#include <vector>

#include "net/download_https.h"
#include "verify/file_digest.h"

struct StepOutcome {
    bool succeeds = true;
    std::wstring error;  // written to the caller's ErrorText on failure
};

struct SequenceScript {
    StepOutcome manifestDownload;
    std::string manifestBody;
    StepOutcome installerDownload;
    ByteBuffer installerBody{'M', 'Z'};
    std::wstring stagingPath = L"C:\\Temp\\VeltoBootstrap\\Velto_Setup.exe";
    StepOutcome staging;  // an empty error leaves ErrorText as it was
    StepOutcome hash;
    Sha256Digest digest{};
    StepOutcome signature;
    int confirmAnswer = 1;  // IDOK
    StepOutcome launch;
    unsigned long installerExitCode = 0;
    // The system libraries: SetDefaultDllDirectories fails, or the load of
    // the component with this name fails (empty: none), with this error.
    bool searchPathFails = false;
    std::wstring failingLibrary;
    unsigned long libraryError = 126;  // ERROR_MOD_NOT_FOUND

    std::vector<std::wstring> events;
    std::vector<std::wstring> libraryEvents;
    std::vector<std::wstring> boxTexts;
    std::wstring pinSeenBySignature;
    std::size_t installerBytesAtHash = 0;
};

// The script of the running test; reset by ResetSequenceScript.
SequenceScript& Script();
void ResetSequenceScript();
