// thumbnail_provider_bench [--runs N] [--size S] DOCUMENT...: the CPU time
// glimmerbox-thumbnails.dll takes per thumbnail, in process, as Explorer's
// thumbnail process asks for them: a provider made by the DLL's class
// factory, the document's file stream, Initialize, GetThumbnail, the
// bitmap and the provider released. One line a document, tab-separated:
// its path, the mean CPU (user + system) and wall milliseconds of a
// thumbnail, and the last HRESULT; then one line for the DLL's load and its
// first thumbnail. bench/thumbnail-provider-cpu runs it against the Linux
// thumbnailer. Under Wine the thread's CPU times come in the kernel's
// clock ticks: many runs are needed.
#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "windows/thumbnails/Clsid.h"

IStream* memory = nullptr;
namespace {

double cpuMilliseconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 1e4;
}

double wallMilliseconds()
{
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

HRESULT thumbnail(IClassFactory* factory, const wchar_t* path, UINT size)
{
    IInitializeWithStream* init = nullptr;
    HRESULT result = factory->CreateInstance(nullptr, IID_PPV_ARGS(&init));
    if (FAILED(result))
        return result;
    IStream* stream = nullptr;
    if (memory) { stream = memory; stream->AddRef(); result = S_OK; } else
    result = ::SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream);
    if (SUCCEEDED(result))
        result = init->Initialize(stream, STGM_READ);
    IThumbnailProvider* provider = nullptr;
    if (SUCCEEDED(result))
        result = init->QueryInterface(IID_PPV_ARGS(&provider));
    if (SUCCEEDED(result)) {
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        result = provider->GetThumbnail(size, &bitmap, &alpha);
        if (bitmap)
            ::DeleteObject(bitmap);
    }
    if (provider)
        provider->Release();
    if (stream)
        stream->Release();
    init->Release();
    return result;
}

std::string utf8(const wchar_t* text)
{
    std::string s(std::wcslen(text) * 4 + 1, '\0');
    s.resize(std::size_t(::WideCharToMultiByte(CP_UTF8, 0, text, -1, s.data(), int(s.size()), nullptr, nullptr)) - 1);
    return s;
}

} // namespace

int wmain(int argc, wchar_t* argv[])
{
    int runs = 100;
    UINT size = 256;
    std::vector<const wchar_t*> documents;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc)
            runs = std::max(1, _wtoi(argv[++i]));
        else if (std::wcscmp(argv[i], L"--size") == 0 && i + 1 < argc)
            size = UINT(std::max(1, _wtoi(argv[++i])));
        else
            documents.push_back(argv[i]);
    }
    if (documents.empty()) {
        std::fputs("usage: thumbnail_provider_bench [--runs N] [--size S] DOCUMENT...\n", stderr);
        return 3;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // The DLL of the same build, loaded as COM loads it.
    const std::wstring dll = L"" GLIMMER_THUMBNAILS_DLL;
    const double cpuAtLoad = cpuMilliseconds();
    const double wallAtLoad = wallMilliseconds();
    const HMODULE module = ::LoadLibraryW(dll.c_str());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = module ? reinterpret_cast<GetClassObject>(
                                             reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")))
                                       : nullptr;
    IClassFactory* factory = nullptr;
    if (!getClassObject || FAILED(getClassObject(glimmer::shell::ThumbnailProviderClsid, IID_PPV_ARGS(&factory)))) {
        std::fprintf(stderr, "thumbnail_provider_bench: cannot load %s\n", utf8(dll.c_str()).c_str());
        return 2;
    }
    const HRESULT first = thumbnail(factory, documents.front(), size);
    std::printf("load and first thumbnail\t%.3f\t%.3f\t0x%08lx\n", cpuMilliseconds() - cpuAtLoad,
                wallMilliseconds() - wallAtLoad, static_cast<unsigned long>(first));

    for (const wchar_t* document : documents) {
        HRESULT result = S_OK;
        if (_wgetenv(L"MEM")) {
            HANDLE f = CreateFileW(document, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            DWORD n = GetFileSize(f, nullptr); std::vector<BYTE> b(n); DWORD got; ReadFile(f, b.data(), n, &got, nullptr); CloseHandle(f);
            if (memory) memory->Release();
            memory = SHCreateMemStream(b.data(), n);
        }
        thumbnail(factory, document, size);   // its file in the cache, as for the Linux thumbnailer's runs
        const double cpu = cpuMilliseconds();
        const double wall = wallMilliseconds();
        for (int i = 0; i < runs; ++i)
            result = thumbnail(factory, document, size);
        std::printf("%s\t%.3f\t%.3f\t0x%08lx\n", utf8(document).c_str(), (cpuMilliseconds() - cpu) / runs,
                    (wallMilliseconds() - wall) / runs, static_cast<unsigned long>(result));
    }
    factory->Release();
    ::CoUninitialize();
    return 0;
}
