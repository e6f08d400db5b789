#include "Fixtures.h"

#include <dirent.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace glimmer::test {

std::optional<std::filesystem::path> fixturesDir()
{
    const std::filesystem::path dir =
        std::filesystem::path(GLIMMER_SOURCE_DIR).parent_path() / "shared" / "fixtures" / "documents";
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec))
        return dir;
    return std::nullopt;
}

const std::vector<FixtureDocument>& fixtureDocuments()
{
    static const std::vector<FixtureDocument> docs = {
        {"BrainCOGS-Microscope/SM2L10.iam", 26050, false, 0, "", false},
        {"Rou7e-typhlogyroscope/Part3.ipt", 26000, true, 180, "4632cabce9132d0090e1f6450dadc949d2ab52c34e505f86202686c6f62de809", false},
        {"Rou7e-typhlogyroscope/SOLID_10.ipt", 25000, true, 512, "bc9936711afb4e23b7ef5cc07a3f7e52f8a108829a988d25e2266f5abaa17371", false},
        {"Waller-Lab-CompCellScopeAndroid/101_CompCellScopeAssembly.iam", 19000, true, 180, "14c0c09a1eac30eb56289767c96087c0b6325a05b6d1eb9ac14258d7e2bb1c92", false},
        {"Waller-Lab-CompCellScopeAndroid/901_CompCellScopeBoard_FORPICS.ipt", 19000, true, 180, "25f9132c47ab52a72a90ac9bcf8c021a03751b9c29d42a42a1a90405e165c848", false},
        {"jessedusty-2014-15-Robotux-CAD-Files/3732-12_open_closed.iam", 11000, false, 0, "", false},
        {"jessedusty-2014-15-Robotux-CAD-Files/switch Holder.ipt", 18000, true, 180, "39a3aac9c24c14d413d14c94c536c7c8239e0ceec9b8a0ad33b6ee98e7b68263", false},
        {"jessedusty-2014-15-Robotux-CAD-Files/tetrix spacer.ipt", 19000, true, 180, "4e031b0625a968e896e2836196ecd67e1b693378deeb89cb156c56b131f9a35b", false},
        {"kdizon-2P-OPM/003550_2.ipt", 14000, false, 0, "", false},
        {"kdizon-2P-OPM/9061 micro translation stage 25 mm platform.iam", 14001, true, 180, "9e1bbe116c81487a6826a91a5aeb456a2e2fbdf008d8a514321e0c4174777ba0", false},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", 5001, true, 180, "5f29b5f387add5033adf5aeee9425e0aa2b7e80c8ceed1e6a11deed30a391f8e", true},
        {"kdizon-2P-OPM/Edmund_36997_D25mm_T1mm_VISNIR_Window.ipt", 22020, true, 512, "7572bd3e7eba58a2e7212aff4c537b2b57ddf809009a9e0b3c89b42f7d0cc1e4", false},
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", 30010, true, 512, "b36d42b41de23930578ec6e4d55476201a45c607db448f36c4e803c1d9ae52e0", false},
        {"kdizon-2P-OPM/base plate for AOTF.ipt", 5001, true, 180, "e1bfdbd35966e1e389521fd68577bf5d9b1e921ce5da4196c75218522f75433d", true},
        {"kdizon-2P-OPM/baseplate for combined beam steering mirror.idw", 26000, true, 180, "84de36ebf457bdab549927be7dfe034662ddbd8cad0604dec6e6011405be8b36", false},
        {"kthorn-AZ100LightSheet/Arduino SMB-BNC box lid.ipt", 20000, true, 180, "699eb93125139b422609b35f103bf1971020f44b440cc967c9679482367e14de", false},
        {"reiserlab-Fly-Lab-Gear/Cooling_Plate-body.idw", 14003, true, 180, "74e515c62bed221b7c18ff5da114d8b7da551fde3424fe3b87b2a7cedf5002ce", false},
        {"reiserlab-Fly-Lab-Gear/Cooling_Plate-body.ipt", 14003, true, 180, "b70bb3910f95a78533e53d23cb1a611c823c8c9b21c0d68bf63a3e9011cf950a", false},
    };
    return docs;
}

std::filesystem::path fixturePath(const FixtureDocument& doc)
{
    return *fixturesDir() / doc.path;
}

std::string fixtureFile(const char* relativePath)
{
    return (*fixturesDir() / relativePath).string();
}

std::vector<std::byte> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    if (!chars.empty())
        std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
}

void writeFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out) << path;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.flush()) << path;
}

std::map<std::string, std::vector<std::byte>> filesBelow(const std::filesystem::path& dir)
{
    std::map<std::string, std::vector<std::byte>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(dir).generic_string()] = readFile(entry.path());
    return files;
}

void copyFixtures(const std::filesystem::path& root)
{
    for (const FixtureDocument& doc : fixtureDocuments()) {
        std::filesystem::create_directories((root / doc.path).parent_path());
        std::filesystem::copy_file(fixturePath(doc), root / doc.path);
    }
}

bool linkFolder(const std::filesystem::path& target, const std::filesystem::path& link)
{
#ifdef _WIN32
    // The C++ library makes no links on Windows; Wine 8 says it made one and
    // makes nothing.
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                 SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)
           && ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    std::error_code ec;
    std::filesystem::create_directory_symlink(target, link, ec);
    return !ec;
#endif
}

int openDescriptors()
{
#ifdef _WIN32
    // Files are handles there, counted with every other kind.
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return static_cast<int>(handles);
#endif
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

TempDir::TempDir()
{
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("glimmer-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may take away permissions; give them back so the folder can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

CurrentDir::CurrentDir()
{
    // A test before may have left the process in a folder it has removed.
    std::error_code ec;
    previous_ = std::filesystem::current_path(ec);
    if (ec)
        previous_ = std::filesystem::temp_directory_path();
}

CurrentDir::CurrentDir(const std::filesystem::path& dir) : CurrentDir()
{
    std::filesystem::current_path(dir);
}

CurrentDir::~CurrentDir()
{
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

} // namespace glimmer::test
