#include "frmSavePreview.h"

#include "imaging/cDIBSection.h"
#include "preview/Fetch.h"
#include "platform/ErrorRecord.h"
#include "platform/Runtime.h"
#include "platform/qt/QtImage.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QScopedValueRollback>

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

// The captions' font size in pixels; see the constructor.
constexpr int CaptionPixelSize = 10;

int px(int twips)
{
    return PictureBox::twipsToPixels(twips);
}

void place(QWidget* widget, const char* name, int left, int top, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

} // namespace

QString basePath(const QString& path)
{
    if (path.size() < 4)
        throw RuntimeError(5, "Invalid procedure call or argument");
    return path.left(path.size() - 4);
}

frmSavePreview::frmSavePreview(CommonDialog& dialog, MessageBox& messages, Components& components,
                               QWidget* parent)
    : QWidget(parent)
    , picPreview(new PictureBox(this))
    , cmdOpen(new QPushButton(QStringLiteral("File Select"), this))
    , cmdSave(new QPushButton(QStringLiteral("Save"), this))
    , cmdExit(new QPushButton(QStringLiteral("Exit"), this))
    , optMulti(new QRadioButton(QStringLiteral("Multiple Files"), this))
    , optSave(new QRadioButton(QStringLiteral("Single File"), this))
    , FileType(new ComboBox(this))
    , Label1(new QLabel(QStringLiteral("Image Type"), this))
    , FileName(new QLabel(QStringLiteral("No File Selected"), this))
    , PicSize(new ComboBox(this))
    , Label2(new QLabel(QStringLiteral("Size"), this))
    , Picture1(new PictureBox(this))
    , CommonDialog1(dialog)
    , messages_(messages)
    , components_(components)
    , exitHandler_([] { std::_Exit(0); })
    , defaultProgress_(std::make_unique<QtProgress>(this))
    , progress_(defaultProgress_.get())
    , ijl_(&ijlLibrary())
    , gdi_(&gdi::systemGdi())
{
    setEventPump([] { QCoreApplication::processEvents(); });
    setObjectName(QStringLiteral("frmSavePreview"));
    setWindowTitle(QStringLiteral("Preview & Save Inventor Images"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/glimmerbox/icon-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/glimmerbox/icon-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    resize(px(ClientWidthTwips), px(ClientHeightTwips));

    // The layout was designed in pixels for a small 8-point font. The
    // desktop's default (9 or 10 points of a wider face) cuts "Multiple
    // Files" short; 10 pixels keeps every caption inside its control and the
    // client area, with the widest common face and on any screen.
    QFont designed = font();
    designed.setPixelSize(CaptionPixelSize);
    setFont(designed);

    picPreview->setObjectName(QStringLiteral("picPreview"));
    picPreview->setGeometryTwips(0, 0, 3655, 3655);
    place(cmdOpen, "cmdOpen", 3840, 840, 1215, 495);
    place(cmdSave, "cmdSave", 3840, 1440, 1215, 495);
    place(cmdExit, "cmdExit", 3840, 3240, 1212, 492);
    place(optMulti, "optMulti", 3720, 120, 1575, 372);
    place(optSave, "optSave", 3720, 480, 1575, 255);
    place(FileType, "FileType", 4080, 2280, 855, 315);
    place(Label1, "Label1", 3960, 2040, 1215, 375);
    place(FileName, "FileName", 120, 3840, 4935, 375);
    place(PicSize, "PicSize", 4080, 2880, 855, 315);
    place(Label2, "Label2", 3960, 2640, 855, 375);
    // Lies below the designed client area: it only carries the placeholder.
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometryTwips(480, 4680, 1815, 1815);
    Picture1->setPicture(Picture::fromImage(fromQImage(QImage(QStringLiteral(":/glimmerbox/placeholder.jpg")))));

    const QList<QWidget*> order = {picPreview, cmdOpen, cmdSave, cmdExit, optMulti, optSave,
                                   FileType, Label1, FileName, PicSize, Label2, Picture1};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    optSave->setChecked(true);
    FileType->addItems({QStringLiteral(".bmp"), QStringLiteral(".wmf"), QStringLiteral(".jpg")});
    FileType->setCurrentIndex(0);
    PicSize->addItems({QStringLiteral("96"), QStringLiteral("120"), QStringLiteral("240")});
    PicSize->setCurrentIndex(2);
    FileName->setWordWrap(true);
    FileName->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(cmdOpen, &QPushButton::clicked, this, &frmSavePreview::cmdOpen_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmSavePreview::cmdSave_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmSavePreview::cmdExit_Click);
    connect(optMulti, &QRadioButton::clicked, this, &frmSavePreview::optMulti_Click);
    connect(optSave, &QRadioButton::clicked, this, &frmSavePreview::optSave_Click);
    connect(PicSize, &ComboBox::Click, this, &frmSavePreview::PicSize_Click);
}

frmSavePreview::~frmSavePreview() = default;

void frmSavePreview::optMulti_Click()
{
    if (optMulti->isChecked()) {
        cmdOpen->setText(QStringLiteral("Save Mult"));
        cmdSave->setEnabled(false);
    }
}

void frmSavePreview::optSave_Click()
{
    // Save stays as it is: only opening a document with a preview enables it.
    if (optSave->isChecked())
        cmdOpen->setText(QStringLiteral("File Select"));
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
    // The number the text begins with, as a single-precision value; 0 when none.
    const auto size = [this] {
        const QString text = PicSize->currentText().trimmed();
        qsizetype end = 0;
        while (end < text.size() && (text[end].isDigit() || (text[end] == u'.' && !text.left(end).contains(u'.'))))
            ++end;
        return static_cast<float>(text.left(end).toDouble());
    };
    picPreview->setWidthTwips(static_cast<int>(PictureBox::pixelsToTwips(size())));
    picPreview->setHeightTwips(static_cast<int>(PictureBox::pixelsToTwips(size())));
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
    if (optMulti->isChecked()) {
        SaveMultipleFiles();
        return;
    }
    const QScopedValueRollback busy(busy_, true);
    configureOpenDialog(CommonDialog::Explorer);
    CommonDialog1.CancelError = false;
    CommonDialog1.ShowOpen();
    openDocument(QString::fromStdString(CommonDialog1.FileName));
}

void frmSavePreview::open(const QString& document)
{
    if (busy_ || document.isEmpty())
        return;
    const QScopedValueRollback busy(busy_, true);
    // As the open dialog returns a document: its full path, with the folder
    // made the current one.
    const QFileInfo chosen(document);
    if (chosen.absoluteDir().exists())
        QDir::setCurrent(chosen.absolutePath());
    openDocument(QDir::toNativeSeparators(chosen.absoluteFilePath()));
}

void frmSavePreview::openDocument(const QString& path)
{
    msFile = path;
    if (msFile.isEmpty())
        return;

    try {
        moPropReader = components_.createPropertyReader();
        moDocument = documentServer().OpenDocument(msFile.toStdString());
    } catch (const RuntimeError& e) {
        openFailed(QString::fromStdString(e.reason()));
        return;
    } catch (const FormatError& e) {
        openFailed(QString::fromStdString(e.what()));
        return;
    }

    ErrorRecord errors;
    const FetchedPreview fetched =
        fetchPreview(moDocument.get(), msFile.toStdString(), [this] { return moPropReader.get(); }, moPropSet);
    errors.step([&] { picPreview->setPicture(requirePicture(fetched)); });
    errors.step([&] {
        if (!moDocument)
            throw RuntimeError(RuntimeError::ObjectNotSet, "Object variable not set");
        FileName->setText(QString::fromStdString(moDocument->DisplayName()));
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

void frmSavePreview::openFailed(const QString& reason)
{
    // The document could not be opened at all: say why, then treat it like a
    // document without a preview.
    fail(QStringLiteral("Cannot open \"%1\": %2").arg(QDir::toNativeSeparators(msFile), reason));
    moDocument.reset();
    cmdSave->setEnabled(false);
    picPreview->setPicture(Picture1->picture());
    FileName->setText(QFileInfo(msFile).fileName());
}

void frmSavePreview::notify(const QString& text)
{
    messages_.show(text.toStdString(), MessageBox::applicationTitle(), MessageBox::Icon::Information);
}

void frmSavePreview::fail(const QString& text)
{
    messages_.show(text.toStdString(), MessageBox::applicationTitle(), MessageBox::Icon::Exclamation);
}

} // namespace glimmer
