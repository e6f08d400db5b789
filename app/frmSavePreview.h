#pragma once

#include "platform/CommonDialog.h"
#include "platform/Controls.h"
#include "platform/MessageBox.h"
#include "platform/PictureBox.h"
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

    MessageBox& messages_;
    Components& components_;
    std::function<void()> exitHandler_;
};

} // namespace glimmer
