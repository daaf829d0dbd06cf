// SPDX-License-Identifier: MIT
#include "look_dialog.h"

#include "drop_shadow.h"
#include "look_text.h"
#include "runtime_error.h"

#include "window_support.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace tollamere {
namespace {

std::string Bytes(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return {bytes.constData(), std::size_t(bytes.size())};
}

QComboBox* Choices(QWidget* owner, std::initializer_list<const char*> captions)
{
    auto* box = new QComboBox(owner);
    for (const char* caption : captions)
        box->addItem(QString::fromUtf8(caption));
    return box;
}

// A box of the look's words for the choice, each with a capital.
QComboBox* WordChoices(QWidget* owner, std::string_view choice)
{
    auto* box = new QComboBox(owner);
    for (const std::string& word : LookChoiceWords(choice)) {
        QString caption = QString::fromStdString(word);
        caption[0] = caption[0].toUpper();
        box->addItem(caption);
    }
    return box;
}

QSpinBox* Number(QWidget* owner, int highest, const QString& suffix, int lowest = 0)
{
    auto* box = new QSpinBox(owner);
    box->setRange(lowest, highest);
    box->setSuffix(suffix);
    return box;
}

} // namespace

LookDialog::LookDialog(const NamedLook& current, LookStore store, QWidget* parent)
    : QDialog(parent), store_(std::move(store))
{
    setObjectName(QStringLiteral("LookDialog"));
    looks_ = new QComboBox(this);
    looks_->setObjectName(QStringLiteral("looks"));
    auto* saveAs = new QPushButton(QStringLiteral("&Save As..."), this);
    delete_ = new QPushButton(QStringLiteral("&Delete"), this);
    auto* import = new QPushButton(QStringLiteral("&Import..."), this);
    auto* exportButton = new QPushButton(QStringLiteral("E&xport..."), this);
    auto* list = new QHBoxLayout;
    list->addWidget(looks_, 1);
    for (QPushButton* button : {saveAs, delete_, import, exportButton}) {
        button->setAutoDefault(false);
        list->addWidget(button);
    }

    technique_ = WordChoices(this, "technique");
    technique_->setObjectName(QStringLiteral("technique"));
    technique_->setToolTip(QStringLiteral("Classic: the look as it always was. Smooth: heights from the exact distance "
                                          "to the edge, round shapes shaded round. Chisel: straight facets and a ridge."));
    profile_ = WordChoices(this, "profile");
    depth_ = Number(this, MaxDepthPercent, QStringLiteral(" %"));
    direction_ = Choices(this, {"Up (raised)", "Down (sunk)"});
    style_ = WordChoices(this, "style");
    style_->setObjectName(QStringLiteral("style"));
    style_->setToolTip(QStringLiteral("Where the band lies: inside the shape, outside it, half each side, or a groove "
                                      "along the edge"));
    soften_ = Number(this, MaxSoftenRadius, QStringLiteral(" px"));
    shape_ = Choices(this, {"Green not 0", "Alpha coverage", "Luminance above"});
    threshold_ = Number(this, 255, QString());
    auto* shape = new QHBoxLayout;
    shape->addWidget(shape_, 1);
    shape->addWidget(threshold_);
    margin_ = Number(this, MaxMargin, QStringLiteral(" px"));
    margin_->setToolTip(QStringLiteral("Room added on every side, so that the shadow is not cut"));
    shadow_ = new QCheckBox(QStringLiteral("Drop shado&w"), this);
    shadowX_ = Number(this, MaxShadowOffset, QStringLiteral(" px right"), -MaxShadowOffset);
    shadowY_ = Number(this, MaxShadowOffset, QStringLiteral(" px down"), -MaxShadowOffset);
    shadowBlur_ = Number(this, MaxShadowBlur, QStringLiteral(" px blur"));
    shadowColour_ = new QPushButton(this);
    shadowColour_->setAutoDefault(false);
    shadowColour_->setToolTip(QStringLiteral("The shadow's colour"));
    shadowOpacity_ = Number(this, 100, QStringLiteral(" %"));
    auto* shadow = new QHBoxLayout;
    for (QWidget* box : std::initializer_list<QWidget*>{shadow_, shadowX_, shadowY_, shadowBlur_, shadowColour_, shadowOpacity_})
        shadow->addWidget(box);

    // A row whose field is a layout names its box's buddy itself.
    const auto buddyLabel = [this](const QString& caption, QWidget* buddy) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(buddy);
        return label;
    };
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(QStringLiteral("&Look:"), looks_), list);
    form->addRow(QStringLiteral("&Technique:"), technique_);
    form->addRow(QStringLiteral("&Profile:"), profile_);
    form->addRow(QStringLiteral("D&epth:"), depth_);
    form->addRow(QStringLiteral("Di&rection:"), direction_);
    form->addRow(QStringLiteral("St&yle:"), style_);
    form->addRow(QStringLiteral("S&often:"), soften_);
    form->addRow(buddyLabel(QStringLiteral("S&hape:"), shape_), shape);
    QHBoxLayout* highlight = MakeTone(highlight_, QStringLiteral("Highlight"));
    form->addRow(buddyLabel(QStringLiteral("Highli&ght:"), highlight_.colour), highlight);
    QHBoxLayout* shade = MakeTone(shade_, QStringLiteral("Shadow"));
    form->addRow(buddyLabel(QStringLiteral("Sh&adow:"), shade_.colour), shade);
    form->addRow(QStringLiteral("&Margin:"), margin_);
    form->addRow(shadow);
    numbers_ = new QLabel(this);
    numbers_->setObjectName(QStringLiteral("numbers"));
    form->addRow(numbers_);

    problem_ = MakeProblemLabel(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);

    for (QComboBox* box : {technique_, profile_, direction_, style_, shape_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ReadChoices(); });
    for (QSpinBox* box : {depth_, soften_, threshold_, margin_, shadowX_, shadowY_, shadowBlur_, shadowOpacity_})
        connect(box, &QSpinBox::valueChanged, this, [this] { ReadChoices(); });
    connect(shadow_, &QCheckBox::toggled, this, [this] { ReadChoices(); });
    connect(shadowColour_, &QPushButton::clicked, this, [this] {
        const QColor chosen = QColorDialog::getColor(QColor::fromRgb(colour_.rgb), this, QStringLiteral("Shadow Colour"));
        if (!chosen.isValid())
            return;
        colour_.rgb = chosen.rgb() & 0xFFFFFFu;
        ReadChoices();
    });
    connect(looks_, &QComboBox::activated, this, [this](int index) {
        const QVariant name = looks_->itemData(index);
        if (!name.isValid())
            return;
        if (auto chosen = store_.Find(Bytes(name.toString()))) {
            Show(*chosen);
            emit LookChanged(look_);
        }
    });
    connect(saveAs, &QPushButton::clicked, this, [this] {
        bool ok = false;
        const QString name = QInputDialog::getText(this, QStringLiteral("Save Look"), QStringLiteral("Name of the look:"),
                                                   QLineEdit::Normal, QString::fromStdString(look_.name), &ok);
        if (ok)
            Report(SaveAs(name));
    });
    connect(delete_, &QPushButton::clicked, this, [this] { Report(DeleteChosen()); });
    connect(import, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import Look"), QString(),
                                                          QStringLiteral("Looks (*.look);;All Files (*)"));
        if (!path.isEmpty())
            Report(Import(path));
    });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Look"),
                                                          QString::fromStdString(look_.name) + QStringLiteral(".look"),
                                                          QStringLiteral("Looks (*.look)"));
        if (!path.isEmpty())
            Report(Export(path));
    });
    Show(current);
}

void LookDialog::FillList()
{
    looks_->clear();
    const std::vector<NamedLook> looks = store_.All();
    for (const NamedLook& look : looks)
        looks_->addItem(QString::fromStdString(look.name), QString::fromStdString(look.name));
    // A look that equals none of the list's is the user's own until saved.
    const std::optional<NamedLook> listed = MatchingLook(looks, look_);
    look_.name = listed ? listed->name : std::string();
    if (look_.name.empty())
        looks_->insertItem(0, QStringLiteral("(not saved)"));
    looks_->setCurrentIndex(look_.name.empty() ? 0 : looks_->findData(QString::fromStdString(look_.name)));
    const bool shipped = std::ranges::any_of(ShippedLooks(), [&](const NamedLook& look) { return look.name == look_.name; });
    delete_->setEnabled(!look_.name.empty() && !shipped);
}

void LookDialog::Show(const NamedLook& look)
{
    look_ = look;
    showing_ = true;
    const BevelLook& choices = look.look;
    technique_->setCurrentIndex(int(choices.technique));
    profile_->setCurrentIndex(int(choices.profile));
    depth_->setValue(choices.depthPercent);
    direction_->setCurrentIndex(int(choices.direction));
    style_->setCurrentIndex(int(choices.style));
    soften_->setValue(choices.softenRadius);
    shape_->setCurrentIndex(int(choices.shapeSource.kind));
    threshold_->setValue(choices.shapeSource.lumaThreshold);
    ShowTone(highlight_, choices.highlight);
    ShowTone(shade_, choices.shadow);
    const Decoration& decoration = choices.decoration;
    margin_->setValue(decoration.margin);
    shadow_->setChecked(decoration.shadow.has_value());
    const DropShadow drop = decoration.shadow.value_or(DropShadow{});
    if (decoration.shadow)
        colour_ = drop.colour;
    shadowX_->setValue(drop.offsetX);
    shadowY_->setValue(drop.offsetY);
    shadowBlur_->setValue(drop.blurRadius);
    shadowOpacity_->setValue(colour_.opacityPercent);
    shadowColour_->setText(QColor::fromRgb(colour_.rgb).name());
    for (QWidget* box : std::initializer_list<QWidget*>{shadowX_, shadowY_, shadowBlur_, shadowColour_, shadowOpacity_})
        box->setEnabled(decoration.shadow.has_value());
    showing_ = false;
    // Chisel's facets are straight and hard: it has no profile to choose and
    // nothing to soften.
    const bool smooth = choices.technique != BevelTechnique::Classic;
    const bool curved = choices.technique == BevelTechnique::Smooth;
    // The shadow takes its shape by the same rule, whatever the technique.
    const bool shaped = smooth || decoration.shadow.has_value();
    depth_->setEnabled(smooth);
    for (const ToneBoxes* tone : {&highlight_, &shade_})
        for (QWidget* box : std::initializer_list<QWidget*>{tone->colour, tone->opacity, tone->mode})
            box->setEnabled(smooth);
    direction_->setEnabled(smooth);
    style_->setEnabled(smooth);
    profile_->setEnabled(curved);
    soften_->setEnabled(curved);
    shape_->setEnabled(shaped);
    threshold_->setEnabled(shaped && choices.shapeSource.kind == ShapeSourceKind::Luma);
    numbers_->setText(QStringLiteral("Bevel size %1, light angle %2°, elevation %3° (the window's boxes)")
                          .arg(QString::fromStdString(look.bevelSize), QString::fromStdString(look.lightAngle),
                               QString::fromStdString(look.lightElevation)));
    FillList();
}

void LookDialog::ReadChoices()
{
    if (showing_)
        return;
    NamedLook look = look_;
    BevelLook& choices = look.look;
    choices.technique = BevelTechnique(technique_->currentIndex());
    choices.profile = BevelProfile(profile_->currentIndex());
    choices.depthPercent = depth_->value();
    choices.direction = BevelDirection(direction_->currentIndex());
    choices.style = BevelStyle(style_->currentIndex());
    choices.softenRadius = soften_->value();
    choices.shapeSource = {ShapeSourceKind(shape_->currentIndex()), threshold_->value()};
    choices.highlight = ToneOf(highlight_);
    choices.shadow = ToneOf(shade_);
    choices.decoration.margin = margin_->value();
    colour_.opacityPercent = shadowOpacity_->value();
    choices.decoration.shadow.reset();
    if (shadow_->isChecked())
        choices.decoration.shadow = DropShadow{shadowX_->value(), shadowY_->value(), shadowBlur_->value(), colour_};
    Show(look);
    emit LookChanged(look_);
}

QHBoxLayout* LookDialog::MakeTone(ToneBoxes& boxes, const QString& what)
{
    boxes.colour = new QPushButton(this);
    boxes.colour->setAutoDefault(false);
    boxes.colour->setToolTip(what + QStringLiteral(": its colour"));
    boxes.opacity = Number(this, 100, QStringLiteral(" %"));
    boxes.mode = Choices(this, {"Normal", "Screen", "Multiply", "Overlay"});
    connect(boxes.colour, &QPushButton::clicked, this, [this, &boxes, what] {
        const QColor chosen = QColorDialog::getColor(QColor::fromRgb(boxes.rgb), this, what + QStringLiteral(" Colour"));
        if (!chosen.isValid())
            return;
        boxes.rgb = chosen.rgb() & 0xFFFFFFu;
        ReadChoices();
    });
    connect(boxes.opacity, &QSpinBox::valueChanged, this, [this] { ReadChoices(); });
    connect(boxes.mode, &QComboBox::currentIndexChanged, this, [this] { ReadChoices(); });
    auto* row = new QHBoxLayout;
    row->addWidget(boxes.colour);
    row->addWidget(boxes.opacity);
    row->addWidget(boxes.mode, 1);
    return row;
}

void LookDialog::ShowTone(ToneBoxes& boxes, const BandTone& tone)
{
    boxes.rgb = tone.colour.rgb;
    boxes.colour->setText(QColor::fromRgb(tone.colour.rgb).name());
    boxes.opacity->setValue(tone.colour.opacityPercent);
    boxes.mode->setCurrentIndex(int(tone.mode));
}

BandTone LookDialog::ToneOf(const ToneBoxes& boxes)
{
    return {{boxes.rgb, boxes.opacity->value()}, BlendMode(boxes.mode->currentIndex())};
}

void LookDialog::Report(const QString& problem)
{
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
}

QString LookDialog::SaveAs(const QString& name)
{
    NamedLook look = look_;
    look.name = Bytes(name.trimmed());
    if (auto refusal = store_.Save(look))
        return QString::fromStdString(*refusal);
    Show(look);
    return {};
}

QString LookDialog::DeleteChosen()
{
    if (look_.name.empty())
        return QStringLiteral("This look is not saved.");
    store_.Remove(look_.name);
    Show(look_);
    return {};
}

QString LookDialog::Import(const QString& path)
{
    const LookReading reading = ReadLookFromFile(Bytes(path));
    if (!reading.look)
        return QString::fromStdString(reading.error);
    QString report;
    for (const std::string& warning : reading.warnings)
        report += QString::fromStdString(warning) + QLatin1Char('\n');
    // A look of a shipped look's name is taken as it is, unsaved.
    store_.Save(*reading.look);
    Show(*reading.look);
    emit LookChanged(look_);
    return report.trimmed();
}

QString LookDialog::Export(const QString& path)
{
    try {
        NamedLook look = look_;
        if (look.name.empty())
            look.name = QFileInfo(path).completeBaseName().toStdString();
        WriteLookToFile(look, Bytes(path));
    } catch (const RuntimeError& error) {
        return QString::fromStdString(error.Description());
    }
    return {};
}

NamedLook LookFromSettings(const QString& name, const QString& text)
{
    LookReading reading = ReadLookFile(Bytes(text));
    NamedLook look = reading.look ? *reading.look : ShippedLooks().front();
    look.name = reading.look ? Bytes(name) : look.name;
    return look;
}

QString LookToSettings(const NamedLook& look)
{
    // A look file needs a name; the window's own look has none until saved,
    // and its name is kept beside it.
    NamedLook kept = look;
    kept.name = "Window";
    return QString::fromStdString(WriteLookFile(kept));
}

} // namespace tollamere
