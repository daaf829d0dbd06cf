// SPDX-License-Identifier: MIT
#pragma once

// The "Look" dialog: the look's choices (technique, profile, depth,
// direction, style, soften, shape), the looks to start from (those that come with
// the program and those the user saved), and saving, deleting, importing
// and exporting looks. Every change is reported at once, so that the
// window's preview can follow it while the dialog is open.

#include "look_file.h"
#include "look_store.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tollamere {

class LookDialog final : public QDialog {
    Q_OBJECT

public:
    // current: the window's look, its numbers from the window's boxes.
    LookDialog(const NamedLook& current, LookStore store, QWidget* parent = nullptr);

    // The look as the dialog shows it; its name is that of the listed look it
    // equals, or empty.
    NamedLook Look() const { return look_; }

    // What the buttons do once they have their answer; each returns why it
    // could not, or the empty text (Import: with what was left out of the file).
    QString SaveAs(const QString& name);
    QString DeleteChosen();
    QString Import(const QString& path);
    QString Export(const QString& path);

signals:
    void LookChanged(const NamedLook& look);

private:
    // A band tone's colour, opacity and blend; the colour as last chosen.
    struct ToneBoxes {
        QPushButton* colour = nullptr;
        QSpinBox* opacity = nullptr;
        QComboBox* mode = nullptr;
        std::uint32_t rgb = 0;
    };

    void Show(const NamedLook& look);
    void ReadChoices();
    void FillList();
    void Report(const QString& problem);
    QHBoxLayout* MakeTone(ToneBoxes& boxes, const QString& what);
    static void ShowTone(ToneBoxes& boxes, const BandTone& tone);
    static BandTone ToneOf(const ToneBoxes& boxes);

    LookStore store_;
    NamedLook look_;
    bool showing_ = false;
    QComboBox* looks_ = nullptr;
    QPushButton* delete_ = nullptr;
    QComboBox* technique_ = nullptr;
    QComboBox* profile_ = nullptr;
    QSpinBox* depth_ = nullptr;
    QComboBox* direction_ = nullptr;
    QComboBox* style_ = nullptr;
    QSpinBox* soften_ = nullptr;
    QComboBox* shape_ = nullptr;
    QSpinBox* threshold_ = nullptr;
    QSpinBox* margin_ = nullptr;
    QCheckBox* shadow_ = nullptr;
    QSpinBox* shadowX_ = nullptr;
    QSpinBox* shadowY_ = nullptr;
    QSpinBox* shadowBlur_ = nullptr;
    QPushButton* shadowColour_ = nullptr;
    QSpinBox* shadowOpacity_ = nullptr;
    // The shadow's colour as last chosen, kept while the shadow is off.
    LookColour colour_;
    ToneBoxes highlight_;
    ToneBoxes shade_;
    QLabel* numbers_ = nullptr;
    QLabel* problem_ = nullptr;
};

// The window's look as the settings store keeps it: a look file's text, its
// name (empty for the user's own) kept beside it. A missing or unreadable
// text gives the classic look.
NamedLook LookFromSettings(const QString& name, const QString& text);
QString LookToSettings(const NamedLook& look);

} // namespace tollamere
