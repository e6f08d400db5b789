#include "platform/Paths.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace glimmer {

namespace fs = std::filesystem;

fs::path fsPath(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string absolutePath(const std::string& path)
{
    std::error_code ec;
    fs::path whole = fs::absolute(fsPath(path), ec);
    if (ec)
        whole = fsPath(path);
    whole = whole.lexically_normal();
    // "a/b/" cleans to "a/b/": the name is what it names.
    if (!whole.has_filename() && whole.has_relative_path())
        whole = whole.parent_path();
    return utf8Of(whole.make_preferred());
}

std::string folderOf(const std::string& path)
{
    return utf8Of(fsPath(absolutePath(path)).parent_path());
}

std::string fileNameOf(const std::string& path)
{
    return utf8Of(fsPath(path).filename());
}

std::string nativeSeparators(const std::string& path)
{
    return utf8Of(fsPath(path).make_preferred());
}

bool isFolder(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(fsPath(path), ec);
}

bool isSymbolicLink(const std::string& path)
{
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(fsPath(path), ec));
}

bool setCurrentFolder(const std::string& path)
{
    std::error_code ec;
    fs::current_path(fsPath(path), ec);
    return !ec;
}

std::string readRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::byte>& bytes)
{
    std::error_code ec;
    const fs::path p = fsPath(path);
    if (!fs::is_regular_file(p, ec))
        return "is not a file";
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec)
        return "cannot be read: " + ec.message();
    if (size > maxBytes)
        return "is too large";
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return std::string("cannot be read: ") + std::strerror(errno);
    bytes.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size))
        return "cannot be read: it changed while it was read";
    return {};
}

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace glimmer
