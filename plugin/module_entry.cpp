#include "module_entry.h"

#include <cstring>

namespace kelvo {
namespace {

constexpr int HOOK_CAPACITY = 8;

struct HookTable {
    struct Entry {
        ModuleHook hook;
        int priority;
    };
    Entry entries[HOOK_CAPACITY] = {};
    int count = 0;

    // Kept sorted on insertion; equal priorities keep their registration order.
    bool add(ModuleHook hook, int priority) {
        if (hook == nullptr || count == HOOK_CAPACITY) return false;
        int at = count;
        while (at > 0 && entries[at - 1].priority > priority) {
            entries[at] = entries[at - 1];
            --at;
        }
        entries[at] = {hook, priority};
        ++count;
        return true;
    }

    void runAll() const {
        for (int i = 0; i < count; ++i)
            entries[i].hook();
    }
};

HookTable initializers;
HookTable terminators;
int entryCount = 0;
void* handle = nullptr;
char bundlePath[MODULE_PATH_CAPACITY] = {};

// A truncated path could name another folder, so one that does not fit is
// recorded as no path at all.
void recordBundlePath(const char* path) {
    bundlePath[0] = '\0';
    if (path == nullptr) return;
    const size_t length = std::strlen(path);
    if (length >= MODULE_PATH_CAPACITY) return;
    std::memcpy(bundlePath, path, length + 1);
}

}  // namespace

bool enterModule(void* moduleHandle, const char* path) {
    if (moduleHandle == nullptr) return true;
    if (++entryCount != 1) return true;
    handle = moduleHandle;
    recordBundlePath(path);
    initializers.runAll();
    return true;
}

// A host that exits once too often must not leave the count below zero: the
// next entry would then not initialise the module.
bool exitModule() {
    if (entryCount == 0) return false;
    if (--entryCount > 0) return true;
    terminators.runAll();
    handle = nullptr;
    return true;
}

int moduleEntryCount() {
    return entryCount;
}

void* moduleHandle() {
    return handle;
}

const char* moduleBundlePath() {
    return bundlePath;
}

bool addModuleInitializer(ModuleHook hook, int priority) {
    return initializers.add(hook, priority);
}

bool addModuleTerminator(ModuleHook hook, int priority) {
    return terminators.add(hook, priority);
}

}  // namespace kelvo
