// The Save command, the JPEG export and the batch run of the window.
#include "app/frmSavePreview.h"

#include "imaging/Helpers.h"
#include "imaging/cDIBSection.h"
#include "platform/Checked.h"
#include "platform/ErrorRecord.h"
#include "platform/Runtime.h"
#include "preview/Fetch.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <array>
#include <cstdint>

namespace glimmer {

namespace {

const QString SaveFilter =
    QStringLiteral("Wimdows Bitmap(*.bmp)|*.bmp|Windows Meta File(*.wmf)|*.wmf|JPEG(*.jpg)|*.jpg");

const std::array<QString, 5> DocumentExtensions = {QStringLiteral(".IPT"), QStringLiteral(".IAM"),
                                                   QStringLiteral(".IDW"), QStringLiteral(".IPN"),
                                                   QStringLiteral(".IDE")};

// How many failed saves a batch names in its report.
constexpr int NamedFailures = 5;

} // namespace

void frmSavePreview::cmdSave_Click()
{
    if (busy_)
        return;
    BusyScope busy(busy_);
    msFileType = FileType->currentText();
    if (!msFile.isEmpty() && optSave->isChecked()) {
        CommonDialog1.Flags = CommonDialog::Explorer;
        CommonDialog1.Filter = SaveFilter;
        CommonDialog1.FilterIndex = checked::add<std::int16_t>(checked::narrow<std::int16_t>(FileType->ListIndex()), 1);
        CommonDialog1.FileName = msFile;
        CommonDialog1.CancelError = false;
        CommonDialog1.DefaultExt = FileType->currentText();
        CommonDialog1.ShowSave();

        const QString chosen = CommonDialog1.FileName;
        if (!chosen.isEmpty()) {
            msFile = chosen;
            msFileType = chosen.right(4);
            msFile = basePath(chosen);
        } else {
            msFileType = FileType->currentText();
        }
    }
    if (msFile.isEmpty()) {
        messages_.show(QStringLiteral("Please select a file first"));
        return;
    }
    try {
        SavePreviewImage();
    } catch (const RuntimeError& e) {
        messages_.show(e.text(), MessageBox::applicationTitle(), MessageBox::Icon::Critical);
    } catch (const std::exception& e) {
        messages_.show(QString::fromLocal8Bit(e.what()), MessageBox::applicationTitle(), MessageBox::Icon::Critical);
    }
}

void frmSavePreview::SavePreviewImage()
{
    // The type is compared exactly: ".JPG" is not ".jpg".
    if (msFileType == QLatin1String(".bmp"))
        SavePicture(picPreview->image(), msFile + msFileType);
    else if (msFileType == QLatin1String(".jpg"))
        SaveAsJPEG(msFile);
    else
        savePictureItself(msFile + msFileType);
}

void frmSavePreview::savePictureItself(const QString& path)
{
    const Picture& picture = picPreview->picture();
    // A raster picture is a bitmap in its own form; asked for ".wmf", it is
    // wrapped as a metafile like the metafile pictures.
    if (picture.kind() == Picture::Kind::Raster && msFileType != QLatin1String(".wmf")) {
        SavePicture(picture.image(), path);
        return;
    }
    QByteArray placeable;
    try {
        placeable = picture.placeableMetafile();
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.number(), QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), e.reason()));
    }
    writeFileAtomically(path, {reinterpret_cast<const std::byte*>(placeable.constData()),
                               static_cast<std::size_t>(placeable.size())});
}

// (The base path is called FileName by the export's callers; here it must not
// hide the label of that name.)
void frmSavePreview::SaveAsJPEG(const QString& sFileName)
{
    if (sFileName.isEmpty()) {
        messages_.show(QStringLiteral("You must save your file before outputting to JPEG"));
        return;
    }
    SavePicture(picPreview->image(), TempBitmapName);
    MakeJPG(sFileName);
}

void frmSavePreview::MakeJPG(const QString& sFileName)
{
    // Both yields below let other events run; no other command may start an
    // export on the same temporary file and moDib meanwhile.
    BusyScope busy(busy_);

    if (!moDib)
        moDib = std::make_unique<cDIBSection>();

    // Whatever happens, the temporary bitmap goes and moDib is left empty.
    struct Tidy {
        cDIBSection& dib;
        ~Tidy()
        {
            try {
                Kill(TempBitmapName);
            } catch (const RuntimeError&) {
            }
            dib.CleanUp();
        }
    } tidy{*moDib};

    // The bitmap was written just before; give the file system a moment if
    // it is not readable yet, but never wait for ever.
    QDeadlineTimer deadline(2000);
    bool loaded = moDib->Load(TempBitmapName);
    for (int attempt = 1; !loaded && attempt < 20 && !deadline.hasExpired(); ++attempt) {
        DoEvents();
        QThread::msleep(50);
        loaded = moDib->Load(TempBitmapName);
    }
    if (!loaded) {
        messages_.show(QStringLiteral("The temporary bitmap \"%1\" could not be read, so no JPEG file was written.")
                           .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(TempBitmapName))));
        return;
    }

    SaveDibAsJpeg(messages_, *moDib, sFileName + QStringLiteral(".jpg"), *ijl_);
    DoEvents();
}

void frmSavePreview::SaveMultipleFiles()
{
    BusyScope busy(busy_);
    msFileType = FileType->currentText();
    std::int16_t withoutPreview = 0;

    configureOpenDialog(CommonDialog::AllowMultiselect);
    CommonDialog1.MaxFileSize = 32767;
    CommonDialog1.CancelError = false;
    try {
        CommonDialog1.ShowOpen();
    } catch (const RuntimeError& e) {
        msFile.clear();
        messages_.show(e.text());
        return;
    }
    msFile = CommonDialog1.FileName;
    if (msFile.isEmpty())
        return;

    // The folder, then the bare names, separated by NUL; or one full path.
    const QStringList pieces = msFile.split(QChar(u'\0'));
    struct Failure {
        QString name;
        QString reason;
    };
    QList<Failure> failedSaves;
    QSet<QString> written;   // the pictures this run has written
    QStringList renamed;
    ErrorRecord errors;

    const auto count = checked::narrow<std::int16_t>(pieces.size());
    std::int16_t handled = 0;
    progress_->start(count);
    for (std::int16_t i = 0; i < count; i = checked::add<std::int16_t>(i, 1)) {
        const QString& piece = pieces[i];
        if (!progress_->advance(i, QFileInfo(piece).fileName()))
            break;
        handled = checked::add<std::int16_t>(handled, 1);

        const QString extension = piece.right(4).toUpper();
        if (std::find(DocumentExtensions.begin(), DocumentExtensions.end(), extension) != DocumentExtensions.end()) {
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
            const QString output = QFileInfo(msFile + msFileType).absoluteFilePath();
            const bool nameTaken = hasPreview && written.contains(output);
            if (nameTaken)
                msFile = piece;
            // A document without a preview gets no picture: the box still
            // shows the one before, which is not this document's.
            if (hasPreview) {
                try {
                    SavePreviewImage();
                    written.insert(QFileInfo(msFile + msFileType).absoluteFilePath());
                    if (nameTaken)
                        renamed.append(QFileInfo(piece).fileName() + msFileType);
                } catch (const RuntimeError& e) {
                    failedSaves.append({QFileInfo(piece).fileName(), e.text()});
                } catch (const std::exception& e) {
                    failedSaves.append({QFileInfo(piece).fileName(), QString::fromLocal8Bit(e.what())});
                }
            }
        }
        errors.step([&] { documentServer().CloseAll(); });
        moDocument.reset();
    }
    progress_->finish();

    if (handled < count)
        messages_.show(QStringLiteral("Stopped: %1 of the %2 selected items were handled; the pictures written so far are kept.")
                           .arg(handled)
                           .arg(count));
    if (withoutPreview > 0)
        messages_.show(QString::number(withoutPreview) + QStringLiteral(" File(s) don't contain a Preview"));
    if (!renamed.isEmpty())
        messages_.show(QStringLiteral("%1 picture(s) were named after their whole document name, because another "
                                      "document of the same name came first:\n%2")
                           .arg(renamed.size())
                           .arg(renamed.join(QLatin1Char('\n'))),
                       MessageBox::applicationTitle(), MessageBox::Icon::Information);
    if (!failedSaves.isEmpty()) {
        QString text = QStringLiteral("%1 preview(s) could not be saved:").arg(failedSaves.size());
        for (qsizetype k = 0; k < failedSaves.size() && k < NamedFailures; ++k)
            text += QStringLiteral("\n%1: %2").arg(failedSaves[k].name, failedSaves[k].reason);
        if (failedSaves.size() > NamedFailures)
            text += QStringLiteral("\n...");
        messages_.show(text, MessageBox::applicationTitle(), MessageBox::Icon::Exclamation);
    }
}

} // namespace glimmer
