#include "Progress.h"

#include <QProgressDialog>

namespace glimmer {

QtProgress::~QtProgress()
{
    delete dialog_;
}

void QtProgress::start(int total)
{
    delete dialog_;
    dialog_ = new QProgressDialog(QStringLiteral("Saving previews..."), QStringLiteral("Cancel"), 0, total, parent_);
    dialog_->setWindowTitle(QStringLiteral("Glimmerbox"));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(500);
    dialog_->setValue(0);
}

bool QtProgress::advance(int done, const QString& current)
{
    if (!dialog_)
        return true;
    dialog_->setLabelText(QStringLiteral("%1 of %2: %3").arg(done + 1).arg(dialog_->maximum()).arg(current));
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
