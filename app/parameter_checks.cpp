// SPDX-License-Identifier: MIT
#include "parameter_checks.h"

#include "bevel.h"
#include "effect_operators.h"
#include "runtime_error.h"

#include <QLineEdit>

#include <cmath>

namespace tollamere {

namespace {

// The other two boxes at the values a fresh window shows.
constexpr double DefaultAngle = DefaultLightAngleDegrees;
constexpr double DefaultElevation = DefaultLightElevationDegrees;

QString Degrees(double value)
{
    return QString::number(value, 'g', 6);
}

// An elevation beyond a right angle lights the picture as one within it
// does: the same height, from the same or the opposite side.
QString SameLightAs(double elevation)
{
    double turned = std::fmod(elevation, 360.0);
    if (turned > 180.0)
        turned -= 360.0;
    if (turned <= -180.0)
        turned += 360.0;
    if (turned > 90.0)
        return QStringLiteral("as %1 does, from the opposite side").arg(Degrees(180.0 - turned));
    if (turned < -90.0)
        return QStringLiteral("as %1 does, from the opposite side").arg(Degrees(-180.0 - turned));
    return QStringLiteral("as %1 does").arg(Degrees(turned));
}

} // namespace

QString BoxName(ParameterBox box)
{
    switch (box) {
    case ParameterBox::BevelSize: return QStringLiteral("Bevel Size");
    case ParameterBox::LightAngle: return QStringLiteral("Light Angle");
    case ParameterBox::LightElevation: return QStringLiteral("Light Elevation");
    }
    return {};
}

QString BoxRange(ParameterBox box)
{
    switch (box) {
    case ParameterBox::BevelSize: return QString::fromStdString("a whole number from " + BevelSizeRangeText());
    case ParameterBox::LightAngle: return QStringLiteral("any number of degrees");
    case ParameterBox::LightElevation: return QStringLiteral("from -90 to 90 degrees");
    }
    return {};
}

BoxCheck CheckBoxText(ParameterBox box, const QString& text, const std::string& decimalSeparator)
{
    const std::string typed = text.toStdString();
    BevelParameters parameters{5, DegreesToRadians(DefaultAngle), DegreesToRadians(DefaultElevation)};
    BoxCheck check;
    try {
        if (box == ParameterBox::BevelSize)
            parameters.bevelSize = ParseBevelSize(typed, decimalSeparator);
        else if (box == ParameterBox::LightAngle)
            parameters.lightAngle = ParseLightDegrees(typed, decimalSeparator);
        else
            parameters.lightElevation = ParseLightDegrees(typed, decimalSeparator);
        CheckBevelParameters(parameters);
    } catch (const RuntimeError& error) {
        check.verdict = BoxCheck::Verdict::Refused;
        check.description = error.Description();
        const QString what = error.Number() == ErrorNumber::TypeMismatch
                                 ? QStringLiteral("\"%1\" is not a number").arg(text)
                                 : QStringLiteral("%1 is out of range").arg(text.trimmed());
        check.reason = QStringLiteral("%1: %2; it takes %3.").arg(BoxName(box), what, BoxRange(box));
        return check;
    }
    // Taken by the effect; said when it reads otherwise than it looks.
    const double value = TextToDouble(typed, decimalSeparator);
    if (box == ParameterBox::BevelSize && value != std::nearbyint(value)) {
        check.verdict = BoxCheck::Verdict::Unusual;
        check.reason = QStringLiteral("%1: %2 is taken as %3; it takes %4.")
                           .arg(BoxName(box), text.trimmed())
                           .arg(parameters.bevelSize)
                           .arg(BoxRange(box));
    } else if (box == ParameterBox::LightElevation && std::abs(value) > 90.0) {
        check.verdict = BoxCheck::Verdict::Unusual;
        check.reason = QStringLiteral("%1: %2 degrees lights the picture %3; it reads %4.")
                           .arg(BoxName(box), text.trimmed(), SameLightAs(value), BoxRange(box));
    }
    return check;
}

std::optional<RefusedBox> FirstRefusedBox(const QString& bevelSize, const QString& lightAngle,
                                          const QString& lightElevation, const std::string& decimalSeparator)
{
    const std::pair<ParameterBox, const QString*> boxes[] = {{ParameterBox::BevelSize, &bevelSize},
                                                             {ParameterBox::LightAngle, &lightAngle},
                                                             {ParameterBox::LightElevation, &lightElevation}};
    for (const auto& [box, text] : boxes) {
        BoxCheck check = CheckBoxText(box, *text, decimalSeparator);
        if (check.verdict == BoxCheck::Verdict::Refused)
            return RefusedBox{box, std::move(check)};
    }
    return std::nullopt;
}

void MarkBox(QLineEdit* box, const BoxCheck& check, const QString& hint)
{
    static const char* const verdicts[] = {"fine", "unusual", "refused"};
    const char* verdict = verdicts[static_cast<int>(check.verdict)];
    if (box->property("verdict").toString() != QLatin1String(verdict)) {
        box->setProperty("verdict", QLatin1String(verdict));
        // Only the frame: the box keeps the palette's colours otherwise.
        switch (check.verdict) {
        case BoxCheck::Verdict::Fine: box->setStyleSheet(QString()); break;
        case BoxCheck::Verdict::Unusual:
            box->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #d08000; border-radius: 3px; }"));
            break;
        case BoxCheck::Verdict::Refused:
            box->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #e02020; border-radius: 3px; }"));
            break;
        }
    }
    box->setToolTip(check.reason.isEmpty() ? hint : check.reason);
}

QValidator::State NumberCharactersValidator::validate(QString& input, int& /*position*/) const
{
    for (const QChar character : input)
        if (!character.isDigit() && !character.isSpace() && !QStringLiteral("+-.,eE").contains(character))
            return Invalid;
    return Acceptable;
}

} // namespace tollamere
