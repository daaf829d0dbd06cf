// SPDX-License-Identifier: MIT
#pragma once

// What the three parameter boxes accept, said as the user types: the values
// the effect refuses, and those it takes but reads otherwise than they look
// (a bevel size with a fraction, an elevation beyond a right angle).

#include <QString>
#include <QValidator>

#include <optional>
#include <string>

class QLineEdit;

namespace tollamere {

enum class ParameterBox { BevelSize, LightAngle, LightElevation };

struct BoxCheck {
    enum class Verdict { Fine, Unusual, Refused };
    Verdict verdict = Verdict::Fine;
    // Why, for the box's tooltip and the preview; empty when fine.
    QString reason;
    // For a refused value: the description the effect raises with.
    std::string description;
};

// The box's name and the values it takes, as the report and tooltip say them.
QString BoxName(ParameterBox box);
QString BoxRange(ParameterBox box);

// Checks one box's text alone, the others at their defaults; values the
// effect takes are never refused.
BoxCheck CheckBoxText(ParameterBox box, const QString& text, const std::string& decimalSeparator);

// The first refused box in the order a run reads them, with its check.
struct RefusedBox {
    ParameterBox box = ParameterBox::BevelSize;
    BoxCheck check;
};
std::optional<RefusedBox> FirstRefusedBox(const QString& bevelSize, const QString& lightAngle,
                                          const QString& lightElevation, const std::string& decimalSeparator);

// Marks a box by its check: a frame (red when refused, amber when unusual)
// and the reason as its tooltip; the check's verdict is kept in the box's
// "verdict" property ("fine", "unusual", "refused").
void MarkBox(QLineEdit* box, const BoxCheck& check, const QString& hint);

// Keeps out characters no number holds (letters, say); what remains may
// still be no number, which the box's mark then says.
class NumberCharactersValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

} // namespace tollamere
