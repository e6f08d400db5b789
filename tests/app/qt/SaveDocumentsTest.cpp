#include "formats/Metafile.h"
#include "formats/MetafileReader.h"
#include "preview/FileComponents.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/QtPixels.h"
#include "tests/support/window/Doubles.h"

#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "platform/qt/QtCommonDialog.h"
#include "platform/qt/QtMessageBox.h"
#include "tests/support/qt/ModalAnswers.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/qt/WindowControls.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>

#include <cmath>

using namespace glimmer;
using namespace glimmer::test;

namespace {

Image playAtNaturalSize(const QString& wmfPath)
{
    Bytes bytes = readFile(wmfPath.toStdString());
    if (bytes.empty())
        return {};
    wmf::read(bytes);   // raises on anything malformed
    const Size size = wmf::naturalSize(bytes);
    return Picture::fromMetafile(std::move(bytes), size).toImage();
}

const FixtureDocument& fixture(const char* path)
{
    for (const FixtureDocument& doc : fixtureDocuments())
        if (std::string_view(doc.path) == path)
            return doc;
    throw std::logic_error("no such fixture");
}

} // namespace

// The real window and the real document reader; saves go to a temporary folder.
class SaveDocuments : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        GLIMMER_REQUIRE_FIXTURES();
        form = std::make_unique<QtForm>();
        window = std::make_unique<frmSavePreview>(*form, dialog, messages, components);
        window->setExitHandler([] {});
        form->show();
        ui.emplace(*form);
        dialog.answer(toStd(fixtureQPath(GetParam())));
        QTest::mouseClick(ui->cmdOpen, Qt::LeftButton);
        ASSERT_TRUE(ui->cmdSave->isEnabled()) << messages.all();
        here = std::make_unique<CurrentDir>(dir.path());
    }
    void TearDown() override { here.reset(); }

    void pickSize(int index)
    {
        QComboBox* box = ui->PicSize;
        box->showPopup();
        QAbstractItemView* view = box->view();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(index, 0)).center());
    }

    // Saves through the Save dialog, which returns `name` in the temporary folder.
    QString saveAs(const QString& name)
    {
        const QString path = qpath(dir) + "/" + name;
        dialog.answer(toStd(path));
        QTest::mouseClick(ui->cmdSave, Qt::LeftButton);
        return path;
    }

    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    std::unique_ptr<QtForm> form;
    std::unique_ptr<frmSavePreview> window;
    std::optional<WindowControls> ui;
    TempDir dir;
    std::unique_ptr<CurrentDir> here;
};

TEST_P(SaveDocuments, BitmapIsTheBoxAtItsSizeShowingThePreview)
{
    pickSize(2);
    const QString path = saveAs("preview.bmp");
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(54);
    ASSERT_EQ(header.size(), 54);
    EXPECT_EQ(header.left(2), "BM");
    EXPECT_EQ(qFromLittleEndian<quint16>(header.constData() + 28), 24);   // bits per pixel
    EXPECT_EQ(qFromLittleEndian<quint32>(header.constData() + 30), 0u);   // uncompressed
    const QImage saved(path, "BMP");
    ASSERT_EQ(saved.size(), QSize(240, 240));
    EXPECT_EQ(pixelSha256(saved), pixelSha256(ui->picPreview->image()));
    // The preview is scaled to fill the square box: its corners are preview, not background.
    const QImage natural = toQImage(ui->picPreview->picture().toImage());
    const QImage expected = natural.scaled(240, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(psnr(saved, expected), 40.0);
}

TEST_P(SaveDocuments, MetafileReadsBackToThePreviewsExactPixels)
{
    pickSize(0);   // the metafile does not depend on the box
    const QString path = saveAs("preview.wmf");
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    const Image played = playAtNaturalSize(path);
    ASSERT_FALSE(played.isNull());
    EXPECT_EQ(pixelSha256(played), fixture(GetParam()).pixelSha256);
}

TEST_P(SaveDocuments, JpegIsTheBoxAtItsSizeCloseToTheBitmap)
{
    pickSize(1);
    const QString bmp = saveAs("preview.bmp");
    const QString jpg = saveAs("preview.jpg");
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    const QImage jpeg(jpg, "JPEG");
    ASSERT_EQ(jpeg.size(), QSize(120, 120));
    EXPECT_GT(psnr(jpeg, QImage(bmp, "BMP")), 35.0);
    // The dialog left the current folder at the output folder: no temporary bitmap stays there.
    EXPECT_FALSE(QFile::exists(qpath(dir) + "/~TempBmpJpgImage.bmp"));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath("~TempBmpJpgImage.bmp")));
}

INSTANTIATE_TEST_SUITE_P(OldAndNew, SaveDocuments,
                         ::testing::Values("kdizon-2P-OPM/AA AOTF subassy.iam",        // standard summary set, metafile
                                           "Rou7e-typhlogyroscope/SOLID_10.ipt",       // PNG, 512 pixels
                                           "Rou7e-typhlogyroscope/Part3.ipt"));        // PNG, 180 pixels

// An old revision as the CAD system keeps it, "name.0004.ipt", saved in each
// type through Qt's own dialog, whose proposed name is accepted as it stands.
TEST(SaveDottedDocuments, EachTypeIsWrittenUnderTheNameWithItsExtension)
{
    GLIMMER_REQUIRE_FIXTURES();
    struct Case {
        const char* document;
        int type;   // FileType entry
        const char* written;
    };
    const Case cases[] = {
        {"kdizon-2P-OPM/AA AOTF subassy.iam", 0, "name.0004.bmp"},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", 1, "name.0004.wmf"},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", 2, "name.0004.jpg"},
        {"Rou7e-typhlogyroscope/Part3.ipt", 0, "name.0004.bmp"},
        {"Rou7e-typhlogyroscope/Part3.ipt", 1, "name.0004.wmf"},
        {"Rou7e-typhlogyroscope/Part3.ipt", 2, "name.0004.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.document) + " as " + c.written);
        TempDir dir;
        CurrentDir keep;
        const QString document = qpath(dir) + "/name.0004.ipt";
        ASSERT_TRUE(QFile::copy(fixtureQPath(c.document), document));

        QtCommonDialog dialog;
        RecordingMessageBox messages;
        FileComponents components;
        QtForm form;
        frmSavePreview window(form, dialog, messages, components);
        dialog.setParent(&form);
        form.show();
        window.open(document.toStdString());
        const WindowControls ui(form);
        ui.FileType->setCurrentIndex(c.type);
        const auto answer = answerFileDialog({});
        QTest::mouseClick(ui.cmdSave, Qt::LeftButton);

        EXPECT_TRUE(messages.messages.empty()) << messages.all();
        QStringList expected{"name.0004.ipt", c.written};
        expected.sort();
        EXPECT_EQ(QDir(qpath(dir)).entryList(QDir::Files), expected);
        const QString written = qpath(dir) + "/" + c.written;
        EXPECT_EQ(pictureFormat(written), QString(c.written).right(3));
        if (c.type == 1) {
            EXPECT_FALSE(playAtNaturalSize(written).isNull());
        } else {
            EXPECT_EQ(QImage(written).size(), ui.picPreview->size());
        }
    }
}
