#pragma once

#include "jpeg/IJL.h"
#include "platform/CommonDialog.h"
#include "platform/Gdi.h"
#include "platform/MessageBox.h"
#include "platform/qt/Controls.h"
#include "platform/qt/PictureBox.h"
#include "platform/qt/QtProgress.h"
#include "preview/Components.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace glimmer {

class cDIBSection;

// A path without its extension: the last four characters (a dot and three
// letters) cut off, whatever they are. Raises for a shorter path.
QString basePath(const QString& path);

// The program's only window. It takes its dialog, message box and document
// components from outside, so that nothing in it blocks a test; everything
// else is reached through its controls, found by their names ("cmdOpen",
// "FileType", "picPreview", ...).
class frmSavePreview : public QWidget {
    Q_OBJECT
public:
    frmSavePreview(CommonDialog& dialog, MessageBox& messages, Components& components,
                   QWidget* parent = nullptr);
    ~frmSavePreview() override;

    // Opens `document` as File Select does when the open dialog returns it:
    // the way of a document named on the command line.
    void open(const QString& document);

    // What Exit does; by default the process ends at once.
    void setExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }
    // Where a batch run shows its progress; by default a progress dialog.
    void setProgress(Progress& progress) { progress_ = &progress; }
    // The JPEG library the export encodes with; by default the real one.
    void setJpegLibrary(const IjlFunctions& ijl) { ijl_ = &ijl; }
    // The graphics layer of the JPEG export's DIB section; by default the process's own.
    void setGdi(gdi::Gdi& gdi) { gdi_ = &gdi; }

private slots:
    void cmdOpen_Click();
    void cmdSave_Click();
    void cmdExit_Click();
    void optMulti_Click();
    void optSave_Click();
    void PicSize_Click();

private:
    // Writes what the preview box shows to msFile & msFileType.
    void SavePreviewImage();
    // The JPEG export: the box's image through a temporary bitmap into the
    // base path & msFileType (".jpg" in any case).
    void SaveAsJPEG(const QString& sFileName);
    void MakeJPG(const QString& sFileName);

    void configureOpenDialog(long flags);
    // The open steps that follow the dialog, for the path it returned.
    void openDocument(const QString& path);
    DocumentServer& documentServer();
    void openFailed(const QString& reason);
    void SaveMultipleFiles();
    void savePictureItself(const QString& path);
    // Messages of two kinds, each with its own icon: a notice (something to
    // know or do) and a failure (something could not be read or written).
    void notify(const QString& text);
    void fail(const QString& text);

    // Controls, in tab order.
    PictureBox* picPreview;
    QPushButton* cmdOpen;
    QPushButton* cmdSave;
    QPushButton* cmdExit;
    QRadioButton* optMulti;
    QRadioButton* optSave;
    ComboBox* FileType;
    QLabel* Label1;
    QLabel* FileName;
    ComboBox* PicSize;
    QLabel* Label2;
    PictureBox* Picture1;
    CommonDialog& CommonDialog1;

    // Fields.
    std::shared_ptr<PropertyReader> moPropReader;
    std::shared_ptr<PropertySet> moPropSet;
    QString msFile;
    QString msFileType;
    std::unique_ptr<DocumentServer> moDocServer;
    std::shared_ptr<Document> moDocument;
    std::unique_ptr<cDIBSection> moDib;

    MessageBox& messages_;
    Components& components_;
    std::function<void()> exitHandler_;
    // Commands are refused while an export or a batch runs: both yield to
    // the event loop and share the temporary bitmap and moDib.
    bool busy_ = false;
    std::unique_ptr<QtProgress> defaultProgress_;
    Progress* progress_;
    const IjlFunctions* ijl_;
    gdi::Gdi* gdi_;
};

} // namespace glimmer
