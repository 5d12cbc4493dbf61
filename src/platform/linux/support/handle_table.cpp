#include "platform/linux/support/handle_table.h"

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"

namespace velto::platform {
namespace {

// Values start above zero and step by four, as Windows hands them out, so
// that neither null nor INVALID_HANDLE_VALUE is ever a valid handle.
constexpr std::uintptr_t kFirstHandle = 0x100;
constexpr std::uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex lock;
    std::map<std::uintptr_t, KernelObject> objects;
    std::uintptr_t next = kFirstHandle;
};

// Never destroyed: handles may still be closed by other objects' destructors
// while the program ends.
HandleTable& Table() {
    static HandleTable* table = new HandleTable;
    return *table;
}

std::uintptr_t Key(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

// Module and search handles have functions of their own to close them.
bool IsKernelKind(ObjectKind kind) {
    return kind != ObjectKind::Module && kind != ObjectKind::Search;
}

// Unregisters handle when it is a kernel handle, or else of kind.
bool Take(HANDLE handle, bool kernel, ObjectKind kind, KernelObject& taken) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto found = table.objects.find(Key(handle));
    if (found == table.objects.end() ||
        (kernel ? !IsKernelKind(found->second.kind) : found->second.kind != kind)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    taken = found->second;
    table.objects.erase(found);
    return true;
}

}  // namespace

HANDLE AddObject(const KernelObject& object) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    while (table.objects.count(table.next) != 0) table.next += kHandleStep;
    const std::uintptr_t key = table.next;
    table.next += kHandleStep;
    table.objects.emplace(key, object);
    return reinterpret_cast<HANDLE>(key);
}

KernelObject* FindObject(HANDLE handle, ObjectKind kind) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto found = table.objects.find(Key(handle));
    if (found == table.objects.end() || found->second.kind != kind) return FailNull(ERROR_INVALID_HANDLE);
    return &found->second;
}

bool TakeObject(HANDLE handle, KernelObject& taken) {
    return Take(handle, true, ObjectKind::File, taken);
}

bool TakeModule(HANDLE handle) {
    KernelObject taken;
    return Take(handle, false, ObjectKind::Module, taken);
}

bool TakeSearch(HANDLE handle) {
    KernelObject taken;
    return Take(handle, false, ObjectKind::Search, taken);
}

std::size_t OpenHandleCount() {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.objects.size();
}

}  // namespace velto::platform
