#pragma once

#include <QString>

class QProgressDialog;
class QWidget;

namespace glimmer {

// Progress of a long run, with a way for the user to stop it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void start(int total) = 0;
    // `done` of the total are finished and `current` comes next; false once
    // the user has asked to stop.
    virtual bool advance(int done, const QString& current) = 0;
    virtual void finish() = 0;
};

// A progress dialog that shows itself when a run takes longer than a moment.
class QtProgress : public Progress {
public:
    explicit QtProgress(QWidget* parent = nullptr) : parent_(parent) {}
    ~QtProgress() override;

    void start(int total) override;
    bool advance(int done, const QString& current) override;
    void finish() override;

private:
    QWidget* parent_;
    QProgressDialog* dialog_ = nullptr;
};

} // namespace glimmer
