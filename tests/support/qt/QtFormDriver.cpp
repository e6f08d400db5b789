// The window's form over Qt, driven as a user drives it: QTest's clicks and
// keys to the widgets of the controls' names.
#include "app/qt/QtForm.h"
#include "platform/qt/Controls.h"
#include "platform/qt/PictureBox.h"
#include "tests/support/window/FormDriver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <stdexcept>

namespace glimmer::test {

namespace {

class QtFormDriver final : public FormDriver {
public:
    ui::Form& form() override { return form_; }
    void show() override { form_.show(); }

    void click(const char* control) override { QTest::mouseClick(find<QAbstractButton>(control), Qt::LeftButton); }

    void pick(const char* combo, int index) override
    {
        auto* box = find<ComboBox>(combo);
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect r = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        if (view->isVisible())
            box->hidePopup();
    }

    void type(const char* combo, const std::string& text) override
    {
        QLineEdit* edit = find<ComboBox>(combo)->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, QString::fromStdString(text));
    }

    std::string text(const char* control) override
    {
        QWidget* w = find<QWidget>(control);
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text().toStdString();
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text().toStdString();
        if (auto* c = qobject_cast<QComboBox*>(w))
            return c->currentText().toStdString();
        throw std::logic_error(std::string(control) + " has no text");
    }
    bool isEnabled(const char* control) override { return find<QWidget>(control)->isEnabled(); }
    bool isChecked(const char* option) override { return find<QAbstractButton>(option)->isChecked(); }
    Picture picture(const char* box) override { return find<PictureBox>(box)->picture(); }
    Size pixelSize(const char* box) override
    {
        const QSize size = find<PictureBox>(box)->size();
        return {size.width(), size.height()};
    }
    Image image(const char* box) override { return find<PictureBox>(box)->image(); }

private:
    template <typename T>
    T* find(const char* name)
    {
        T* control = form_.findChild<T*>(QLatin1String(name));
        if (!control)
            throw std::logic_error(std::string("the window has no control ") + name);
        return control;
    }

    QtForm form_;
};

} // namespace

std::unique_ptr<FormDriver> makeFormDriver()
{
    return std::make_unique<QtFormDriver>();
}

} // namespace glimmer::test
