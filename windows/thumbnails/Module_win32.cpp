#include "windows/thumbnails/Clsid.h"
#include "Module.h"

#include <shlwapi.h>
#include <unknwn.h>

#include <atomic>
#include <new>

namespace glimmer::shell {

namespace {

HMODULE self = nullptr;
std::atomic<long> references{0};

class ClassFactory final : public IClassFactory {
public:
    ClassFactory() noexcept { moduleAddRef(); }
    ~ClassFactory() { moduleRelease(); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    IFACEMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB interfaces[] = {QITABENT(ClassFactory, IClassFactory), {}};
        return QISearch(this, interfaces, riid, object);
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ++count_; }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --count_;
        if (left == 0)
            delete this;
        return left;
    }

    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return createThumbnailProvider(riid, object);
    }
    IFACEMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            moduleAddRef();
        else
            moduleRelease();
        return S_OK;
    }

private:
    std::atomic<ULONG> count_{1};
};

} // namespace

void moduleAddRef() noexcept
{
    ++references;
}

void moduleRelease() noexcept
{
    --references;
}

HMODULE moduleHandle() noexcept
{
    return self;
}

} // namespace glimmer::shell

using namespace glimmer::shell;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return references == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, ThumbnailProviderClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory;
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, object);
    factory->Release();
    return result;
}
