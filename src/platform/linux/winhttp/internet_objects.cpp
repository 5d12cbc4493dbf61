#include "platform/linux/winhttp/internet_objects.h"

#include <mutex>
#include <unordered_map>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"

namespace velto::platform::winhttp {
namespace {

// A handle is the address of its object; the table tells an open handle
// from a stale or made-up one without touching the memory it points to.
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HINTERNET, std::unique_ptr<InternetObject>> objects;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

}  // namespace

HINTERNET AddInternetObject(std::unique_ptr<InternetObject> object) {
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> lock(table.mutex);
    HINTERNET handle = object.get();
    table.objects.emplace(handle, std::move(object));
    return handle;
}

InternetObject* FindAnyInternetObject(HINTERNET handle) {
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.objects.find(handle);
    if (found == table.objects.end()) return FailNull(ERROR_INVALID_HANDLE);
    return found->second.get();
}

InternetObject* FindInternetObject(HINTERNET handle, HandleKind kind) {
    InternetObject* object = FindAnyInternetObject(handle);
    if (object != nullptr && object->kind != kind) return FailNull(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    return object;
}

bool RemoveInternetObject(HINTERNET handle) {
    std::unique_ptr<InternetObject> removed;
    {
        HandleTable& table = Table();
        const std::lock_guard<std::mutex> lock(table.mutex);
        const auto found = table.objects.find(handle);
        if (found == table.objects.end()) return Fail(ERROR_INVALID_HANDLE);
        removed = std::move(found->second);
        table.objects.erase(found);
    }
    // The transfer, if any, ends here, outside the table's lock.
    return true;
}

std::size_t OpenInternetHandleCount() {
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> lock(table.mutex);
    return table.objects.size();
}

}  // namespace velto::platform::winhttp
