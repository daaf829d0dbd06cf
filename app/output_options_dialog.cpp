// SPDX-License-Identifier: MIT
#include "output_options_dialog.h"

#include "format_registry.h"

#include "parameter_checks.h"
#include "window_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>

namespace tollamere {
namespace {

const QString NamePatternHint = QStringLiteral("{name} the input's name, {ext} its extension, {n} its row number");

const QString KeyStructure = QStringLiteral("OutputKeepFolders");
const QString KeyNamePattern = QStringLiteral("OutputNamePattern");
const QString KeyOverwrite = QStringLiteral("OutputOverwrite");
const QString KeyFormat = QStringLiteral("OutputFormat");
const QString KeyQuality = QStringLiteral("OutputQuality");
const QString KeyPngLevel = QStringLiteral("OutputPngLevel");
const QString KeyStrip = QStringLiteral("OutputStripMetadata");
const QString KeyAutoOrient = QStringLiteral("OutputAutoOrient");
const QString KeyScales = QStringLiteral("OutputScales");

constexpr std::array OverwriteNames{"replace", "skip", "rename"};

std::optional<int> NumberIn(const QString& text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= lowest && value <= highest ? std::optional<int>(value) : std::nullopt;
}

// The scales of the text, none for 1x alone, left as they were when the
// text is refused (the dialog says why before it closes).
void ReadScalesInto(const QString& text, OutputOptions& options)
{
    std::vector<OutputScale> scales;
    if (ReadScales(text.toStdString(), scales))
        return;
    if (scales.size() == 1 && scales.front().factor == 1.0)
        scales.clear();
    options.scales = std::move(scales);
}

} // namespace

OutputOptionsDialog::OutputOptionsDialog(const OutputOptions& options, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("OutputOptionsDialog"));
    auto* form = new QFormLayout;

    keepFolders_ = new QCheckBox(QStringLiteral("&Keep the sub-folders of scanned and dropped folders"), this);
    keepFolders_->setChecked(options.structure == OutputOptions::Structure::KeepFolders);
    form->addRow(keepFolders_);

    namePattern_ = new QLineEdit(QString::fromStdString(options.namePattern), this);
    namePattern_->setToolTip(NamePatternHint);
    form->addRow(QStringLiteral("File &name:"), namePattern_);
    form->addRow(QString(), new QLabel(QStringLiteral("{name}, {ext} and {n}, e.g. {name}-bevel"), this));
    nameWarning_ = new QLabel(this);
    nameWarning_->setObjectName(QStringLiteral("NameWarning"));
    nameWarning_->setWordWrap(true);
    nameWarning_->hide();
    form->addRow(QString(), nameWarning_);

    overwrite_ = new QComboBox(this);
    overwrite_->addItems({QStringLiteral("Replace it"), QStringLiteral("Skip it"), QStringLiteral("Choose a new name, e.g. \"star (2).png\"")});
    overwrite_->setCurrentIndex(int(options.overwrite));
    form->addRow(QStringLiteral("If the file &exists:"), overwrite_);

    format_ = new QComboBox(this);
    format_->addItem(QStringLiteral("Same as the input"), QString());
    // The formats offered, in the order users look for them; those this
    // build cannot write are left out.
    for (const FileFormat* offered : OfferedFormats()) {
        const QString extension = QString::fromLatin1(offered->PreferredExtension().data(), qsizetype(offered->PreferredExtension().size()));
        format_->addItem(extension.toUpper(), extension);
    }
    const int chosen = format_->findData(QString::fromStdString(options.format).toLower());
    format_->setCurrentIndex(std::max(chosen, 0));
    form->addRow(QStringLiteral("&Format:"), format_);

    scales_ = new QLineEdit(QString::fromStdString(ScalesText(options.scales)), this);
    scales_->setObjectName(QStringLiteral("txtScales"));
    scales_->setToolTip(QStringLiteral("Each input is written at each scale; 2x is named {name}@2x"));
    form->addRow(QStringLiteral("&Scales:"), scales_);
    form->addRow(QString(), new QLabel(QStringLiteral("1x, or several, e.g. 1x,2x,3x"), this));

    quality_ = new QSpinBox(this);
    quality_->setRange(MinQuality - 1, MaxQuality);  // the lowest stands for the default
    quality_->setSpecialValueText(QStringLiteral("Default (JPEG 100, others lossless)"));
    quality_->setValue(options.quality.value_or(quality_->minimum()));
    form->addRow(QStringLiteral("&Quality:"), quality_);

    pngLevel_ = new QSpinBox(this);
    pngLevel_->setRange(MinPngLevel - 1, MaxPngLevel);
    pngLevel_->setSpecialValueText(QStringLiteral("Default"));
    pngLevel_->setValue(options.pngLevel.value_or(pngLevel_->minimum()));
    form->addRow(QStringLiteral("&PNG compression:"), pngLevel_);

    strip_ = new QCheckBox(QStringLiteral("Lea&ve out the colour profile, resolution and EXIF"), this);
    strip_->setChecked(options.stripMetadata);
    form->addRow(strip_);

    autoOrient_ = new QCheckBox(QStringLiteral("T&urn photos upright by their EXIF orientation"), this);
    autoOrient_->setChecked(options.autoOrient);
    form->addRow(autoOrient_);

    problem_ = MakeProblemLabel(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    // Return means OK wherever the focus is, also after Restore Defaults was pressed.
    for (QPushButton* button : {buttons->button(QDialogButtonBox::Cancel), buttons->button(QDialogButtonBox::RestoreDefaults)})
        button->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this, [this] {
        const OutputOptions defaults;
        keepFolders_->setChecked(false);
        namePattern_->setText(QString::fromStdString(defaults.namePattern));
        overwrite_->setCurrentIndex(0);
        format_->setCurrentIndex(0);
        scales_->setText(QStringLiteral("1x"));
        quality_->setValue(quality_->minimum());
        pngLevel_->setValue(pngLevel_->minimum());
        strip_->setChecked(false);
        autoOrient_->setChecked(true);
    });

    // The name box says as it is typed what the run would refuse, or that
    // every output would get the same name; the PNG level only counts for PNG.
    connect(namePattern_, &QLineEdit::textChanged, this, [this] { MarkChoices(); });
    connect(format_, &QComboBox::currentIndexChanged, this, [this] { MarkChoices(); });
    MarkChoices();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
}

void OutputOptionsDialog::MarkChoices()
{
    const OutputOptions options = Options();
    BoxCheck check;
    if (const std::optional<std::string> refused = CheckOutputOptions(options)) {
        check.verdict = BoxCheck::Verdict::Refused;
        check.reason = QString::fromStdString("This cannot be used: " + *refused + ".");
    } else if (ExpandNamePattern(options.namePattern, "a.png", 1) == ExpandNamePattern(options.namePattern, "b.png", 2)) {
        check.verdict = BoxCheck::Verdict::Unusual;
        check.reason = SameNameWarning;
    }
    MarkBox(namePattern_, check, NamePatternHint);
    nameWarning_->setText(check.reason);
    nameWarning_->setVisible(!check.reason.isEmpty());
    const QString format = format_->currentData().toString();
    pngLevel_->setEnabled(format.isEmpty() || format == QStringLiteral("png"));
}

OutputOptions OutputOptionsDialog::Options() const
{
    OutputOptions options;
    options.structure = keepFolders_->isChecked() ? OutputOptions::Structure::KeepFolders : OutputOptions::Structure::Flat;
    options.namePattern = namePattern_->text().toStdString();
    options.overwrite = OutputOptions::Overwrite(overwrite_->currentIndex());
    options.format = format_->currentData().toString().toStdString();
    ReadScalesInto(scales_->text(), options);
    if (quality_->value() >= MinQuality)
        options.quality = quality_->value();
    if (pngLevel_->value() >= MinPngLevel)
        options.pngLevel = pngLevel_->value();
    options.stripMetadata = strip_->isChecked();
    options.autoOrient = autoOrient_->isChecked();
    return options;
}

void OutputOptionsDialog::accept()
{
    std::vector<OutputScale> scales;
    if (const std::optional<std::string> refused = ReadScales(scales_->text().toStdString(), scales)) {
        problem_->setText(QString::fromStdString("This cannot be used: the scale " + *refused + "."));
        problem_->show();
        scales_->setFocus();
        scales_->selectAll();
        return;
    }
    if (const std::optional<std::string> refused = CheckOutputOptions(Options())) {
        problem_->setText(QString::fromStdString("This cannot be used: " + *refused + "."));
        problem_->show();
        namePattern_->setFocus();
        return;
    }
    QDialog::accept();
}

QString OutputOptionsSummary(const OutputOptions& options)
{
    const OutputOptions defaults;
    QStringList differences;
    if (options.structure != defaults.structure)
        differences.push_back(QStringLiteral("sub-folders"));
    if (options.namePattern != defaults.namePattern)
        differences.push_back(QStringLiteral("name ") + QString::fromStdString(options.namePattern));
    if (options.overwrite == OutputOptions::Overwrite::Skip)
        differences.push_back(QStringLiteral("skip existing"));
    if (options.overwrite == OutputOptions::Overwrite::Rename)
        differences.push_back(QStringLiteral("rename existing"));
    if (!options.format.empty())
        differences.push_back(QString::fromStdString(options.format).toUpper());
    if (options.scales.size() > 1 || (options.scales.size() == 1 && options.scales.front().factor != 1.0))
        differences.push_back(QStringLiteral("scales ") + QString::fromStdString(ScalesText(options.scales)));
    if (options.quality)
        differences.push_back(QStringLiteral("quality %1").arg(*options.quality));
    if (options.pngLevel)
        differences.push_back(QStringLiteral("PNG level %1").arg(*options.pngLevel));
    if (options.stripMetadata != defaults.stripMetadata)
        differences.push_back(QStringLiteral("no metadata"));
    if (options.autoOrient != defaults.autoOrient)
        differences.push_back(QStringLiteral("not turned upright"));
    return differences.join(QStringLiteral(", "));
}

OutputOptions OutputOptionsFromSettings(const std::function<QString(const QString& key)>& read)
{
    OutputOptions options;
    if (read(KeyStructure) == QStringLiteral("true"))
        options.structure = OutputOptions::Structure::KeepFolders;
    if (const QString pattern = read(KeyNamePattern); !pattern.isEmpty())
        options.namePattern = pattern.toStdString();
    for (std::size_t i = 0; i < OverwriteNames.size(); ++i)
        if (read(KeyOverwrite) == QLatin1String(OverwriteNames[i]))
            options.overwrite = OutputOptions::Overwrite(i);
    options.format = read(KeyFormat).toStdString();
    options.quality = NumberIn(read(KeyQuality), MinQuality, MaxQuality);
    options.pngLevel = NumberIn(read(KeyPngLevel), MinPngLevel, MaxPngLevel);
    options.stripMetadata = read(KeyStrip) == QStringLiteral("true");
    options.autoOrient = read(KeyAutoOrient) != QStringLiteral("false");
    ReadScalesInto(read(KeyScales), options);
    // A store edited by hand may hold a pattern or a format the run refuses;
    // the numbers were only taken within their ranges.
    if (CheckOutputOptions(options)) {
        options.namePattern = OutputOptions().namePattern;
        options.format.clear();
    }
    return options;
}

void OutputOptionsToSettings(const OutputOptions& options, const std::function<void(const QString& key, const QString& text)>& write)
{
    const auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    write(KeyStructure, flag(options.structure == OutputOptions::Structure::KeepFolders));
    write(KeyNamePattern, QString::fromStdString(options.namePattern));
    write(KeyOverwrite, QLatin1String(OverwriteNames[std::size_t(options.overwrite)]));
    write(KeyFormat, QString::fromStdString(options.format));
    write(KeyQuality, options.quality ? QString::number(*options.quality) : QString());
    write(KeyPngLevel, options.pngLevel ? QString::number(*options.pngLevel) : QString());
    write(KeyStrip, flag(options.stripMetadata));
    write(KeyAutoOrient, flag(options.autoOrient));
    write(KeyScales, QString::fromStdString(ScalesText(options.scales)));
}

} // namespace tollamere
