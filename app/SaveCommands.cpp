// The Save command, the JPEG export and the batch run of the window.
#include "app/frmSavePreview.h"

#include "imaging/Helpers.h"
#include "imaging/cDIBSection.h"
#include "platform/Checked.h"
#include "platform/ErrorRecord.h"
#include "platform/Paths.h"
#include "platform/Runtime.h"
#include "platform/ScopeExit.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "preview/OutputFile.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace glimmer {

namespace {

const std::string SaveFilter = "Wimdows Bitmap(*.bmp)|*.bmp|Windows Meta File(*.wmf)|*.wmf|JPEG(*.jpg)|*.jpg";

// The temporary bitmap of the JPEG export, in the current directory.
const std::string TempBitmapName = "~TempBmpJpgImage.bmp";

// How many failed saves a batch names in its report.
constexpr int NamedFailures = 5;

// The last four bytes of `name` (all of it when shorter).
std::string lastFour(const std::string& name)
{
    return name.size() < 4 ? name : name.substr(name.size() - 4);
}

bool isType(const std::string& extension, const char* type)
{
    return equalsIgnoringCase(extension, type);
}

// Whether a name ends in one of the three picture extensions, in any case.
bool hasPictureExtension(const std::string& name)
{
    const std::string last = lastFour(name);
    return isType(last, ".bmp") || isType(last, ".wmf") || isType(last, ".jpg");
}

// The extension of the type picked in the dialog ("*.jpg" gives ".jpg"), or
// `otherwise` when it has none picked.
std::string pickedType(const CommonDialog& dialog, const std::string& otherwise)
{
    const auto pairs = CommonDialog::filterPairs(dialog.Filter);
    if (dialog.FilterIndex < 1 || static_cast<std::size_t>(dialog.FilterIndex) > pairs.size())
        return otherwise;
    return pairs[static_cast<std::size_t>(dialog.FilterIndex) - 1].pattern.substr(1);
}

// Disables `controls` until the guard ends, then gives each its state back.
class InputRefused {
public:
    explicit InputRefused(std::initializer_list<ui::Control*> controls)
    {
        for (ui::Control* control : controls) {
            states_.emplace_back(control, control->isEnabled());
            control->setEnabled(false);
        }
    }
    ~InputRefused()
    {
        for (const auto& [control, enabled] : states_)
            control->setEnabled(enabled);
    }
    InputRefused(const InputRefused&) = delete;
    InputRefused& operator=(const InputRefused&) = delete;

private:
    std::vector<std::pair<ui::Control*, bool>> states_;
};

std::string failureText(const std::exception& e)
{
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&e))
        return runtime->text();
    return e.what();
}

} // namespace

void frmSavePreview::cmdSave_Click()
{
    if (busy_)
        return;
    const ValueRollback busy(busy_, true);
    std::string file = msFile;
    std::string type = FileType->Text();
    if (!msFile.empty() && optSave->Value()) {
        CommonDialog1.Flags = CommonDialog::Explorer;
        CommonDialog1.Filter = SaveFilter;
        CommonDialog1.FilterIndex = checked::add<std::int16_t>(checked::narrow<std::int16_t>(FileType->ListIndex()), 1);
        CommonDialog1.FileName = msFile;
        CommonDialog1.CancelError = false;
        CommonDialog1.DefaultExt = FileType->Text();
        CommonDialog1.ShowSave();

        const std::string chosen = CommonDialog1.FileName;
        // Cancel writes nothing and changes nothing.
        if (chosen.empty())
            return;
        if (hasPictureExtension(chosen)) {
            // The name says the type, kept as typed: "part.JPG" is a JPEG file.
            type = lastFour(chosen);
            file = basePath(chosen);
        } else {
            // "name.0004" or "plain": the type picked in the dialog is added.
            type = pickedType(CommonDialog1, type);
            file = chosen;
        }
    }
    msFile = file;
    msFileType = type;
    if (msFile.empty()) {
        notify("Please select a file first");
        return;
    }
    try {
        SavePreviewImage();
    } catch (const std::exception& e) {
        fail(failureText(e));
    }
}

void frmSavePreview::SavePreviewImage()
{
    // The type is compared without regard to case: ".JPG" writes a JPEG file.
    if (isType(msFileType, ".bmp"))
        SavePicture(picPreview->image(), msFile + msFileType);
    else if (isType(msFileType, ".jpg"))
        SaveAsJPEG(msFile);
    else
        savePictureItself(msFile + msFileType);
}

void frmSavePreview::savePictureItself(const std::string& path)
{
    const Picture& picture = picPreview->picture();
    // A raster picture is a bitmap in its own form; asked for ".wmf", it is
    // wrapped as a metafile like the metafile pictures.
    if (picture.kind() == Picture::Kind::Raster && !isType(msFileType, ".wmf")) {
        SavePicture(picture.image(), path);
        return;
    }
    Bytes placeable;
    try {
        placeable = outputFile(picture, OutputType::Wmf, 0);
    } catch (const FormatError& e) {
        throw RuntimeError(RuntimeError::InvalidPicture,
                           "Cannot write \"" + nativeSeparators(path) + "\": " + e.what());
    }
    writeWholeFile(path, placeable);
}

// (The base path is called FileName by the export's callers; here it must not
// hide the label of that name.)
void frmSavePreview::SaveAsJPEG(const std::string& sFileName)
{
    if (sFileName.empty()) {
        notify("You must save your file before outputting to JPEG");
        return;
    }
    // The temporary file is ours to write and delete; through a link it
    // would be someone else's file, overwritten and then left behind.
    if (isSymbolicLink(TempBitmapName))
        throw RuntimeError(RuntimeError::PathFileAccess,
                           "Path/File access error: \"" + absolutePath(TempBitmapName) + "\" is a symbolic link");
    SavePicture(picPreview->image(), TempBitmapName);
    MakeJPG(sFileName);
}

void frmSavePreview::MakeJPG(const std::string& sFileName)
{
    // Both yields below let other events run; no other command may start an
    // export on the same temporary file and moDib meanwhile.
    const ValueRollback busy(busy_, true);

    if (!moDib)
        moDib = std::make_unique<cDIBSection>(*gdi_);

    // Whatever happens, the temporary bitmap goes and moDib is left empty.
    const ScopeExit tidy([this] {
        try {
            Kill(TempBitmapName);
        } catch (const RuntimeError&) {
        }
        moDib->CleanUp();
    });

    // The bitmap was written just before; give the file system a moment if
    // it is not readable yet, but never wait for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    bool loaded = moDib->Load(TempBitmapName);
    for (int attempt = 1; !loaded && attempt < 20 && std::chrono::steady_clock::now() < deadline; ++attempt) {
        DoEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        loaded = moDib->Load(TempBitmapName);
    }
    if (!loaded) {
        fail("The temporary bitmap \"" + absolutePath(TempBitmapName)
             + "\" could not be read, so no JPEG file was written.");
        return;
    }

    // msFileType is ".jpg" in some case: the name stays as the user typed it.
    SaveDibAsJpeg(messages_, *moDib, sFileName + msFileType, *ijl_);
    DoEvents();
}

void frmSavePreview::SaveMultipleFiles()
{
    const ValueRollback busy(busy_, true);
    msFileType = FileType->Text();
    std::int16_t withoutPreview = 0;

    // The Explorer-style dialog: the old one returns its names separated
    // by spaces, so that a name holding one cannot be told apart.
    configureOpenDialog(CommonDialog::AllowMultiselect | CommonDialog::Explorer);
    CommonDialog1.MaxFileSize = 32767;
    CommonDialog1.CancelError = false;
    try {
        CommonDialog1.ShowOpen();
    } catch (const RuntimeError& e) {
        msFile.clear();
        fail(e.text());
        return;
    }
    msFile = CommonDialog1.FileName;
    if (msFile.empty())
        return;

    // The folder, then the bare names, separated by NUL; or one full path.
    std::vector<std::string> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t nul = msFile.find('\0', start);
        pieces.push_back(msFile.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
        if (nul == std::string::npos)
            break;
        start = nul + 1;
    }
    struct Failure {
        std::string name;
        std::string reason;
    };
    std::vector<Failure> failedSaves;
    std::set<std::string> written;   // the pictures this run has written
    std::vector<std::string> renamed;
    ErrorRecord errors;

    // From the first document until the last message, only the progress
    // dialog's Cancel may act.
    const InputRefused refused({cmdOpen, cmdSave, cmdExit, optMulti, optSave, FileType, PicSize});

    const auto count = checked::narrow<std::int16_t>(pieces.size());
    std::int16_t handled = 0;
    progress_->start(count);
    for (std::int16_t i = 0; i < count; i = checked::add<std::int16_t>(i, 1)) {
        const std::string& piece = pieces[static_cast<std::size_t>(i)];
        if (!progress_->advance(i, fileNameOf(piece)))
            break;
        handled = checked::add<std::int16_t>(handled, 1);

        if (isDocumentName(piece)) {
            errors.clear();
            bool hasPreview = errors.step([&] { moDocument = documentServer().OpenDocument(piece); });
            if (hasPreview) {
                const FetchedPreview fetched = fetchPreview(moDocument.get(), piece,
                                                            [this] {
                                                                moPropReader = components_.createPropertyReader();
                                                                return moPropReader.get();
                                                            },
                                                            moPropSet);
                hasPreview = errors.step([&] { picPreview->setPicture(requirePicture(fetched)); });
            }
            if (!hasPreview) {
                errors.clear();
                withoutPreview = checked::add<std::int16_t>(withoutPreview, 1);
            } else {
                errors.step([&] { (void)moDocument->Name(); });
            }
            msFile = basePath(piece);
            // Two documents of one name ("lid.ipt", "lid.idw") would both
            // write "lid.bmp": the later one keeps its own extension in the
            // name rather than overwrite a picture of this run.
            const std::string output = absolutePath(msFile + msFileType);
            const bool nameTaken = hasPreview && written.contains(output);
            if (nameTaken)
                msFile = piece;
            // A document without a preview gets no picture: the box still
            // shows the one before, which is not this document's.
            if (hasPreview) {
                try {
                    SavePreviewImage();
                    written.insert(absolutePath(msFile + msFileType));
                    if (nameTaken)
                        renamed.push_back(fileNameOf(piece) + msFileType);
                } catch (const std::exception& e) {
                    failedSaves.push_back({fileNameOf(piece), failureText(e)});
                }
            }
        }
        errors.step([&] { documentServer().CloseAll(); });
        moDocument.reset();
    }
    progress_->finish();

    if (handled < count)
        notify("Stopped: " + std::to_string(handled) + " of the " + std::to_string(count)
               + " selected items were handled; the pictures written so far are kept.");
    if (withoutPreview > 0)
        notify(std::to_string(withoutPreview) + " File(s) don't contain a Preview");
    if (!renamed.empty()) {
        std::string text = std::to_string(renamed.size())
                           + " picture(s) were named after their whole document name, because another "
                             "document of the same name came first:";
        for (const std::string& name : renamed)
            text += "\n" + name;
        notify(text);
    }
    if (!failedSaves.empty()) {
        std::string text = std::to_string(failedSaves.size()) + " preview(s) could not be saved:";
        for (std::size_t k = 0; k < failedSaves.size() && k < NamedFailures; ++k)
            text += "\n" + failedSaves[k].name + ": " + failedSaves[k].reason;
        if (failedSaves.size() > NamedFailures)
            text += "\n...";
        fail(text);
    }
}

} // namespace glimmer
