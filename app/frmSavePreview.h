#pragma once

#include "imaging/IJL.h"
#include "platform/CommonDialog.h"
#include "platform/Controls.h"
#include "platform/MessageBox.h"
#include "platform/PictureBox.h"
#include "platform/Progress.h"
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
// components from outside, so that nothing in it blocks a test.
class frmSavePreview : public QWidget {
    Q_OBJECT
public:
    frmSavePreview(CommonDialog& dialog, MessageBox& messages, Components& components,
                   QWidget* parent = nullptr);
    ~frmSavePreview() override;

    // What Exit does; by default the process ends at once.
    void setExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }
    // Where a batch run shows its progress; by default a progress dialog.
    void setProgress(Progress& progress) { progress_ = &progress; }
    // The JPEG library the export encodes with; by default the real one.
    void setJpegLibrary(const IjlFunctions& ijl) { ijl_ = &ijl; }

    // Writes what the preview box shows to msFile & msFileType.
    void SavePreviewImage();
    // The JPEG export: the box's image through a temporary bitmap into the
    // base path & ".jpg".
    void SaveAsJPEG(const QString& sFileName);
    void MakeJPG(const QString& sFileName);

    // The temporary bitmap of the JPEG export, in the current directory.
    static inline const QString TempBitmapName = QStringLiteral("~TempBmpJpgImage.bmp");

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

    // Fields; only the handlers change them.
    std::shared_ptr<PropertyReader> moPropReader;
    std::shared_ptr<PropertySet> moPropSet;
    QString msFile;
    QString msFileType;
    std::unique_ptr<DocumentServer> moDocServer;
    std::shared_ptr<Document> moDocument;
    std::unique_ptr<cDIBSection> moDib;

    // Window geometry in twips.
    static constexpr int ClientWidthTwips = 5085;
    static constexpr int ClientHeightTwips = 4350;

private slots:
    void cmdOpen_Click();
    void cmdSave_Click();
    void cmdExit_Click();
    void optMulti_Click();
    void optSave_Click();
    void PicSize_Click();

private:
    template <typename W>
    W* place(W* widget, int left, int top, int width, int height, int tabIndex);
    void configureOpenDialog(long flags);
    DocumentServer& documentServer();
    void openFailed(const QString& reason);
    void SaveMultipleFiles();
    void savePictureItself(const QString& path);

    MessageBox& messages_;
    Components& components_;
    std::function<void()> exitHandler_;
    // Commands are refused while an export or a batch runs: both yield to
    // the event loop and share the temporary bitmap and moDib.
    bool busy_ = false;
    // Sets busy_ for a scope and gives back what it was.
    class BusyScope {
    public:
        explicit BusyScope(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
        ~BusyScope() { flag_ = previous_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        bool& flag_;
        bool previous_;
    };
    std::unique_ptr<QtProgress> defaultProgress_;
    Progress* progress_;
    const IjlFunctions* ijl_;
};

} // namespace glimmer
