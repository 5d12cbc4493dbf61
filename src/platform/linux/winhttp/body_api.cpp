// WinHTTP's body reads: what can be read now, and handing it over. The
// layer holds at most one chunk; the transfer is resumed only once the
// caller has taken all of it.
#include <algorithm>
#include <cstring>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/internet_objects.h"

namespace {

using namespace velto::platform::winhttp;
using velto::platform::Fail;
using velto::platform::FailNull;

bool HasChunk(const Transfer& transfer) {
    return ChunkAvailable(transfer) > 0;
}

// Waits until body bytes are at hand or the body has ended.
DWORD WaitForChunk(Transfer& transfer) {
    if (HasChunk(transfer)) return ERROR_SUCCESS;
    if (transfer.finished) return transfer.failure;
    const DWORD resumed = ResumeTransfer(transfer);
    if (resumed != ERROR_SUCCESS) return resumed;
    return DriveTransfer(transfer, &HasChunk);
}

// The request's transfer, if its final response has arrived.
Transfer* ReadableTransfer(HINTERNET handle) {
    InternetObject* request = FindInternetObject(handle, HandleKind::Request);
    if (request == nullptr) return nullptr;
    Transfer& transfer = *request->transfer;
    if (!transfer.headersComplete) return FailNull(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    return &transfer;
}

DWORD ClampToDword(std::size_t count) {
    return static_cast<DWORD>(std::min<std::size_t>(count, 0xFFFFFFFFu));
}

}  // namespace

extern "C" BOOL WinHttpQueryDataAvailable(HINTERNET hRequest, LPDWORD lpdwNumberOfBytesAvailable) {
    Transfer* transfer = ReadableTransfer(hRequest);
    if (transfer == nullptr) return FALSE;
    const DWORD result = WaitForChunk(*transfer);
    if (result != ERROR_SUCCESS) return Fail(result);
    if (lpdwNumberOfBytesAvailable != nullptr) *lpdwNumberOfBytesAvailable = ClampToDword(ChunkAvailable(*transfer));
    return TRUE;
}

extern "C" BOOL WinHttpReadData(HINTERNET hRequest, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                                LPDWORD lpdwNumberOfBytesRead) {
    if (lpdwNumberOfBytesRead == nullptr || (lpBuffer == nullptr && dwNumberOfBytesToRead != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *lpdwNumberOfBytesRead = 0;
    Transfer* transfer = ReadableTransfer(hRequest);
    if (transfer == nullptr) return FALSE;
    if (dwNumberOfBytesToRead == 0) return TRUE;
    const DWORD result = WaitForChunk(*transfer);
    if (result != ERROR_SUCCESS) return Fail(result);

    const std::size_t count = std::min<std::size_t>(ChunkAvailable(*transfer), dwNumberOfBytesToRead);
    if (count > 0) std::memcpy(lpBuffer, transfer->chunk.data() + transfer->chunkStart, count);
    transfer->chunkStart += count;
    *lpdwNumberOfBytesRead = static_cast<DWORD>(count);
    return TRUE;
}
