#include "system/FileSource.h"
#include "system/Win32Path.h"

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstring>

namespace glimmer {

namespace win32 {

std::wstring widePath(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        throw FormatError(FormatError::Code::Io, "cannot be read: the name is not UTF-8");
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string errorMessage(unsigned long error)
{
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                     reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text ? std::string(text, n) : "Windows error " + std::to_string(error);
    if (text)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

} // namespace win32

namespace {

using Code = FormatError::Code;

[[noreturn]] void cannotBeRead(DWORD error)
{
    throw FormatError(Code::Io, "cannot be read: " + win32::errorMessage(error));
}

class FileSource final : public ByteSource {
public:
    explicit FileSource(HANDLE file) noexcept : file_(file) {}
    ~FileSource() override
    {
        if (file_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(file_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Its size, once: the file as it was opened.
    void check()
    {
        if (file_ == INVALID_HANDLE_VALUE)
            cannotBeRead(ERROR_INVALID_HANDLE);
        // Consoles, pipes, NUL: anything but a file on a disk.
        if (::GetFileType(file_) != FILE_TYPE_DISK)
            throw FormatError(Code::Io, "is not a regular file");
        BY_HANDLE_FILE_INFORMATION info {};
        if (!::GetFileInformationByHandle(file_, &info))
            cannotBeRead(::GetLastError());
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            throw FormatError(Code::Io, "is a folder, not a file");
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            throw FormatError(Code::Io, "is not a regular file");
        size_ = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    }

    std::uint64_t size() override { return size_; }

    std::size_t readAt(std::uint64_t offset, std::span<std::byte> into) override
    {
        std::size_t done = 0;
        while (done < into.size()) {
            const std::uint64_t at = offset + done;
            OVERLAPPED where {};
            where.Offset = static_cast<DWORD>(at);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
            DWORD got = 0;
            if (!::ReadFile(file_, into.data() + done, want, &got, &where)) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_HANDLE_EOF)
                    break;
                cannotBeRead(error);
            }
            if (got == 0)
                break;
            done += got;
        }
        return done;
    }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t size_ = 0;
};

} // namespace

std::unique_ptr<ByteSource> fileSourceFromDescriptor(int fd)
{
    // The descriptor's handle, made the source's own; the descriptor closed.
    HANDLE file = INVALID_HANDLE_VALUE;
    if (fd >= 0) {
        const auto held = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
        if (held != INVALID_HANDLE_VALUE)
            ::DuplicateHandle(::GetCurrentProcess(), held, ::GetCurrentProcess(), &file, 0, FALSE, DUPLICATE_SAME_ACCESS);
        ::_close(fd);
    }
    auto source = std::make_unique<FileSource>(file);
    source->check();
    return source;
}

std::unique_ptr<ByteSource> openFileSource(const std::string& utf8Path)
{
    // Backup semantics, so that a folder opens and is refused by name rather
    // than as "access denied"; others may go on writing or deleting the file.
    const HANDLE file = ::CreateFileW(win32::widePath(utf8Path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        cannotBeRead(::GetLastError());
    auto source = std::make_unique<FileSource>(file);
    source->check();
    return source;
}

} // namespace glimmer
