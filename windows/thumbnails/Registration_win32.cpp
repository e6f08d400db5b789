// regsvr32's entries: the provider registered for the current user alone,
// under HKCU\Software\Classes, so no administrator is needed. Explorer's
// process isolation is left on: the provider runs in its thumbnail process.
#include "windows/thumbnails/Clsid.h"
#include "Module.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

namespace glimmer::shell {

namespace {

const std::wstring Classes = L"Software\\Classes\\";
const std::wstring ClassKey = Classes + L"CLSID\\" + ThumbnailProviderClsidText;

std::wstring handlerKey(const wchar_t* extension)
{
    return Classes + extension + L"\\ShellEx\\" + ThumbnailHandlerKey;
}

HRESULT fromError(LSTATUS error)
{
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(error));
}

// The string value `name` (null: the default) of `key`, made with its key if need be.
HRESULT setString(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return fromError(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, value.c_str(), bytes));
}

// This DLL's full path, however long.
std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(moduleHandle(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool pointsToUs(const std::wstring& key)
{
    wchar_t value[64] = {};
    DWORD bytes = sizeof(value);
    return ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) == ERROR_SUCCESS
           && _wcsicmp(value, ThumbnailProviderClsidText) == 0;
}

// Removes `key` when it holds neither keys nor values: what registering
// made around our value, never what was there before with anything in it.
LSTATUS removeIfEmpty(const std::wstring& key)
{
    HKEY opened = nullptr;
    LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    DWORD keys = 0;
    DWORD values = 0;
    status = ::RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr, nullptr,
                                nullptr, nullptr);
    ::RegCloseKey(opened);
    if (status != ERROR_SUCCESS || keys != 0 || values != 0)
        return status;
    return ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

LSTATUS ignoringAbsent(LSTATUS status)
{
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

HRESULT registerServer()
{
    const std::wstring path = modulePath();
    if (path.empty())
        return ::GetLastError() ? HRESULT_FROM_WIN32(::GetLastError()) : E_FAIL;
    HRESULT result = setString(ClassKey, nullptr, L"Glimmerbox thumbnails");
    if (SUCCEEDED(result))
        result = setString(ClassKey + L"\\InprocServer32", nullptr, path);
    if (SUCCEEDED(result))
        result = setString(ClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    for (const wchar_t* extension : DocumentExtensions)
        if (SUCCEEDED(result))
            result = setString(handlerKey(extension), nullptr, ThumbnailProviderClsidText);
    return result;
}

// Our ShellEx values where they still name us, the keys made for them where
// nothing else is in them, and our class's key.
HRESULT unregisterServer()
{
    LSTATUS first = ERROR_SUCCESS;
    const auto keep = [&](LSTATUS status) {
        if (first == ERROR_SUCCESS)
            first = ignoringAbsent(status);
    };
    for (const wchar_t* extension : DocumentExtensions) {
        const std::wstring key = handlerKey(extension);
        if (!pointsToUs(key))
            continue;
        keep(::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str()));
        keep(removeIfEmpty(Classes + extension + L"\\ShellEx"));
        keep(removeIfEmpty(Classes + extension));
    }
    keep(::RegDeleteTreeW(HKEY_CURRENT_USER, ClassKey.c_str()));
    return fromError(first);
}

} // namespace

} // namespace glimmer::shell

using namespace glimmer::shell;

STDAPI DllRegisterServer()
{
    HRESULT result = E_OUTOFMEMORY;
    try {
        result = registerServer();
        if (FAILED(result))
            unregisterServer();   // nothing left half made
    } catch (...) {
    }
    if (SUCCEEDED(result))
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return result;
}

STDAPI DllUnregisterServer()
{
    HRESULT result = E_OUTOFMEMORY;
    try {
        result = unregisterServer();
    } catch (...) {
    }
    if (SUCCEEDED(result))
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return result;
}
