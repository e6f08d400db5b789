#include "app/qt/QtForm.h"

#include "platform/Runtime.h"
#include "platform/qt/Controls.h"
#include "platform/qt/PictureBox.h"
#include "platform/qt/QtImage.h"

#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace glimmer {

namespace {

// The captions' font size in pixels; see the constructor.
constexpr int CaptionPixelSize = 10;

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

template <typename Base>
class Enabling : public Base {
public:
    explicit Enabling(QWidget* widget) : widget_(widget) {}
    void setEnabled(bool enabled) override { widget_->setEnabled(enabled); }
    bool isEnabled() const override { return widget_->isEnabled(); }

private:
    QWidget* widget_;
};

class CommandButton final : public Enabling<ui::CommandButton> {
public:
    explicit CommandButton(QPushButton* button) : Enabling(button), button_(button)
    {
        QObject::connect(button, &QPushButton::clicked, button, [this] {
            if (Click)
                Click();
        });
    }
    void setCaption(const std::string& caption) override { button_->setText(qt(caption)); }
    std::string caption() const override { return button_->text().toStdString(); }

private:
    QPushButton* button_;
};

class OptionButton final : public Enabling<ui::OptionButton> {
public:
    explicit OptionButton(QRadioButton* button) : Enabling(button), button_(button)
    {
        QObject::connect(button, &QRadioButton::clicked, button, [this] {
            if (Click)
                Click();
        });
    }
    bool Value() const override { return button_->isChecked(); }
    void setValue(bool value) override { button_->setChecked(value); }

private:
    QRadioButton* button_;
};

class Label final : public Enabling<ui::Label> {
public:
    explicit Label(QLabel* label) : Enabling(label), label_(label) {}
    void setCaption(const std::string& caption) override { label_->setText(qt(caption)); }
    std::string caption() const override { return label_->text().toStdString(); }

private:
    QLabel* label_;
};

class Combo final : public Enabling<ui::ComboBox> {
public:
    explicit Combo(glimmer::ComboBox* box) : Enabling(box), box_(box)
    {
        QObject::connect(box, &glimmer::ComboBox::Click, box, [this] {
            if (Click)
                Click();
        });
    }
    void AddItem(const std::string& item) override { box_->addItem(qt(item)); }
    int ListIndex() const override { return box_->ListIndex(); }
    void setListIndex(int index) override { box_->setCurrentIndex(index); }
    std::string Text() const override { return box_->currentText().toStdString(); }

private:
    glimmer::ComboBox* box_;
};

class PictureControl final : public Enabling<ui::PictureBox> {
public:
    explicit PictureControl(glimmer::PictureBox* box) : Enabling(box), box_(box) {}
    const glimmer::Picture& picture() const override { return box_->picture(); }
    void setPicture(const glimmer::Picture& picture) override { box_->setPicture(picture); }
    int widthTwips() const override { return box_->widthTwips(); }
    int heightTwips() const override { return box_->heightTwips(); }
    void setWidthTwips(int twips) override { box_->setWidthTwips(twips); }
    void setHeightTwips(int twips) override { box_->setHeightTwips(twips); }
    Image image() const override { return box_->image(); }

private:
    glimmer::PictureBox* box_;
};

} // namespace

QtForm::QtForm(QWidget* parent) : QWidget(parent), progress_(this)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/glimmerbox/icon-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/glimmerbox/icon-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    // The layout was designed in pixels for a small 8-point font. The
    // desktop's default (9 or 10 points of a wider face) cuts "Multiple
    // Files" short; 10 pixels keeps every caption inside its control and the
    // client area, with the widest common face and on any screen.
    QFont designed = font();
    designed.setPixelSize(CaptionPixelSize);
    setFont(designed);

    setEventPump([] { QCoreApplication::processEvents(); });
}

QtForm::~QtForm() = default;

void QtForm::setCaption(const std::string& caption)
{
    setWindowTitle(qt(caption));
}

void QtForm::setClientSize(int widthTwips, int heightTwips)
{
    resize(PictureBox::twipsToPixels(widthTwips), PictureBox::twipsToPixels(heightTwips));
}

void QtForm::place(QWidget* widget, const char* name, ui::Twips twips)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(PictureBox::twipsToPixels(twips.left), PictureBox::twipsToPixels(twips.top),
                        PictureBox::twipsToPixels(twips.width), PictureBox::twipsToPixels(twips.height));
    if (lastInTabOrder_)
        QWidget::setTabOrder(lastInTabOrder_, widget);
    lastInTabOrder_ = widget;
}

template <typename Control>
Control& QtForm::keep(std::unique_ptr<Control> control)
{
    Control& kept = *control;
    controls_.push_back(std::move(control));
    return kept;
}

ui::CommandButton& QtForm::addCommandButton(const char* name, const std::string& caption, ui::Twips place)
{
    auto* button = new QPushButton(qt(caption), this);
    this->place(button, name, place);
    return keep(std::make_unique<CommandButton>(button));
}

ui::OptionButton& QtForm::addOptionButton(const char* name, const std::string& caption, ui::Twips place)
{
    auto* button = new QRadioButton(qt(caption), this);
    this->place(button, name, place);
    return keep(std::make_unique<OptionButton>(button));
}

ui::Label& QtForm::addLabel(const char* name, const std::string& caption, ui::Twips place)
{
    auto* label = new QLabel(qt(caption), this);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    this->place(label, name, place);
    return keep(std::make_unique<Label>(label));
}

ui::ComboBox& QtForm::addComboBox(const char* name, ui::Twips place)
{
    auto* box = new ComboBox(this);
    this->place(box, name, place);
    return keep(std::make_unique<Combo>(box));
}

ui::PictureBox& QtForm::addPictureBox(const char* name, ui::Twips place)
{
    auto* box = new PictureBox(this);
    box->setObjectName(QLatin1String(name));
    box->setGeometryTwips(place.left, place.top, place.width, place.height);
    this->place(box, name, place);
    return keep(std::make_unique<PictureControl>(box));
}

glimmer::Picture QtForm::placeholder()
{
    return glimmer::Picture::fromImage(fromQImage(QImage(QStringLiteral(":/glimmerbox/placeholder.jpg"))));
}

} // namespace glimmer
