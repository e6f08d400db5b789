#pragma once

#include "platform/Form.h"
#include "platform/qt/QtProgress.h"

#include <QWidget>

#include <memory>
#include <vector>

namespace glimmer {

// The window's form over Qt Widgets: each control a widget of the control's name
// (QPushButton, QRadioButton, QLabel, ComboBox, PictureBox), placed at 15
// twips to the pixel. The widgets are the form's children; the controls the
// logic holds are small objects over them, owned by the form.
class QtForm : public QWidget, public ui::Form {
public:
    explicit QtForm(QWidget* parent = nullptr);
    ~QtForm() override;

    void setCaption(const std::string& caption) override;
    void setClientSize(int widthTwips, int heightTwips) override;
    ui::CommandButton& addCommandButton(const char* name, const std::string& caption, ui::Twips place) override;
    ui::OptionButton& addOptionButton(const char* name, const std::string& caption, ui::Twips place) override;
    ui::Label& addLabel(const char* name, const std::string& caption, ui::Twips place) override;
    ui::ComboBox& addComboBox(const char* name, ui::Twips place) override;
    ui::PictureBox& addPictureBox(const char* name, ui::Twips place) override;
    Picture placeholder() override;
    Progress& progress() override { return progress_; }

private:
    template <typename Control>
    Control& keep(std::unique_ptr<Control> control);
    void place(QWidget* widget, const char* name, ui::Twips twips);

    std::vector<std::unique_ptr<ui::Control>> controls_;
    QWidget* lastInTabOrder_ = nullptr;
    QtProgress progress_;
};

} // namespace glimmer
