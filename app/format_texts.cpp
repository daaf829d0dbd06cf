// SPDX-License-Identifier: MIT
#include "format_texts.h"

#include "format_registry.h"

#include <QStringList>

namespace tollamere {

QString PictureFilterText()
{
    QStringList patterns;
    for (const FileFormat* format : ListedFormats())
        for (std::size_t i = 0; i < format->listedExtensions && i < format->extensions.size(); ++i)
            patterns << QStringLiteral("*.") + QString::fromLatin1(format->extensions[i].data(), qsizetype(format->extensions[i].size()));
    const QString lower = patterns.join(QLatin1Char(' '));
    return QStringLiteral("All Pictures (") + lower + QLatin1Char(' ') + lower.toUpper() + QStringLiteral(");;All Files (*)");
}

QString ReadWrittenFormatNames()
{
    std::vector<std::string_view> names;
    for (const FileFormat* format : ListedFormats())
        names.push_back(format->ListedName());
    return QString::fromStdString(NameList(names));
}

QString ReadOnlyFormatNamesText()
{
    return QString::fromStdString(NameList(ReadOnlyFormatNames()));
}

} // namespace tollamere
