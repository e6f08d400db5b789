// The Save command, the JPEG export and the batch run of the window.
#include "app/frmSavePreview.h"

#include "imaging/Helpers.h"
#include "imaging/cDIBSection.h"
#include "platform/Checked.h"
#include "platform/ErrorRecord.h"
#include "platform/Runtime.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "preview/OutputFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSet>
#include <QThread>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace glimmer {

namespace {

const std::string SaveFilter = "Wimdows Bitmap(*.bmp)|*.bmp|Windows Meta File(*.wmf)|*.wmf|JPEG(*.jpg)|*.jpg";

// The temporary bitmap of the JPEG export, in the current directory.
const QString TempBitmapName = QStringLiteral("~TempBmpJpgImage.bmp");

// How many failed saves a batch names in its report.
constexpr int NamedFailures = 5;

bool isType(const QString& extension, QLatin1StringView type)
{
    return extension.compare(type, Qt::CaseInsensitive) == 0;
}

// Whether a name ends in one of the three picture extensions, in any case.
bool hasPictureExtension(const QString& name)
{
    const QString last = name.right(4);
    return isType(last, QLatin1StringView(".bmp")) || isType(last, QLatin1StringView(".wmf"))
           || isType(last, QLatin1StringView(".jpg"));
}

// The extension of the type picked in the dialog ("*.jpg" gives ".jpg"), or
// `otherwise` when it has none picked.
QString pickedType(const CommonDialog& dialog, const QString& otherwise)
{
    const auto pairs = CommonDialog::filterPairs(dialog.Filter);
    if (dialog.FilterIndex < 1 || static_cast<std::size_t>(dialog.FilterIndex) > pairs.size())
        return otherwise;
    return QString::fromStdString(pairs[static_cast<std::size_t>(dialog.FilterIndex) - 1].pattern.substr(1));
}

// Disables `controls` until the guard ends, then gives each its state back.
auto inputRefused(std::initializer_list<QWidget*> controls)
{
    std::vector<std::pair<QWidget*, bool>> states;
    for (QWidget* control : controls) {
        states.emplace_back(control, control->isEnabled());
        control->setEnabled(false);
    }
    return qScopeGuard([states = std::move(states)] {
        for (const auto& [control, enabled] : states)
            control->setEnabled(enabled);
    });
}

} // namespace

void frmSavePreview::cmdSave_Click()
{
    if (busy_)
        return;
    const QScopedValueRollback busy(busy_, true);
    QString file = msFile;
    QString type = FileType->currentText();
    if (!msFile.isEmpty() && optSave->isChecked()) {
        CommonDialog1.Flags = CommonDialog::Explorer;
        CommonDialog1.Filter = SaveFilter;
        CommonDialog1.FilterIndex = checked::add<std::int16_t>(checked::narrow<std::int16_t>(FileType->ListIndex()), 1);
        CommonDialog1.FileName = msFile.toStdString();
        CommonDialog1.CancelError = false;
        CommonDialog1.DefaultExt = FileType->currentText().toStdString();
        CommonDialog1.ShowSave();

        const QString chosen = QString::fromStdString(CommonDialog1.FileName);
        // Cancel writes nothing and changes nothing.
        if (chosen.isEmpty())
            return;
        if (hasPictureExtension(chosen)) {
            // The name says the type, kept as typed: "part.JPG" is a JPEG file.
            type = chosen.right(4);
            file = basePath(chosen);
        } else {
            // "name.0004" or "plain": the type picked in the dialog is added.
            type = pickedType(CommonDialog1, type);
            file = chosen;
        }
    }
    msFile = file;
    msFileType = type;
    if (msFile.isEmpty()) {
        notify(QStringLiteral("Please select a file first"));
        return;
    }
    try {
        SavePreviewImage();
    } catch (const RuntimeError& e) {
        fail(QString::fromStdString(e.text()));
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    }
}

void frmSavePreview::SavePreviewImage()
{
    // The type is compared without regard to case: ".JPG" writes a JPEG file.
    if (isType(msFileType, QLatin1StringView(".bmp")))
        SavePicture(picPreview->image(), (msFile + msFileType).toStdString());
    else if (isType(msFileType, QLatin1StringView(".jpg")))
        SaveAsJPEG(msFile);
    else
        savePictureItself(msFile + msFileType);
}

void frmSavePreview::savePictureItself(const QString& path)
{
    const Picture& picture = picPreview->picture();
    // A raster picture is a bitmap in its own form; asked for ".wmf", it is
    // wrapped as a metafile like the metafile pictures.
    if (picture.kind() == Picture::Kind::Raster && !isType(msFileType, QLatin1StringView(".wmf"))) {
        SavePicture(picture.image(), path.toStdString());
        return;
    }
    Bytes placeable;
    try {
        placeable = outputFile(picture, OutputType::Wmf, 0);
    } catch (const FormatError& e) {
        throw RuntimeError(RuntimeError::InvalidPicture,
                           QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), QString::fromStdString(e.what())).toStdString());
    }
    writeWholeFile(path.toStdString(), placeable);
}

// (The base path is called FileName by the export's callers; here it must not
// hide the label of that name.)
void frmSavePreview::SaveAsJPEG(const QString& sFileName)
{
    if (sFileName.isEmpty()) {
        notify(QStringLiteral("You must save your file before outputting to JPEG"));
        return;
    }
    // The temporary file is ours to write and delete; through a link it
    // would be someone else's file, overwritten and then left behind.
    if (QFileInfo(TempBitmapName).isSymLink())
        throw RuntimeError(RuntimeError::PathFileAccess,
                           QStringLiteral("Path/File access error: \"%1\" is a symbolic link")
                               .arg(QFileInfo(TempBitmapName).absoluteFilePath())
                               .toStdString());
    SavePicture(picPreview->image(), TempBitmapName.toStdString());
    MakeJPG(sFileName);
}

void frmSavePreview::MakeJPG(const QString& sFileName)
{
    // Both yields below let other events run; no other command may start an
    // export on the same temporary file and moDib meanwhile.
    const QScopedValueRollback busy(busy_, true);

    if (!moDib)
        moDib = std::make_unique<cDIBSection>(*gdi_);

    // Whatever happens, the temporary bitmap goes and moDib is left empty.
    const auto tidy = qScopeGuard([this] {
        try {
            Kill(TempBitmapName.toStdString());
        } catch (const RuntimeError&) {
        }
        moDib->CleanUp();
    });

    // The bitmap was written just before; give the file system a moment if
    // it is not readable yet, but never wait for ever.
    QDeadlineTimer deadline(2000);
    bool loaded = moDib->Load(TempBitmapName.toStdString());
    for (int attempt = 1; !loaded && attempt < 20 && !deadline.hasExpired(); ++attempt) {
        DoEvents();
        QThread::msleep(50);
        loaded = moDib->Load(TempBitmapName.toStdString());
    }
    if (!loaded) {
        fail(QStringLiteral("The temporary bitmap \"%1\" could not be read, so no JPEG file was written.")
                           .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(TempBitmapName))));
        return;
    }

    // msFileType is ".jpg" in some case: the name stays as the user typed it.
    SaveDibAsJpeg(messages_, *moDib, (sFileName + msFileType).toStdString(), *ijl_);
    DoEvents();
}

void frmSavePreview::SaveMultipleFiles()
{
    const QScopedValueRollback busy(busy_, true);
    msFileType = FileType->currentText();
    std::int16_t withoutPreview = 0;

    configureOpenDialog(CommonDialog::AllowMultiselect);
    CommonDialog1.MaxFileSize = 32767;
    CommonDialog1.CancelError = false;
    try {
        CommonDialog1.ShowOpen();
    } catch (const RuntimeError& e) {
        msFile.clear();
        fail(QString::fromStdString(e.text()));
        return;
    }
    msFile = QString::fromStdString(CommonDialog1.FileName);
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

    // From the first document until the last message, only the progress
    // dialog's Cancel may act.
    const auto refused = inputRefused({cmdOpen, cmdSave, cmdExit, optMulti, optSave, FileType, PicSize});

    const auto count = checked::narrow<std::int16_t>(pieces.size());
    std::int16_t handled = 0;
    progress_->start(count);
    for (std::int16_t i = 0; i < count; i = checked::add<std::int16_t>(i, 1)) {
        const QString& piece = pieces[i];
        if (!progress_->advance(i, QFileInfo(piece).fileName().toStdString()))
            break;
        handled = checked::add<std::int16_t>(handled, 1);

        if (isDocumentName(piece.toStdString())) {
            errors.clear();
            bool hasPreview = errors.step([&] { moDocument = documentServer().OpenDocument(piece.toStdString()); });
            if (hasPreview) {
                const FetchedPreview fetched = fetchPreview(moDocument.get(), piece.toStdString(),
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
                    failedSaves.append({QFileInfo(piece).fileName(), QString::fromStdString(e.text())});
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
        notify(QStringLiteral("Stopped: %1 of the %2 selected items were handled; the pictures written so far are kept.")
                   .arg(handled)
                   .arg(count));
    if (withoutPreview > 0)
        notify(QString::number(withoutPreview) + QStringLiteral(" File(s) don't contain a Preview"));
    if (!renamed.isEmpty())
        notify(QStringLiteral("%1 picture(s) were named after their whole document name, because another "
                              "document of the same name came first:\n%2")
                   .arg(renamed.size())
                   .arg(renamed.join(QLatin1Char('\n'))));
    if (!failedSaves.isEmpty()) {
        QString text = QStringLiteral("%1 preview(s) could not be saved:").arg(failedSaves.size());
        for (qsizetype k = 0; k < failedSaves.size() && k < NamedFailures; ++k)
            text += QStringLiteral("\n%1: %2").arg(failedSaves[k].name, failedSaves[k].reason);
        if (failedSaves.size() > NamedFailures)
            text += QStringLiteral("\n...");
        fail(text);
    }
}

} // namespace glimmer
