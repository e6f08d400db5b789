#include "frmSavePreview.h"

#include "imaging/cDIBSection.h"
#include "platform/ErrorRecord.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/ScopeExit.h"
#include "preview/Fetch.h"

#include <charconv>
#include <cstdlib>

namespace glimmer {

namespace {

const std::string OpenFilter = std::string("All Files(*.*)|*.*|Inventor Files(*.ipt,*.iam,*.idw,*.ipn, *.ide)")
                               + "|*.ipt;*.iam;*.idw;*.ipn;*.ide|Part Files (*.ipt)|*.ipt|Assembly Files (*.iam)"
                               + "|*.iam|Drawing Files(*.idw)|*.idw|Presentation Files (*.ipn)|*.ipn|"
                               + "iFeature Files(*.ide)|*.ide";

// The window's designed client area, in twips.
constexpr int ClientWidthTwips = 5085;
constexpr int ClientHeightTwips = 4350;

// The number `text` begins with after any blanks (digits with at most one
// dot), as a single-precision value; 0 when it begins with none.
float leadingNumber(const std::string& text)
{
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    std::size_t end = start;
    bool dot = false;
    while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || (text[end] == '.' && !dot))) {
        dot = dot || text[end] == '.';
        ++end;
    }
    double value = 0;
    std::from_chars(text.data() + start, text.data() + end, value);
    return static_cast<float>(value);
}

} // namespace

std::string basePath(const std::string& path)
{
    // Four characters, not bytes: "ä.ipt" keeps its "ä".
    std::size_t cut = path.size();
    for (int characters = 0; characters < 4; ++characters) {
        if (cut == 0)
            throw RuntimeError(5, "Invalid procedure call or argument");
        --cut;
        while (cut > 0 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80)
            --cut;
    }
    return path.substr(0, cut);
}

frmSavePreview::frmSavePreview(ui::Form& form, CommonDialog& dialog, MessageBox& messages, Components& components)
    : picPreview(&form.addPictureBox("picPreview", {0, 0, 3655, 3655}))
    , cmdOpen(&form.addCommandButton("cmdOpen", "File Select", {3840, 840, 1215, 495}))
    , cmdSave(&form.addCommandButton("cmdSave", "Save", {3840, 1440, 1215, 495}))
    , cmdExit(&form.addCommandButton("cmdExit", "Exit", {3840, 3240, 1212, 492}))
    , optMulti(&form.addOptionButton("optMulti", "Multiple Files", {3720, 120, 1575, 372}))
    , optSave(&form.addOptionButton("optSave", "Single File", {3720, 480, 1575, 255}))
    , FileType(&form.addComboBox("FileType", {4080, 2280, 855, 315}))
    , Label1(&form.addLabel("Label1", "Image Type", {3960, 2040, 1215, 375}))
    , FileName(&form.addLabel("FileName", "No File Selected", {120, 3840, 4935, 375}))
    , PicSize(&form.addComboBox("PicSize", {4080, 2880, 855, 315}))
    , Label2(&form.addLabel("Label2", "Size", {3960, 2640, 855, 375}))
    // Lies below the designed client area: it only carries the placeholder.
    , Picture1(&form.addPictureBox("Picture1", {480, 4680, 1815, 1815}))
    , CommonDialog1(dialog)
    , messages_(messages)
    , components_(components)
    , exitHandler_([] { std::_Exit(0); })
    , progress_(&form.progress())
    , ijl_(&ijlLibrary())
    , gdi_(&gdi::systemGdi())
{
    form.setCaption("Preview & Save Inventor Images");
    form.setClientSize(ClientWidthTwips, ClientHeightTwips);
    Picture1->setPicture(form.placeholder());

    optSave->setValue(true);
    for (const char* type : {".bmp", ".wmf", ".jpg"})
        FileType->AddItem(type);
    FileType->setListIndex(0);
    for (const char* size : {"96", "120", "240"})
        PicSize->AddItem(size);
    PicSize->setListIndex(2);

    cmdOpen->Click = [this] { cmdOpen_Click(); };
    cmdSave->Click = [this] { cmdSave_Click(); };
    cmdExit->Click = [this] { cmdExit_Click(); };
    optMulti->Click = [this] { optMulti_Click(); };
    optSave->Click = [this] { optSave_Click(); };
    PicSize->Click = [this] { PicSize_Click(); };
}

frmSavePreview::~frmSavePreview() = default;

void frmSavePreview::optMulti_Click()
{
    if (optMulti->Value()) {
        cmdOpen->setCaption("Save Mult");
        cmdSave->setEnabled(false);
    }
}

void frmSavePreview::optSave_Click()
{
    // Save stays as it is: only opening a document with a preview enables it.
    if (optSave->Value())
        cmdOpen->setCaption("File Select");
}

void frmSavePreview::cmdExit_Click()
{
    exitHandler_();
}

void frmSavePreview::PicSize_Click()
{
    // The box is what an export running meanwhile is saving.
    if (busy_)
        return;
    const float size = leadingNumber(PicSize->Text());
    picPreview->setWidthTwips(static_cast<int>(static_cast<double>(size) * ui::PictureBox::TwipsPerPixel));
    picPreview->setHeightTwips(static_cast<int>(static_cast<double>(size) * ui::PictureBox::TwipsPerPixel));
}

void frmSavePreview::configureOpenDialog(long flags)
{
    CommonDialog1.Flags = flags;
    CommonDialog1.Filter = OpenFilter;
    CommonDialog1.FilterIndex = 2;
    CommonDialog1.FileName.clear();
}

DocumentServer& frmSavePreview::documentServer()
{
    if (!moDocServer)
        moDocServer = components_.createDocumentServer();
    return *moDocServer;
}

void frmSavePreview::cmdOpen_Click()
{
    if (busy_)
        return;
    if (optMulti->Value()) {
        SaveMultipleFiles();
        return;
    }
    const ValueRollback busy(busy_, true);
    configureOpenDialog(CommonDialog::Explorer);
    CommonDialog1.CancelError = false;
    CommonDialog1.ShowOpen();
    openDocument(CommonDialog1.FileName);
}

void frmSavePreview::open(const std::string& document)
{
    if (busy_ || document.empty())
        return;
    const ValueRollback busy(busy_, true);
    // As the open dialog returns a document: its full path, with the folder
    // made the current one.
    const std::string folder = folderOf(document);
    if (isFolder(folder))
        setCurrentFolder(folder);
    openDocument(absolutePath(document));
}

void frmSavePreview::openDocument(const std::string& path)
{
    msFile = path;
    if (msFile.empty())
        return;

    try {
        moPropReader = components_.createPropertyReader();
        moDocument = documentServer().OpenDocument(msFile);
    } catch (const RuntimeError& e) {
        openFailed(e.reason());
        return;
    } catch (const FormatError& e) {
        openFailed(e.what());
        return;
    }

    ErrorRecord errors;
    const FetchedPreview fetched = fetchPreview(moDocument.get(), msFile, [this] { return moPropReader.get(); }, moPropSet);
    errors.step([&] { picPreview->setPicture(requirePicture(fetched)); });
    errors.step([&] {
        if (!moDocument)
            throw RuntimeError(RuntimeError::ObjectNotSet, "Object variable not set");
        FileName->setCaption(moDocument->DisplayName());
    });

    if (errors.isSet()) {
        errors.clear();
        errors.step([&] { cmdSave->setEnabled(false); });
        errors.step([&] { picPreview->setPicture(Picture1->picture()); });
    } else {
        errors.step([&] { cmdSave->setEnabled(true); });
        errors.step([&] { msFile = basePath(msFile); });
    }
    if (errors.isSet()) {
        errors.clear();
        return;
    }
    moDocument.reset();
    moDocServer->CloseAll();
}

void frmSavePreview::openFailed(const std::string& reason)
{
    // The document could not be opened at all: say why, then treat it like a
    // document without a preview.
    fail("Cannot open \"" + nativeSeparators(msFile) + "\": " + reason);
    moDocument.reset();
    cmdSave->setEnabled(false);
    picPreview->setPicture(Picture1->picture());
    FileName->setCaption(fileNameOf(msFile));
}

void frmSavePreview::notify(const std::string& text)
{
    messages_.show(text, MessageBox::applicationTitle(), MessageBox::Icon::Information);
}

void frmSavePreview::fail(const std::string& text)
{
    messages_.show(text, MessageBox::applicationTitle(), MessageBox::Icon::Exclamation);
}

} // namespace glimmer
