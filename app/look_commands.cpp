// SPDX-License-Identifier: MIT
// Form1's Look...: the look dialog, the look shown in the boxes and the
// preview, and where it is kept.
#include "Form1.h"

#include "handler_names.h"
#include "look_dialog.h"
#include "numeric_text.h"
#include "preview_pane.h"
#include "settings_keys.h"
#include "window_texts.h"

#include <QLabel>
#include <QLineEdit>

namespace tollamere {

void Form1::PushButton9_Click()
{
    const NamedLook before = CurrentLook();
    std::optional<NamedLook> chosen;
    RunStep(LookHandler, 100, [&] {
        chosen = dialogs_.EditLook(LookTitle, before, [this](const NamedLook& trying) { ShowLook(trying); });
    });
    ShowLook(chosen ? *chosen : before);
    if (chosen)
        RunStep(LookHandler, 102, [&] {
            settings_.setValue(KeyCurrentLook, LookToSettings(look_));
            settings_.setValue(KeyCurrentLookName, QString::fromStdString(look_.name));
            settings_.sync();
        });
}

void Form1::ShowLook(const NamedLook& look)
{
    // The boxes are typed with the user's decimal separator, looks with ".".
    const auto show = [](QLineEdit* box, const std::string& number) {
        QString text = QString::fromStdString(number);
        text.replace(QLatin1Char('.'), QString::fromStdString(LocaleDecimalSeparator()));
        if (box->text() != text)
            box->setText(text);
    };
    show(txtBevelSize, look.bevelSize);
    show(txtLightAngle, look.lightAngle);
    show(txtLightElevation, look.lightElevation);
    look_ = look;
    ShowLookName();
    preview_->SetLook(look.look);
}

void Form1::ShowLookName()
{
    LookName->setText(QStringLiteral("Look: ") +
                      (look_.name.empty() ? QStringLiteral("your own") : QString::fromStdString(look_.name)));
}

NamedLook Form1::CurrentLook() const
{
    const auto number = [](const QLineEdit* box) {
        QString text = box->text();
        text.replace(QString::fromStdString(LocaleDecimalSeparator()), QStringLiteral("."));
        return text.toStdString();
    };
    NamedLook look = look_;
    look.bevelSize = number(txtBevelSize);
    look.lightAngle = number(txtLightAngle);
    look.lightElevation = number(txtLightElevation);
    return look;
}

} // namespace tollamere
