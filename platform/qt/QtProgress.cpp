#include "platform/qt/QtProgress.h"

#include <QProgressDialog>

namespace glimmer {

namespace {

// A progress dialog that can be shown at once, as if its minimum duration
// had passed: only then does it let its Cancel act while the run goes on.
class ProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    void showNow() { forceShow(); }
};

} // namespace

QtProgress::~QtProgress()
{
    delete dialog_;
}

void QtProgress::start(int total)
{
    delete dialog_;
    auto* dialog = new ProgressDialog(QStringLiteral("Saving previews..."), QStringLiteral("Cancel"), 0, total, parent_);
    dialog_ = dialog;
    dialog_->setWindowTitle(QStringLiteral("Glimmerbox"));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setValue(0);
    // Shown from the first document, however short the run: until it ends,
    // its Cancel is the only thing in the window that acts.
    dialog->showNow();
}

bool QtProgress::advance(int done, const std::string& current)
{
    if (!dialog_)
        return true;
    dialog_->setLabelText(QStringLiteral("%1 of %2: %3").arg(done + 1).arg(dialog_->maximum()).arg(QString::fromStdString(current)));
    dialog_->setValue(done);
    return !dialog_->wasCanceled();
}

void QtProgress::finish()
{
    if (dialog_) {
        dialog_->setValue(dialog_->maximum());
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
}

} // namespace glimmer
