#include "platform/fontchooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QVBoxLayout>

namespace platform {

const std::array<NamedColor, 16> kClassicColors = {{
    {QColor(0, 0, 0), "黒"},
    {QColor(128, 0, 0), "栗色"},
    {QColor(0, 128, 0), "緑"},
    {QColor(128, 128, 0), "オリーブ"},
    {QColor(0, 0, 128), "紺"},
    {QColor(128, 0, 128), "紫"},
    {QColor(0, 128, 128), "青緑"},
    {QColor(128, 128, 128), "灰色"},
    {QColor(192, 192, 192), "銀色"},
    {QColor(255, 0, 0), "赤"},
    {QColor(0, 255, 0), "ライム"},
    {QColor(255, 255, 0), "黄"},
    {QColor(0, 0, 255), "青"},
    {QColor(255, 0, 255), "赤紫"},
    {QColor(0, 255, 255), "水色"},
    {QColor(255, 255, 255), "白"},
}};

namespace {

// Qt tells fonts of one name from different foundries apart as "Name [foundry]"; the font
// list shows the name alone.
QString withoutFoundry(QString family) {
    if (family.endsWith(u']')) {
        const qsizetype open = family.lastIndexOf(u" [");
        if (open > 0) family.truncate(open);
    }
    return family;
}

}  // namespace

FontChooser::FontChooser(QWidget* owner, qint32 flags) : QDialog(owner) {
    setWindowTitle(QStringLiteral("フォント"));
    auto* layout = new QVBoxLayout(this);

    fonts_ = new QFontDialog(this);
    fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fonts_->setWindowFlags(Qt::Widget);
    fonts_->setSizeGripEnabled(false);
    fonts_->layout()->setContentsMargins(0, 0, 0, 0);
    fonts_->setVisible(true);
    // The desktop's own font, with its real style name: Qt would guess a style by weight and
    // may land on an oblique one.
    const QFontInfo desktop(font());
    QFont start(desktop.family(), desktop.pointSize());
    start.setStyleName(desktop.styleName());
    fonts_->setCurrentFont(start);
    // Enter in its lists or Escape would close only the embedded part.
    connect(fonts_, &QDialog::accepted, this, &QDialog::accept);
    connect(fonts_, &QDialog::rejected, this, &QDialog::reject);
    layout->addWidget(fonts_);

    sample_ = fonts_->findChild<QLineEdit*>(QStringLiteral("qt_fontDialog_sampleEdit"));
    for (QLineEdit* edit : fonts_->findChildren<QLineEdit*>()) {
        if (qobject_cast<const QIntValidator*>(edit->validator())) sizeEdit_ = edit;
    }
    if (sizeEdit_) {
        auto* validator = new QDoubleValidator(1, 512, 1, sizeEdit_);
        validator->setNotation(QDoubleValidator::StandardNotation);
        sizeEdit_->setValidator(validator);
        // Runs after Qt's own handler, which knows whole sizes only.
        connect(sizeEdit_, &QLineEdit::textChanged, this, [this] {
            if (typedSize() > 0) lastTypedSize_ = typedSize();
            showTypedSize();
        });
        // A new family or style makes Qt rewrite the size from its whole-number copy.
        connect(fonts_, &QFontDialog::currentFontChanged, this, [this] {
            if (typedSize() <= 0 && lastTypedSize_ > 0)
                sizeEdit_->setText(locale().toString(lastTypedSize_));
            else
                showTypedSize();
        });
    }

    if (flags & kFontFlagEffects) {
        colors_ = new QComboBox(this);
        for (const NamedColor& c : kClassicColors) {
            QPixmap swatch(16, 16);
            swatch.fill(c.color);
            colors_->addItem(QIcon(swatch), QString::fromUtf8(c.name), c.color);
        }
        connect(colors_, &QComboBox::currentIndexChanged, this, [this] {
            if (!sample_) return;
            QPalette palette = sample_->palette();
            palette.setColor(QPalette::Text, colors_->currentData().value<QColor>());
            sample_->setPalette(palette);
        });
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(QStringLiteral("色(&C):"), this);
        label->setBuddy(colors_);
        row->addWidget(label);
        row->addWidget(colors_);
        row->addStretch();
        // With underline and strikeout, where the effects are.
        auto* effects = fonts_->findChild<QCheckBox*>();
        auto* effectsLayout =
            effects ? qobject_cast<QBoxLayout*>(effects->parentWidget()->layout()) : nullptr;
        if (effectsLayout)
            effectsLayout->addLayout(row);
        else
            layout->addLayout(row);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

double FontChooser::typedSize() const {
    if (!sizeEdit_) return 0;
    bool ok = false;
    double size = locale().toDouble(sizeEdit_->text(), &ok);
    if (!ok) size = QLocale::c().toDouble(sizeEdit_->text(), &ok);
    return ok && size > 0 ? size : 0;
}

void FontChooser::showTypedSize() {
    const double size = typedSize();
    if (!sample_ || size <= 0) return;
    QFont font = sample_->font();
    font.setPointSizeF(size);
    sample_->setFont(font);
}

FontChoice FontChooser::choice() const {
    const QFont font = fonts_->currentFont();
    const double typed = typedSize();
    FontChoice c;
    c.name = withoutFoundry(font.family());
    c.size = static_cast<float>(typed > 0 ? typed : font.pointSizeF());
    c.bold = font.bold();
    c.italic = font.italic();
    c.underline = font.underline();
    c.strikethrough = font.strikeOut();
    c.color = colors_ ? toColorRef(colors_->currentData().value<QColor>()) : 0;
    return c;
}

}  // namespace platform
