// glimmerbox-thumbnails.dll as Explorer meets it: registered by regsvr32,
// created by CoCreateInstance, given each document as a stream.
#include "formats/Metafile.h"
#include "formats/Png.h"
#include "fuzz/support/CompoundFileEditor.h"
#include "fuzz/support/MetafileBombs.h"
#include "fuzz/support/SeedDocuments.h"
#include "preview/Box.h"
#include "preview/DocumentFile.h"
#include "preview/Engine.h"
#include "tests/support/Fixtures.h"

#include "windows/thumbnails/Clsid.h"
#include "windows/thumbnails/ShellThumbnail.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>
#include <wrl/client.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

using namespace glimmer;
using namespace glimmer::test;
using Microsoft::WRL::ComPtr;

namespace {

namespace fs = std::filesystem;
using shell::DocumentExtensions;
using shell::ThumbnailHandlerKey;
using shell::ThumbnailProviderClsid;
using shell::ThumbnailProviderClsidText;

constexpr HRESULT InvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
const std::wstring Classes = L"Software\\Classes\\";
const std::wstring ClassKey = Classes + L"CLSID\\" + ThumbnailProviderClsidText;

std::wstring wide(const std::string& utf8)
{
    std::wstring w(utf8.size(), L'\0');
    w.resize(std::size_t(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), int(w.size()))));
    return w;
}

std::wstring dllPath()
{
    const std::wstring built = wide(GLIMMER_THUMBNAILS_DLL);
    wchar_t full[MAX_PATH * 4];
    return std::wstring(full, ::GetFullPathNameW(built.c_str(), DWORD(std::size(full)), full, nullptr));
}

bool underWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// regsvr32's exit code for `arguments`.
DWORD regsvr32(const std::wstring& arguments)
{
    std::wstring line = L"regsvr32.exe " + arguments + L" \"" + dllPath() + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ~DWORD{0};
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = ~DWORD{0};
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

std::optional<std::wstring> stringValue(const std::wstring& key, const wchar_t* name = nullptr, HKEY root = HKEY_CURRENT_USER)
{
    wchar_t value[1024];
    DWORD bytes = sizeof(value);
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

bool keyExists(const std::wstring& key)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(opened);
    return true;
}

std::wstring handlerKey(const wchar_t* extension)
{
    return Classes + extension + L"\\ShellEx\\" + ThumbnailHandlerKey;
}

// What Explorer gets: the call's result and the bitmap's pixels and alpha type.
struct Got {
    HRESULT result = E_FAIL;
    Image pixels;   // Argb32, as the DIB's bytes lie
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
};

// The DIB section's pixels, which must be a 32-bit BI_RGB one, rows
// top-down however the bitmap lies, as GDI hands them to whoever draws it.
Image pixelsOf(HBITMAP bitmap)
{
    DIBSECTION dib {};
    if (::GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib)) {
        ADD_FAILURE() << "not a DIB section";
        return {};
    }
    EXPECT_EQ(dib.dsBmih.biBitCount, 32);
    EXPECT_EQ(dib.dsBmih.biCompression, DWORD(BI_RGB));
    Image image(dib.dsBm.bmWidth, dib.dsBm.bmHeight, PixelFormat::Argb32);
    BITMAPINFO info {};
    info.bmiHeader = {sizeof(info.bmiHeader), image.width(), -image.height(), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(::GetDIBits(screen, bitmap, 0, UINT(image.height()), image.row(0), &info, DIB_RGB_COLORS), image.height());
    ::ReleaseDC(nullptr, screen);
    return image;
}

Got thumbnail(IStream* stream, UINT size = 256)
{
    Got got;
    ComPtr<IInitializeWithStream> init;
    got.result = ::CoCreateInstance(ThumbnailProviderClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init));
    if (FAILED(got.result))
        return got;
    if (FAILED(got.result = init->Initialize(stream, STGM_READ)))
        return got;
    ComPtr<IThumbnailProvider> provider;
    if (FAILED(got.result = init.As(&provider)))
        return got;
    HBITMAP bitmap = nullptr;
    got.result = provider->GetThumbnail(size, &bitmap, &got.alpha);
    if (SUCCEEDED(got.result)) {
        got.pixels = pixelsOf(bitmap);
        ::DeleteObject(bitmap);
    } else {
        EXPECT_EQ(bitmap, nullptr);
    }
    return got;
}

ComPtr<IStream> memoryStream(const std::vector<std::uint8_t>& bytes)
{
    ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(bytes.data(), UINT(bytes.size())));
    return stream;
}

ComPtr<IStream> fileStream(const fs::path& path)
{
    ComPtr<IStream> stream;
    EXPECT_EQ(::SHCreateStreamOnFileEx(path.wstring().c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                                       FALSE, nullptr, &stream),
              S_OK)
        << path;
    return stream;
}

// Pixel for pixel, alpha included; the first difference named.
void expectSamePixels(const Image& got, const Image& expected)
{
    ASSERT_EQ(got.size(), expected.size());
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != expected.pixel(x, y)) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got.pixel(x, y) << " against "
                              << expected.pixel(x, y);
                return;
            }
}

std::vector<std::byte> bytesOf(const std::vector<std::uint8_t>& bytes)
{
    const auto* begin = reinterpret_cast<const std::byte*>(bytes.data());
    return {begin, begin + bytes.size()};
}

// A document of release 8 whose CAD summary set holds `picture` (a PNG or a
// metafile) as its preview.
std::vector<std::uint8_t> documentWith(std::span<const std::byte> picture)
{
    std::vector<std::byte> clipboard(16, std::byte{0});
    const std::uint8_t head[] = {0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 8};   // CF_METAFILEPICT, MM_ANISOTROPIC
    std::memcpy(clipboard.data(), head, sizeof(head));
    clipboard.insert(clipboard.end(), picture.begin(), picture.end());
    std::vector<std::byte> version(32, std::byte{0});
    version[20] = std::byte{3};
    version[22] = std::byte{8};
    return seeds::compoundFile({{"RSeStorage/V1/RSeDb", version},
                                {CadSummarySet.streamName, seeds::propertySet(CadSummarySet.fmtid, clipboard)}});
}

// 300 × 200, transparent but for an opaque red square and a half-transparent blue band.
Image transparentPicture()
{
    Image image(300, 200, PixelFormat::Argb32);
    image.fill(0);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            if (x >= 50 && x < 150 && y >= 50 && y < 150)
                image.setPixel(x, y, rgb(220, 20, 30));
            else if (y >= 160 && y < 190)
                image.setPixel(x, y, argb(128, 20, 60, 230));
    return image;
}

// The provider registered as regsvr32 registers it, for the tests that
// create it; under Wine, whose HKCR leaves out the user's classes, its
// class copied to HKLM too once the user's keys are seen in place.
class Registered {
public:
    Registered()
    {
        EXPECT_EQ(regsvr32(L"/s"), 0u);
        EXPECT_EQ(stringValue(ClassKey + L"\\InprocServer32"), dllPath());
        for (const wchar_t* extension : DocumentExtensions)
            EXPECT_EQ(stringValue(handlerKey(extension)), ThumbnailProviderClsidText) << extension;
        if (underWine()) {
            HKEY from = nullptr;
            HKEY to = nullptr;
            EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, ClassKey.c_str(), 0, KEY_READ, &from), ERROR_SUCCESS);
            EXPECT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &to, nullptr),
                      ERROR_SUCCESS);
            EXPECT_EQ(::RegCopyTreeW(from, nullptr, to), ERROR_SUCCESS);
            ::RegCloseKey(from);
            ::RegCloseKey(to);
        }
    }
    ~Registered()
    {
        if (underWine())
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey.c_str());
        regsvr32(L"/u /s");
    }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
};

class ThumbnailProvider : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        registered = new Registered;
    }
    static void TearDownTestSuite()
    {
        delete registered;
        ::CoUninitialize();
    }
    static Registered* registered;
};

Registered* ThumbnailProvider::registered = nullptr;

// A stream that passes another one's bytes on, counting them, and fails
// its reads from the `failAfter`th on.
class CountingStream final : public IStream {
public:
    CountingStream(ComPtr<IStream> inner, int failAfter = -1) : inner_(std::move(inner)), failAfter_(failAfter) {}
    ULONGLONG bytesRead = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IStream) && !IsEqualIID(riid, IID_ISequentialStream)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
    ULONG STDMETHODCALLTYPE Release() override { return --count_; }   // lives on the test's stack
    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG n, ULONG* got) override
    {
        if (failAfter_ >= 0 && reads_++ >= failAfter_)
            return STG_E_READFAULT;
        ULONG read = 0;
        const HRESULT result = inner_->Read(into, n, &read);
        bytesRead += read;
        if (got)
            *got = read;
        return result;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER by, DWORD origin, ULARGE_INTEGER* to) override { return inner_->Seek(by, origin, to); }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return inner_->Stat(stat, flags); }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ComPtr<IStream> inner_;
    int failAfter_;
    int reads_ = 0;
    std::atomic<ULONG> count_{1};
};

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

template <typename Function>
Function exported(const char* name)
{
    const HMODULE dll = ::GetModuleHandleW(L"glimmerbox-thumbnails.dll");
    return dll ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(dll, name))) : nullptr;
}

} // namespace

// A picture's pixels as the DIB's 32-bit words: alpha kept straight (not
// premultiplied) where some pixel is not opaque, else made 0xFF.
TEST(DibThumbnail, KeepsAlphaStraightOnlyWhereSomePixelIsNotOpaque)
{
    const std::uint32_t half = argb(128, 200, 100, 50);
    struct Row {
        PixelFormat format;
        std::uint32_t first;
        bool transparent;
    };
    const Row rows[] = {
        {PixelFormat::Rgba8888, half, true},
        {PixelFormat::Argb32, half, true},
        {PixelFormat::Rgba8888, rgb(200, 100, 50), false},
        {PixelFormat::Argb32, rgb(200, 100, 50), false},
        {PixelFormat::Rgbx8888, rgb(200, 100, 50), false},
    };
    for (const Row& r : rows) {
        Image image(2, 1, r.format);
        image.setPixel(0, 0, r.first);
        image.setPixel(1, 0, rgb(1, 2, 3));
        const shell::Thumbnail t = shell::dibThumbnail(image);
        EXPECT_EQ(t.transparent, r.transparent) << int(r.format);
        EXPECT_EQ(t.image.format(), r.transparent ? PixelFormat::Argb32 : PixelFormat::Xrgb32);
        EXPECT_EQ(t.image.row32(0)[0], r.first) << int(r.format);
        EXPECT_EQ(t.image.row32(0)[1], rgb(1, 2, 3)) << int(r.format);
    }
}

// regsvr32 registers the provider for the current user alone, for each
// document type; /u takes away exactly that: not a foreign handler that
// replaced ours, not what a type's key held before.
TEST(Registration, RegsvrWritesThePerUserKeysAndTakesExactlyThemAway)
{
    const wchar_t* foreign = L"{00000000-1111-2222-3333-444444444444}";
    struct CleanUp {
        ~CleanUp()
        {
            regsvr32(L"/u /s");
            for (const wchar_t* extension : DocumentExtensions)
                ::RegDeleteTreeW(HKEY_CURRENT_USER, (Classes + extension).c_str());
        }
    } cleanUp;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (Classes + L".ipn").c_str(), nullptr, REG_SZ, L"Other.Document",
                                sizeof(L"Other.Document")),
              ERROR_SUCCESS);

    ASSERT_EQ(regsvr32(L"/s"), 0u);
    EXPECT_EQ(stringValue(ClassKey + L"\\InprocServer32"), dllPath());
    EXPECT_EQ(stringValue(ClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(stringValue(ClassKey, L"DisableProcessIsolation"), std::nullopt);
    for (const wchar_t* extension : DocumentExtensions)
        EXPECT_EQ(stringValue(handlerKey(extension)), ThumbnailProviderClsidText) << extension;
    EXPECT_EQ(stringValue(ClassKey, nullptr, HKEY_LOCAL_MACHINE), std::nullopt);

    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, handlerKey(L".ide").c_str(), nullptr, REG_SZ, foreign,
                                DWORD(sizeof(wchar_t) * (std::wcslen(foreign) + 1))),
              ERROR_SUCCESS);
    ASSERT_EQ(regsvr32(L"/u /s"), 0u);
    EXPECT_FALSE(keyExists(ClassKey));
    for (const wchar_t* extension : {L".ipt", L".iam", L".idw"})
        EXPECT_FALSE(keyExists(Classes + extension)) << extension;
    EXPECT_EQ(stringValue(Classes + L".ipn"), L"Other.Document");
    EXPECT_FALSE(keyExists(Classes + L".ipn\\ShellEx"));
    EXPECT_EQ(stringValue(handlerKey(L".ide")), foreign);
}

// Every fixture document with a preview gives the pixels the Linux
// thumbnailer writes for `-s 256` (the PNGs in GLIMMER_EXPECTED_THUMBNAILS,
// made by tests/windows/check-thumbnails); one without gives the error that
// has Explorer show the type's icon.
TEST_F(ThumbnailProvider, GivesTheLinuxThumbnailersPixelsForEveryFixture)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        if (!doc.hasPreview) {
            EXPECT_EQ(thumbnail(fileStream(fixturePath(doc)).Get()).result, WTS_E_FAILEDEXTRACTION) << doc.path;
        }
    }

    wchar_t folder[MAX_PATH * 4];
    const DWORD n = ::GetEnvironmentVariableW(L"GLIMMER_EXPECTED_THUMBNAILS", folder, DWORD(std::size(folder)));
    if (n == 0 || n >= std::size(folder) || !fs::is_directory(folder))
        GTEST_SKIP() << "no PNGs of the Linux thumbnailer (GLIMMER_EXPECTED_THUMBNAILS=\""
                     << fs::path(std::wstring(folder, n)).string()
                     << "\"; tests/windows/check-thumbnails makes them with build/dev)";
    for (const FixtureDocument& doc : fixtureDocuments()) {
        if (!doc.hasPreview)
            continue;
        SCOPED_TRACE(doc.path);
        const std::vector<std::byte> png = readFile(fs::path(folder) / fs::u8path(std::string(doc.path) + ".png"));
        ASSERT_FALSE(png.empty()) << "no PNG of the Linux thumbnailer";
        const Image expected = png::decode(png, Image::MaxPixels);
        const Got got = thumbnail(fileStream(fixturePath(doc)).Get());
        ASSERT_EQ(got.result, S_OK);
        EXPECT_EQ(got.alpha, expected.isOpaque() ? WTSAT_RGB : WTSAT_ARGB);
        expectSamePixels(got.pixels, expected);
    }
}

// The made documents, opaque or transparent, small or larger than the box:
// the engine's own thumbnail, straight alpha and all.
TEST_F(ThumbnailProvider, GivesTheEnginesThumbnailOfMadeDocuments)
{
    struct Made {
        const char* name;
        std::vector<std::uint8_t> bytes;
        WTS_ALPHATYPE alpha;
        Size size;
    };
    const Image transparent = transparentPicture();
    const Made made[] = {
        {"metafile", seeds::document(seeds::Preview::Metafile), WTSAT_RGB, {8, 6}},
        {"dib in the standard set", seeds::document(seeds::Preview::Dib, true), WTSAT_RGB, {7, 5}},
        {"png, 4096-byte sectors", seeds::document(seeds::Preview::Png, false, 4096), WTSAT_RGB, {9, 4}},
        {"transparent png, on white as every preview", documentWith(png::encode(transparent)), WTSAT_RGB, {256, 170}},
        {"large metafile", documentWith(wmf::fromImage(transparent.converted(PixelFormat::Xrgb32))), WTSAT_RGB, {256, 170}},
    };
    for (const Made& m : made) {
        SCOPED_TRACE(m.name);
        const Got got = thumbnail(memoryStream(m.bytes).Get());
        ASSERT_EQ(got.result, S_OK);
        EXPECT_EQ(got.alpha, m.alpha);
        const std::vector<std::byte> bytes = bytesOf(m.bytes);
        MemorySource source(bytes);
        const Image expected = thumbnailImage(readDocument(source, "made.ipt").picture, 256);
        EXPECT_EQ(got.pixels.size(), m.size);
        expectSamePixels(got.pixels, expected);
    }
}

// Whatever the bytes, an error and no bitmap, never a crash: no preview,
// damaged, cut short, empty, text, hostile, metafile bombs, the fuzzer's finds.
TEST_F(ThumbnailProvider, RefusesWhatHasNoReadablePreviewWithAnError)
{
    struct Bad {
        std::string name;
        std::vector<std::uint8_t> bytes;
        HRESULT result;
    };
    std::vector<Bad> bad = {
        {"no preview", seeds::document(seeds::Preview::None), WTS_E_FAILEDEXTRACTION},
        {"sector chain cycle", seeds::chainCycleDocument(), InvalidData},
        {"4 GiB stream", seeds::hugeStreamDocument(), InvalidData},
        {"billion-record metafile", seeds::billionRecordDocument(), WTS_E_FAILEDEXTRACTION},
        {"empty", {}, InvalidData},
        {"text", {'h', 'e', 'l', 'l', 'o', '\n'}, InvalidData},
    };
    const std::vector<std::uint8_t> whole = seeds::document(seeds::Preview::Png);
    for (const std::size_t length : {std::size_t{1}, std::size_t{512}, std::size_t{1536}, whole.size() / 2})
        bad.push_back({"cut to " + std::to_string(length), {whole.begin(), whole.begin() + std::ptrdiff_t(length)}, InvalidData});
    if (fixturesDir()) {
        CompoundFileEditor signature(fixturePath(fixtureDocuments()[1]));
        signature.bytes[0] = 'X';
        bad.push_back({"no compound file signature", signature.bytes, InvalidData});
        CompoundFileEditor huge(fixturePath(fixtureDocuments()[1]));
        huge.setU32(huge.entryOffset(huge.entry(CadSummarySet.streamName)) + 120, 0x7FFFFFF0);
        bad.push_back({"preview stream larger than the file", huge.bytes, InvalidData});
    }
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(thumbnail(memoryStream(b.bytes).Get()).result, b.result);
    }
    for (const seeds::MetafileBomb& bomb : seeds::metafileBombs()) {
        SCOPED_TRACE(bomb.name);
        const Got got = thumbnail(memoryStream(documentWith(bomb.bytes)).Get());
        EXPECT_EQ(SUCCEEDED(got.result), bomb.error.empty()) << std::hex << got.result;
    }
    const std::pair<const char*, HRESULT> finds[] = {
        {"root-sibling-is-its-child.iam", InvalidData},
        {"mini-stream-beyond-the-file.ipt", InvalidData},
        {"control-characters-in-a-name.ipt", S_OK},   // its preview needs nothing of the odd name
    };
    for (const auto& [file, result] : finds) {
        SCOPED_TRACE(file);
        EXPECT_EQ(thumbnail(fileStream(fs::path(GLIMMER_SOURCE_DIR "/fuzz/crashers/document") / file).Get()).result, result);
    }
}

// The stream is read where the engine asks, never whole up front; a stream
// that fails gives its own error.
TEST_F(ThumbnailProvider, ReadsTheStreamOnlyWhereAskedAndPassesItsErrorOn)
{
    GLIMMER_REQUIRE_FIXTURES();
    const fs::path large = fixtureFile("Waller-Lab-CompCellScopeAndroid/101_CompCellScopeAssembly.iam");
    CountingStream counted(fileStream(large));
    EXPECT_EQ(thumbnail(&counted).result, S_OK);
    EXPECT_GT(counted.bytesRead, 0u);
    EXPECT_LT(counted.bytesRead, fs::file_size(large) / 4);

    for (const int failAfter : {0, 3}) {
        CountingStream failing(fileStream(large), failAfter);
        EXPECT_EQ(thumbnail(&failing).result, STG_E_READFAULT) << failAfter;
    }
}

// One document per provider, its stream asked for before its thumbnail;
// the DLL can be unloaded only once no provider, factory or lock is left.
TEST_F(ThumbnailProvider, KeepsToTheCallersContract)
{
    const auto canUnloadNow = [] {
        const auto function = exported<CanUnloadNow>("DllCanUnloadNow");
        return function ? function() : E_FAIL;
    };
    const std::vector<std::uint8_t> png = seeds::document(seeds::Preview::Png);
    const std::vector<std::uint8_t> none = seeds::document(seeds::Preview::None);
    {
        ComPtr<IInitializeWithStream> init;
        ASSERT_EQ(::CoCreateInstance(ThumbnailProviderClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init)), S_OK);
        EXPECT_EQ(canUnloadNow(), S_FALSE);
        ComPtr<IThumbnailProvider> provider;
        ASSERT_EQ(init.As(&provider), S_OK);
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        EXPECT_EQ(provider->GetThumbnail(256, &bitmap, &alpha), E_UNEXPECTED);
        EXPECT_EQ(init->Initialize(nullptr, STGM_READ), E_INVALIDARG);
        EXPECT_EQ(init->Initialize(memoryStream(png).Get(), STGM_READ), S_OK);
        EXPECT_EQ(init->Initialize(memoryStream(none).Get(), STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
        EXPECT_EQ(provider->GetThumbnail(256, nullptr, &alpha), E_POINTER);
        EXPECT_EQ(provider->GetThumbnail(0, &bitmap, &alpha), E_INVALIDARG);
        ASSERT_EQ(provider->GetThumbnail(256, &bitmap, &alpha), S_OK);   // the first document's
        EXPECT_EQ(pixelsOf(bitmap).size(), (Size{9, 4}));
        ::DeleteObject(bitmap);
    }
    EXPECT_EQ(canUnloadNow(), S_OK);

    const auto getClassObject = exported<GetClassObject>("DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID_IUnknown, IID_PPV_ARGS(&factory)), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(ThumbnailProviderClsid, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_PPV_ARGS(&object)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ASSERT_EQ(getClassObject(ThumbnailProviderClsid, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
}
