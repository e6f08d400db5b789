#pragma once

#include "platform/Progress.h"

class QProgressDialog;
class QWidget;

namespace glimmer {

// A progress dialog that shows itself when a run takes longer than a moment.
class QtProgress : public Progress {
public:
    explicit QtProgress(QWidget* parent = nullptr) : parent_(parent) {}
    ~QtProgress() override;

    void start(int total) override;
    bool advance(int done, const std::string& current) override;
    void finish() override;

private:
    QWidget* parent_;
    QProgressDialog* dialog_ = nullptr;
};

} // namespace glimmer
