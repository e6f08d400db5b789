#include "CommonDialog.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace glimmer {

QList<CommonDialog::FilterPair> CommonDialog::filterPairs(const QString& filter)
{
    QList<FilterPair> pairs;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        pairs.append({parts[i], parts[i + 1]});
    return pairs;
}

void CommonDialog::ShowOpen()
{
    show(Mode::Open);
}

void CommonDialog::ShowSave()
{
    show(Mode::Save);
}

void CommonDialog::show(Mode mode)
{
    const std::optional<QStringList> chosen = run(mode);
    if (!chosen || chosen->isEmpty()) {
        FileName.clear();
        return;
    }

    QString result;
    const QFileInfo first(chosen->first());
    const QString folder = QDir::toNativeSeparators(first.absolutePath());
    if (chosen->size() == 1) {
        result = QDir::toNativeSeparators(first.absoluteFilePath());
    } else {
        result = folder;
        for (const QString& path : *chosen)
            result += QChar(u'\0') + QFileInfo(path).fileName();
    }

    if (mode == Mode::Open && (Flags & AllowMultiselect) && result.size() >= MaxFileSize) {
        FileName.clear();
        throw RuntimeError(BufferTooSmall,
                           QStringLiteral("The selection is too long: choose fewer files at a time."));
    }

    FileName = result;
    QDir::setCurrent(first.absolutePath());
}

std::optional<QStringList> QtCommonDialog::run(Mode mode)
{
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (mode == Mode::Open)
        dialog.setFileMode((Flags & AllowMultiselect) ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    else
        dialog.setFileMode(QFileDialog::AnyFile);

    QStringList nameFilters;
    for (const FilterPair& pair : filterPairs(Filter)) {
        QString patterns = pair.pattern;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        nameFilters << QStringLiteral("%1 (%2)").arg(pair.description, patterns);
    }
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        if (FilterIndex >= 1 && FilterIndex <= nameFilters.size())
            dialog.selectNameFilter(nameFilters[FilterIndex - 1]);
    }
    if (!DefaultExt.isEmpty()) {
        QString suffix = DefaultExt;
        if (suffix.startsWith(QLatin1Char('.')))
            suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
    }
    if (!FileName.isEmpty()) {
        const QFileInfo start(FileName);
        if (start.isDir()) {
            dialog.setDirectory(start.absoluteFilePath());
        } else {
            dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        }
    }

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedFiles();
}

} // namespace glimmer
