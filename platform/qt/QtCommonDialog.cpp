#include "platform/qt/QtCommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>

namespace glimmer {

namespace {

struct QtFilterPair {
    QString description;
    QString pattern;
};

// The extension a pattern such as "*.jpg" stands for, without its dot; empty
// for "*.*" and patterns of several types.
QString suffixOf(const QString& pattern)
{
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.contains(QLatin1Char(';')))
        return {};
    const QString suffix = pattern.mid(2);
    return suffix.contains(QLatin1Char('*')) || suffix.contains(QLatin1Char('?')) ? QString() : suffix;
}

} // namespace

std::optional<std::vector<std::string>> QtCommonDialog::run(Mode mode)
{
    QFileDialog dialog(parent_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (mode == Mode::Open)
        dialog.setFileMode((Flags & AllowMultiselect) ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    else
        dialog.setFileMode(QFileDialog::AnyFile);

    QList<QtFilterPair> pairs;
    for (const FilterPair& pair : filterPairs(Filter))
        pairs.append({QString::fromStdString(pair.description), QString::fromStdString(pair.pattern)});
    QStringList nameFilters;
    for (const QtFilterPair& pair : pairs) {
        QString patterns = pair.pattern;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        nameFilters << QStringLiteral("%1 (%2)").arg(pair.description, patterns);
    }
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        if (FilterIndex >= 1 && FilterIndex <= nameFilters.size())
            dialog.selectNameFilter(nameFilters[FilterIndex - 1]);
    }
    if (!DefaultExt.empty()) {
        QString suffix = QString::fromStdString(DefaultExt);
        if (suffix.startsWith(QLatin1Char('.')))
            suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
    }
    if (!FileName.empty()) {
        const QFileInfo start(QString::fromStdString(FileName));
        if (start.isDir()) {
            dialog.setDirectory(start.absoluteFilePath());
        } else {
            dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        }
    }

    // The name as typed, and as it was before its last change.
    QLineEdit* nameEdit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QString name = nameEdit ? nameEdit->text() : QString();
    QString nameBefore = name;
    if (mode == Mode::Save && nameEdit) {
        QObject::connect(nameEdit, &QLineEdit::textChanged, &dialog, [&](const QString& text) {
            nameBefore = name;
            name = text;
        });
        // As on every desktop, a type picked from the list is the extension
        // of a name typed without one, and replaces the extension of a name
        // typed with one. Qt takes whatever follows the last dot for the
        // extension: "name.0004" gets back its revision number, and the
        // picked type is added to it on saving.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& picked) {
            const qsizetype index = nameFilters.indexOf(picked);
            const QString suffix = index >= 0 ? suffixOf(pairs[index].pattern) : QString();
            if (suffix.isEmpty())
                return;
            dialog.setDefaultSuffix(suffix);
            const QString replaced = QFileInfo(nameBefore).suffix();
            const bool wasType = std::any_of(pairs.begin(), pairs.end(), [&](const QtFilterPair& pair) {
                return suffixOf(pair.pattern).compare(replaced, Qt::CaseInsensitive) == 0;
            });
            if (name != nameBefore && !replaced.isEmpty() && !wasType
                && name == nameBefore.chopped(replaced.size()) + suffix)
                nameEdit->setText(nameBefore);
        });
    }

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    FilterIndex = static_cast<int>(nameFilters.indexOf(dialog.selectedNameFilter())) + 1;
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles())
        files.push_back(file.toStdString());
    return files;
}

} // namespace glimmer
