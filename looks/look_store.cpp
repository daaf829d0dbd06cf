// SPDX-License-Identifier: MIT
#include "look_store.h"

#include "file_io.h"
#include "path_text.h"
#include "runtime_error.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QUrl>

#include <algorithm>

namespace tollamere {

namespace {

const QString LooksGroup = QStringLiteral("Looks");

QSettings Store()
{
    return QSettings(QStringLiteral("Tollamere"), QStringLiteral("Tollamere"));
}

// A key holds no "/" or "\" of the name, which the store would take apart.
QString KeyOf(std::string_view name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(QByteArray(name.data(), qsizetype(name.size())), " "));
}

bool SameName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

std::optional<NamedLook> FindIn(const std::vector<NamedLook>& looks, std::string_view name)
{
    for (const bool exact : {true, false}) {
        for (const NamedLook& look : looks) {
            if (exact ? look.name == name : SameName(look.name, name))
                return look;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<NamedLook> LookStore::Saved() const
{
    QSettings settings = Store();
    settings.beginGroup(LooksGroup);
    std::vector<NamedLook> looks;
    for (const QString& key : settings.childKeys()) {
        const QByteArray text = settings.value(key).toString().toUtf8();
        LookReading reading = ReadLookFile(std::string_view(text.constData(), std::size_t(text.size())));
        if (reading.look && KeyOf(reading.look->name) == key)
            looks.push_back(std::move(*reading.look));
    }
    std::ranges::sort(looks, {}, &NamedLook::name);
    return looks;
}

std::vector<NamedLook> LookStore::All() const
{
    std::vector<NamedLook> looks = ShippedLooks();
    for (NamedLook& look : Saved())
        looks.push_back(std::move(look));
    return looks;
}

std::optional<NamedLook> LookStore::Find(std::string_view name) const
{
    if (auto saved = FindIn(Saved(), name))
        return saved;
    return FindIn(ShippedLooks(), name);
}

std::optional<std::string> LookStore::Save(const NamedLook& look) const
{
    if (auto reason = CheckLookName(look.name))
        return reason;
    if (FindIn(ShippedLooks(), look.name))
        return "\"" + look.name + "\" is a look that comes with Tollamere; save yours under another name";
    QSettings settings = Store();
    settings.setValue(LooksGroup + QLatin1Char('/') + KeyOf(look.name), QString::fromStdString(WriteLookFile(look)));
    settings.sync();
    return std::nullopt;
}

void LookStore::Remove(std::string_view name) const
{
    QSettings settings = Store();
    settings.remove(LooksGroup + QLatin1Char('/') + KeyOf(name));
    settings.sync();
}

LookReading ReadLookFromFile(const std::filesystem::path& path)
{
    LookReading reading;
    const std::string where = Printable(path.string()) + ": ";
    try {
        const InputFile file = InputFile::Open(path, MaxLookFileBytes + 1);
        const FileStart& start = file.Start();
        reading = ReadLookFile(std::string_view(reinterpret_cast<const char*>(start.bytes.data()), start.bytes.size()));
        if (start.size > MaxLookFileBytes)
            reading = {std::nullopt, "it is larger than a look file can be", {}};
    } catch (const RuntimeError& error) {
        // The reason names the path already.
        return {std::nullopt, error.Description(), {}};
    }
    if (!reading.error.empty())
        reading.error = where + reading.error;
    for (std::string& warning : reading.warnings)
        warning = where + warning;
    return reading;
}

void WriteLookToFile(const NamedLook& look, const std::filesystem::path& path)
{
    const std::string text = WriteLookFile(look);
    WriteFileReplacing(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

LookReading FindLook(const LookStore& store, const std::string& nameOrPath)
{
    if (auto look = store.Find(nameOrPath))
        return {std::move(look), {}, {}};
    if (PathEntryExists(nameOrPath))
        return ReadLookFromFile(nameOrPath);
    return {std::nullopt, "no look is named \"" + Printable(nameOrPath) + "\", and no file either", {}};
}

} // namespace tollamere
