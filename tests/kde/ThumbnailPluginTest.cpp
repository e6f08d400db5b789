// The KIO thumbnail plugin loaded as KIO's thumbnail worker loads it: found
// by its id among the thumbnail plugins on Qt's plugin path, made through its
// factory, and asked for thumbnails of the fixture documents.
#include "preview/Box.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <KPluginMetaData>

#include <QCoreApplication>
#include <QImage>
#include <QUrl>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace glimmer::test {
namespace {

const QString PluginId = QStringLiteral("glimmerboxthumbnail");

KPluginMetaData pluginMetaData()
{
    QCoreApplication::addLibraryPath(QStringLiteral(GLIMMER_KDE_PLUGIN_PATH));
    return KPluginMetaData::findPluginById(QStringLiteral(GLIMMER_KDE_PLUGIN_NAMESPACE), PluginId);
}

// The fixture table's hash of a QImage's pixels, read through Qt.
std::string rgbSha256(const QImage& image)
{
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    return pixelSha256(Image::wrap(reinterpret_cast<std::byte*>(argb.bits()), argb.width(), argb.height(),
                                   argb.bytesPerLine(), PixelFormat::Argb32));
}

class ThumbnailPlugin : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // An application, as in KIO's thumbnail worker.
        static int argc = 1;
        static char name[] = "tests_kde";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
        auto made = KPluginFactory::instantiatePlugin<KIO::ThumbnailCreator>(pluginMetaData());
        ASSERT_TRUE(made) << made.errorString.toStdString();
        creator_.reset(made.plugin);
    }
    static void TearDownTestSuite() { creator_.reset(); }

    static KIO::ThumbnailResult thumbnail(const QUrl& url, QSize size)
    {
        return creator_->create(KIO::ThumbnailRequest(url, size, QStringLiteral("application/x-inventor-part"), 1.0, 0));
    }
    static KIO::ThumbnailResult thumbnail(const std::string& path, QSize size)
    {
        return thumbnail(QUrl::fromLocalFile(QString::fromStdString(path)), size);
    }

    static inline std::unique_ptr<KIO::ThumbnailCreator> creator_;
};

TEST_F(ThumbnailPlugin, MetadataNamesExactlyTheDocumentTypesTheProjectInstalls)
{
    std::ifstream xml(std::string(GLIMMER_SOURCE_DIR) + "/desktop/glimmerbox-mime.xml");
    const std::string text{std::istreambuf_iterator<char>(xml), {}};
    const std::regex typeAttribute(R"re(<mime-type type="([^"]+)")re");
    std::vector<std::string> installed;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), typeAttribute); m != std::sregex_iterator(); ++m)
        installed.push_back((*m)[1]);
    ASSERT_EQ(installed.size(), 5u);

    const KPluginMetaData metaData = pluginMetaData();
    ASSERT_TRUE(metaData.isValid()) << "no plugin " << PluginId.toStdString() << " in " GLIMMER_KDE_PLUGIN_PATH;
    std::vector<std::string> declared;
    for (const QString& type : metaData.mimeTypes())
        declared.push_back(type.toStdString());
    std::sort(installed.begin(), installed.end());
    std::sort(declared.begin(), declared.end());
    EXPECT_EQ(declared, installed);
}

TEST_F(ThumbnailPlugin, FixturesAtNaturalSizeHaveTheirPixelHashesAndTheOthersFail)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const KIO::ThumbnailResult result = thumbnail(fixturePath(doc).string(), QSize(1024, 1024));
        ASSERT_EQ(result.isValid(), doc.hasPreview);
        if (!doc.hasPreview)
            continue;
        EXPECT_EQ(result.image().size(), QSize(doc.previewSize, doc.previewSize));
        EXPECT_EQ(rgbSha256(result.image()), doc.pixelSha256);
    }
}

TEST_F(ThumbnailPlugin, FitsTheRequestedBoxAsTheEngineScalesNeverUp)
{
    GLIMMER_REQUIRE_FIXTURES();
    const struct {
        const char* document;
        QSize request;
        QSize expected;
    } cases[] = {
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", {128, 128}, {128, 128}},   // PNG, 512
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", {256, 96}, {96, 96}},      // the smaller side
        {"kdizon-2P-OPM/AA AOTF subassy.iam", {128, 128}, {128, 128}},             // metafile, 180
        {"Rou7e-typhlogyroscope/Part3.ipt", {256, 256}, {180, 180}},               // never scaled up
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.document) + " at " + std::to_string(c.request.width()));
        const std::string path = fixtureFile(c.document);
        const KIO::ThumbnailResult result = thumbnail(path, c.request);
        ASSERT_TRUE(result.isValid());
        EXPECT_EQ(result.image().size(), c.expected);
        FileComponents components;
        const Image engine = thumbnailImage(fetchPreview(components, path).picture, c.expected.width());
        EXPECT_EQ(rgbSha256(result.image()), pixelSha256(engine));
    }
}

TEST_F(ThumbnailPlugin, FailsCleanlyForWhatIsNotAReadableDocument)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const std::vector<std::byte> whole = readFile(fixtureFile("Rou7e-typhlogyroscope/Part3.ipt"));
    writeFile(dir.path() / "half.ipt", {whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() / 2)});
    std::vector<std::byte> wrongSectors = whole;   // a sector size of 2^0x40 bytes
    wrongSectors[30] = std::byte{0x40};
    writeFile(dir.path() / "sectors.ipt", wrongSectors);
    writeFile(dir.path() / "empty.ipt", {});
    std::filesystem::create_directory(dir.path() / "folder.ipt");
    ASSERT_EQ(::mkfifo(dir.file("fifo.ipt").c_str(), 0600), 0);   // no writer: must not be waited on

    for (const char* name : {"half.ipt", "sectors.ipt", "empty.ipt", "folder.ipt", "fifo.ipt", "missing.ipt"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(thumbnail(dir.file(name), QSize(256, 256)).isValid());
    }
    EXPECT_FALSE(thumbnail(QUrl(QStringLiteral("sftp://host/part.ipt")), QSize(256, 256)).isValid());
    // The plugin goes on serving after the failures.
    EXPECT_TRUE(thumbnail(fixtureFile("Rou7e-typhlogyroscope/Part3.ipt"), QSize(256, 256)).isValid());
}

// Memory runs out while the 512-pixel preview is decoded: a failed result,
// not an exception into KIO's worker nor an end to it.
TEST_F(ThumbnailPlugin, FailsCleanlyWhenMemoryRunsOut)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#endif
    GLIMMER_REQUIRE_FIXTURES();
    const std::string path = fixtureFile("kdizon-2P-OPM/Sapphire laser subassy v2.iam");
    const auto thumbnailWithLittleMemory = [&] {
        std::ifstream statm("/proc/self/statm");
        std::size_t pages = 0;
        statm >> pages;
        const rlim_t now = pages * std::size_t(::sysconf(_SC_PAGESIZE));
        const rlimit limit{now + (256u << 10), now + (256u << 10)};   // a quarter of the picture
        ::setrlimit(RLIMIT_AS, &limit);
        return thumbnail(path, QSize(256, 256)).isValid();
    };
    EXPECT_EXIT(std::_Exit(thumbnailWithLittleMemory() ? 1 : 0), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace glimmer::test
