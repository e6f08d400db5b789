#pragma once

#include <QComboBox>

namespace glimmer {

// A drop-down combo box with editable text whose Click is raised only when
// an entry is picked from the list: typing (Return included) raises nothing.
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget* parent = nullptr);

    void showPopup() override;

signals:
    void Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Set from a Return in the text until the combo box has handled it.
    bool typing_ = false;
};

} // namespace glimmer
