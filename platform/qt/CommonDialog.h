#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace glimmer {

// The file dialog as the window's commands use it: set the properties, call
// ShowOpen or ShowSave, read FileName. A confirmed dialog makes the chosen
// folder the process's current directory.
class CommonDialog {
public:
    // Flag values the window uses.
    static constexpr long AllowMultiselect = 0x200;
    static constexpr long Explorer = 0x80000;

    virtual ~CommonDialog() = default;

    long Flags = 0;
    // Description and pattern pairs separated by '|'.
    QString Filter;
    // In: the 1-based index of the pair to preselect; 0 or out of range
    // selects none. Out, when confirmed: the pair the user left picked.
    int FilterIndex = 0;
    // In: the initial folder and name. Out: the result; empty when cancelled.
    // A multiple selection comes back as the folder, then each bare name,
    // separated by NUL characters.
    QString FileName;
    bool CancelError = false;
    QString DefaultExt;
    // The largest result, in characters, the caller's buffer can take.
    int MaxFileSize = 260;

    void ShowOpen();
    void ShowSave();

    // The description/pattern pairs of Filter.
    struct FilterPair {
        QString description;
        QString pattern;
    };
    static QList<FilterPair> filterPairs(const QString& filter);

    // Raised by ShowOpen when a selection does not fit MaxFileSize.
    static constexpr int BufferTooSmall = 20476;

protected:
    enum class Mode { Open, Save };
    // Returns the chosen absolute paths, or nothing when cancelled.
    virtual std::optional<QStringList> run(Mode mode) = 0;

private:
    void show(Mode mode);
};

// The dialog over Qt's own QFileDialog (never the desktop's: the same
// dialog everywhere, whose saving adds the extension of the picked type to a
// name typed without one).
class QtCommonDialog : public CommonDialog {
public:
    explicit QtCommonDialog(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the dialog sits over, modal to it.
    void setParent(QWidget* parent) { parent_ = parent; }

protected:
    std::optional<QStringList> run(Mode mode) override;

private:
    QWidget* parent_;
};

} // namespace glimmer
