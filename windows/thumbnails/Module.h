#pragma once

#include <windows.h>

// What the DLL's objects share: the count that DllCanUnloadNow reads, the
// module's own handle, and the provider's maker for the class factory.
namespace glimmer::shell {

// Every object and class factory counts itself while it lives, as does
// every IClassFactory::LockServer lock.
void moduleAddRef() noexcept;
void moduleRelease() noexcept;

// This DLL, as loaded.
HMODULE moduleHandle() noexcept;

// A new thumbnail provider, asked for as `riid`.
HRESULT createThumbnailProvider(REFIID riid, void** object) noexcept;

} // namespace glimmer::shell
