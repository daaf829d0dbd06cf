// SPDX-License-Identifier: MIT
#pragma once

#include "output_options.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace tollamere {

inline const QString SameNameWarning =
    QStringLiteral("Every output would get this same name. Add {name} or {n} to tell them apart.");

// The "Output Options" dialog: where outputs go and how they are written.
// OK is refused, with the reason shown in the dialog, while CheckOutputOptions
// refuses what is filled in; a name that every output would share is warned of.
class OutputOptionsDialog final : public QDialog {
    Q_OBJECT

public:
    OutputOptionsDialog(const OutputOptions& options, QWidget* parent = nullptr);

    OutputOptions Options() const;

    void accept() override;

private:
    void MarkChoices();

    QCheckBox* keepFolders_ = nullptr;
    QLineEdit* namePattern_ = nullptr;
    QComboBox* overwrite_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* scales_ = nullptr;
    QSpinBox* quality_ = nullptr;
    QSpinBox* pngLevel_ = nullptr;
    QCheckBox* strip_ = nullptr;
    QCheckBox* autoOrient_ = nullptr;
    QLabel* problem_ = nullptr;
    QLabel* nameWarning_ = nullptr;
};

// The options that differ from the defaults, in a few words each ("skip
// existing, WEBP"); empty for the defaults.
QString OutputOptionsSummary(const OutputOptions& options);

// The options as the settings store keeps them, one text per key; a key
// missing or unreadable keeps that option's default.
OutputOptions OutputOptionsFromSettings(const std::function<QString(const QString& key)>& read);
void OutputOptionsToSettings(const OutputOptions& options, const std::function<void(const QString& key, const QString& text)>& write);

} // namespace tollamere
