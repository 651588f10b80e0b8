// The module's entry bookkeeping, shared by every platform's exported entry
// points (module_entry_<platform>.cpp): how often the host has entered, the
// handle and bundle path recorded on the first entry, and the work that runs
// when the module is initialised and de-initialised. Hosts call all of it on
// their main thread.
#pragma once

#include <cstddef>

namespace kelvo {

// The bundle path record, terminating NUL included.
inline constexpr size_t MODULE_PATH_CAPACITY = 2048;

// A null handle is ignored (true). Otherwise counts the entry; the entry that
// raises the count to one records the handle and the bundle path (a path that
// does not fit the record, or none, leaves it empty) and runs the initialisers.
bool enterModule(void* handle, const char* bundlePath);
// The exit that drops the count to zero runs the terminators and forgets the
// handle. An exit without a matching entry returns false and changes nothing.
bool exitModule();

int moduleEntryCount();
// The handle the host passed on the first entry, null while not entered.
void* moduleHandle();
// The bundle folder, "" when unknown.
const char* moduleBundlePath();

// Work for module initialisation and de-initialisation, run in ascending
// priority (registration order among equals). Register before the host
// enters, e.g. from a static initialiser. False when the table is full.
using ModuleHook = void (*)();
bool addModuleInitializer(ModuleHook hook, int priority);
bool addModuleTerminator(ModuleHook hook, int priority);

}  // namespace kelvo
