// The local release server, started once per test program and stopped
// after it, and what the tests need to know about it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_buffer.h"

namespace velto::test {

struct ReleaseServerInfo {
    std::string caFile;
    std::string proxyOnlyHost;
    int Port(const std::string& name) const;  // a port of the ready file; fails the test if unknown
    std::vector<std::pair<std::string, int>> ports;
};

// What the server's release tree holds at /downloads/velto/update/latest.json.
constexpr char kReleaseManifestText[] = "{\"version\": \"1.2.3\"}\n";

// The running server; starts it on first use.
const ReleaseServerInfo& ReleaseServer();

// "https://localhost:<port of portName><path>" as wide text.
std::wstring ServerUrl(const std::string& portName, const std::string& path, const std::string& host = "localhost");

// Byte i of every body the server makes up is i % 251.
ByteBuffer PatternBytes(std::size_t count);

}  // namespace velto::test
