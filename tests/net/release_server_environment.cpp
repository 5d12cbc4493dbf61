// Starts tests/shared/release_server.py as a child with its standard input on
// a pipe: when this program ends, however it ends, the pipe closes and the
// server goes too. Trusts the server's test root through SSL_CERT_FILE,
// as a user would, and clears proxy variables so that only the tests that
// want a proxy get one.
#include "release_server_environment.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "shared/scratch_folder.h"

extern char** environ;

namespace velto::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(30);

struct RunningServer {
    pid_t pid = -1;
    int stdinPipe = -1;
    std::optional<ScratchFolder> folder;  // ready file and release files
    ReleaseServerInfo info;
};

RunningServer& Running() {
    static RunningServer server;
    return server;
}

std::string JsonString(const std::string& json, const std::string& key) {
    std::smatch match;
    const std::regex pattern("\"" + key + "\": \"([^\"]*)\"");
    return std::regex_search(json, match, pattern) ? match[1].str() : std::string();
}

void ParsePorts(const std::string& json, ReleaseServerInfo& info) {
    const std::string ports = json.substr(json.find("\"ports\""));
    const std::regex entry("\"([a-z0-9_]+)\": ([0-9]+)");
    for (auto it = std::sregex_iterator(ports.begin(), ports.end(), entry); it != std::sregex_iterator(); ++it) {
        info.ports.emplace_back((*it)[1].str(), std::stoi((*it)[2].str()));
    }
}

// The release tree served under /: one manifest.
std::string MakeReleaseTree(const ScratchFolder& folder) {
    std::filesystem::create_directories(folder.Under("release/downloads/velto/update"));
    WriteWholeFile(folder.Under("release/downloads/velto/update/latest.json"), kReleaseManifestText);
    return folder.Under("release");
}

bool Spawn(RunningServer& server, const std::string& readyFile) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    const std::string releaseDir = MakeReleaseTree(*server.folder);
    const char* argv[] = {VELTO_PYTHON, VELTO_RELEASE_SERVER, "--ready-file", readyFile.c_str(), "--cert-dir",
                          VELTO_NET_CERT_DIR, "--release-dir", releaseDir.c_str(), "--watch-stdin", nullptr};
    const int spawned = posix_spawn(&server.pid, VELTO_PYTHON, &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    server.stdinPipe = pipeEnds[1];
    return spawned == 0;
}

bool WaitForReadyFile(RunningServer& server, const std::string& readyFile) {
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (access(readyFile.c_str(), R_OK) == 0) {
            const std::string json = ReadWholeFile(readyFile);
            server.info.caFile = JsonString(json, "ca_file");
            server.info.proxyOnlyHost = JsonString(json, "proxy_only_host");
            ParsePorts(json, server.info);
            return !server.info.caFile.empty() && !server.info.ports.empty();
        }
        if (waitpid(server.pid, nullptr, WNOHANG) == server.pid) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void ClearProxyVariables() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                             "NO_PROXY", "SSL_CERT_DIR"}) {
        unsetenv(name);
    }
}

class ReleaseServerEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        RunningServer& server = Running();
        if (server.pid <= 0) return;
        close(server.stdinPipe);
        for (int i = 0; i < 100 && waitpid(server.pid, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (kill(server.pid, 0) == 0) {
            kill(server.pid, SIGKILL);
            waitpid(server.pid, nullptr, 0);
        }
        server.pid = -1;
        server.folder.reset();
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ReleaseServerEnvironment);

}  // namespace

int ReleaseServerInfo::Port(const std::string& name) const {
    for (const auto& [portName, port] : ports) {
        if (portName == name) return port;
    }
    ADD_FAILURE() << "the release server has no port named " << name;
    return 0;
}

const ReleaseServerInfo& ReleaseServer() {
    RunningServer& server = Running();
    if (server.pid > 0) return server.info;
    const std::string readyFile = server.folder.emplace().Under("ready.json");
    if (!Spawn(server, readyFile) || !WaitForReadyFile(server, readyFile)) {
        ADD_FAILURE() << "the release server did not start";
    }
    ClearProxyVariables();
    setenv("SSL_CERT_FILE", server.info.caFile.c_str(), 1);
    return server.info;
}

std::wstring ServerUrl(const std::string& portName, const std::string& path, const std::string& host) {
    const std::string url = "https://" + host + ":" + std::to_string(ReleaseServer().Port(portName)) + path;
    return std::wstring(url.begin(), url.end());
}

ByteBuffer PatternBytes(std::size_t count) {
    ByteBuffer bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    return bytes;
}

}  // namespace velto::test
