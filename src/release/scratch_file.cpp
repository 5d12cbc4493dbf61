#include "release/scratch_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "manifest/utf8_to_wide.h"
#include "release/output_file.h"

namespace {

constexpr int kRemovalSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What the signal handler removes: fixed buffers, since a handler may not
// allocate.
char gScratchFile[PATH_MAX];
char gScratchFolder[PATH_MAX];
struct sigaction gPreviousActions[3];

void RemoveOnSignal(int signalNumber) {
    unlink(gScratchFile);
    rmdir(gScratchFolder);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void ArmRemoval(const ScratchFile& scratch) {
    std::strncpy(gScratchFile, scratch.file.c_str(), sizeof(gScratchFile) - 1);
    std::strncpy(gScratchFolder, scratch.folder.c_str(), sizeof(gScratchFolder) - 1);
    struct sigaction action = {};
    action.sa_handler = RemoveOnSignal;
    sigemptyset(&action.sa_mask);
    for (int index = 0; index < 3; ++index) sigaction(kRemovalSignals[index], &action, &gPreviousActions[index]);
}

void DisarmRemoval() {
    for (int index = 0; index < 3; ++index) sigaction(kRemovalSignals[index], &gPreviousActions[index], nullptr);
}

std::string TemporaryRoot() {
    const char* root = std::getenv("TMPDIR");
    return root != nullptr && root[0] == '/' ? std::string(root) : std::string("/tmp");
}

bool MakeFolder(ScratchFile& scratch, std::string& error) {
    std::string pattern = TemporaryRoot() + "/velto-release-XXXXXX";
    if (pattern.size() >= PATH_MAX - 32 || mkdtemp(pattern.data()) == nullptr) {
        error = "could not make a scratch folder under " + TemporaryRoot() + ": " + std::strerror(errno);
        return false;
    }
    scratch.folder = pattern;
    scratch.file = pattern + "/Velto_Setup.exe";
    scratch.path = Utf8ToWide(scratch.file);
    if (scratch.path.empty()) {
        rmdir(scratch.folder.c_str());
        error = "the temporary folder " + TemporaryRoot() + " is not a UTF-8 path";
        return false;
    }
    return true;
}

}  // namespace

bool WriteScratchFile(const ByteBuffer& bytes, ScratchFile& scratch, std::string& error) {
    scratch = ScratchFile{};
    if (!MakeFolder(scratch, error)) return false;
    ArmRemoval(scratch);
    if (!WriteWholeFile(scratch.file, O_EXCL | O_NOFOLLOW, 0600, bytes.data(), bytes.size(), error)) {
        RemoveScratchFile(scratch);
        return false;
    }
    return true;
}

void RemoveScratchFile(ScratchFile& scratch) {
    if (scratch.folder.empty()) return;
    unlink(scratch.file.c_str());
    rmdir(scratch.folder.c_str());
    DisarmRemoval();
    scratch = ScratchFile{};
}
