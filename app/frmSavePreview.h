#pragma once

#include "jpeg/IJL.h"
#include "platform/CommonDialog.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/MessageBox.h"
#include "platform/Progress.h"
#include "preview/Components.h"

#include <functional>
#include <memory>
#include <string>

namespace glimmer {

class cDIBSection;

// A path without its extension: the last four characters (a dot and three
// letters) cut off, whatever they are. Raises for a shorter path.
std::string basePath(const std::string& path);

// The program's only window, over whichever toolkit's form it is given. It
// takes its dialog, message box and document components from outside, so
// that nothing in it blocks a test; everything else is reached through its
// controls, which the form makes with their names ("cmdOpen", "FileType",
// "picPreview", ...). Texts and paths are UTF-8.
class frmSavePreview {
public:
    frmSavePreview(ui::Form& form, CommonDialog& dialog, MessageBox& messages, Components& components);
    ~frmSavePreview();
    frmSavePreview(const frmSavePreview&) = delete;
    frmSavePreview& operator=(const frmSavePreview&) = delete;

    // Opens `document` as File Select does when the open dialog returns it:
    // the way of a document named on the command line.
    void open(const std::string& document);

    // What Exit does; by default the process ends at once.
    void setExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }
    // Where a batch run shows its progress; by default the form's.
    void setProgress(Progress& progress) { progress_ = &progress; }
    // The JPEG library the export encodes with; by default the real one.
    void setJpegLibrary(const IjlFunctions& ijl) { ijl_ = &ijl; }
    // The graphics layer of the JPEG export's DIB section; by default the process's own.
    void setGdi(gdi::Gdi& gdi) { gdi_ = &gdi; }

private:
    void cmdOpen_Click();
    void cmdSave_Click();
    void cmdExit_Click();
    void optMulti_Click();
    void optSave_Click();
    void PicSize_Click();

    // Writes what the preview box shows to msFile & msFileType.
    void SavePreviewImage();
    // The JPEG export: the box's image through a temporary bitmap into the
    // base path & msFileType (".jpg" in any case).
    void SaveAsJPEG(const std::string& sFileName);
    void MakeJPG(const std::string& sFileName);

    void configureOpenDialog(long flags);
    // The open steps that follow the dialog, for the path it returned.
    void openDocument(const std::string& path);
    DocumentServer& documentServer();
    void openFailed(const std::string& reason);
    void SaveMultipleFiles();
    void savePictureItself(const std::string& path);
    // Messages of two kinds, each with its own icon: a notice (something to
    // know or do) and a failure (something could not be read or written).
    void notify(const std::string& text);
    void fail(const std::string& text);

    // Controls, in tab order.
    ui::PictureBox* picPreview;
    ui::CommandButton* cmdOpen;
    ui::CommandButton* cmdSave;
    ui::CommandButton* cmdExit;
    ui::OptionButton* optMulti;
    ui::OptionButton* optSave;
    ui::ComboBox* FileType;
    ui::Label* Label1;
    ui::Label* FileName;
    ui::ComboBox* PicSize;
    ui::Label* Label2;
    ui::PictureBox* Picture1;
    CommonDialog& CommonDialog1;

    // Fields.
    std::shared_ptr<PropertyReader> moPropReader;
    std::shared_ptr<PropertySet> moPropSet;
    std::string msFile;
    std::string msFileType;
    std::unique_ptr<DocumentServer> moDocServer;
    std::shared_ptr<Document> moDocument;
    std::unique_ptr<cDIBSection> moDib;

    MessageBox& messages_;
    Components& components_;
    std::function<void()> exitHandler_;
    // Commands are refused while an export or a batch runs: both yield to
    // the event loop and share the temporary bitmap and moDib.
    bool busy_ = false;
    Progress* progress_;
    const IjlFunctions* ijl_;
    gdi::Gdi* gdi_;
};

} // namespace glimmer
