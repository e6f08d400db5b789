// Stays over Qt: the save goes through Qt's own file dialog, whose proposed
// name is accepted as it stands. The other saves of the real documents are
// in tests/app/DocumentsTest.cpp.
#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "formats/Metafile.h"
#include "formats/MetafileReader.h"
#include "platform/qt/QtCommonDialog.h"
#include "preview/FileComponents.h"
#include "tests/support/qt/ModalAnswers.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/WindowControls.h"
#include "tests/support/window/Doubles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

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

} // namespace

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
