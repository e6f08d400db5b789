#pragma once

#include <QComboBox>

namespace glimmer {

// A drop-down combo box with editable text whose Click is raised only when
// an entry is picked from the list (with the mouse, or the arrow keys):
// typed text, Return included, raises nothing.
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget* parent = nullptr);

    void hidePopup() override;

    // The index of the list entry the text shows; -1 for typed text that is
    // not the selected entry.
    int ListIndex() const;

signals:
    void Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the activation about to come is a pick from the list.
    bool fromList_ = false;
};

} // namespace glimmer
