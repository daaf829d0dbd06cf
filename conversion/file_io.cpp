#include "file_io.h"

#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <new>
#include <string>
#include <system_error>

namespace tollamere {
namespace {

QString ToQString(const std::filesystem::path& path)
{
    const std::u8string utf8 = path.u8string();
    return QString::fromUtf8(reinterpret_cast<const char*>(utf8.data()), qsizetype(utf8.size()));
}

std::string Shown(const std::filesystem::path& path)
{
    return path.string();
}

std::string Utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

[[noreturn]] void RaiseReadFailure(const std::filesystem::path& path, const QString& detail)
{
    if (!QFileInfo(ToQString(path)).isReadable())
        RaiseWithReason(ErrorNumber::PermissionDenied, "cannot read " + Shown(path));
    RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot read " + Shown(path) + ": " + Utf8(detail));
}

// QSaveFile reports no error code, only text, so the reason is worked out
// from the folder and the target as they are now.
[[noreturn]] void RaiseWriteFailure(const std::filesystem::path& path, const QString& detail)
{
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::error_code folderError;
    const auto folderType = std::filesystem::status(folder, folderError).type();
    if (folderType == std::filesystem::file_type::not_found)
        RaiseWithReason(ErrorNumber::PathFileAccessError, "the folder " + Shown(folder) + " does not exist");
    if (folderType == std::filesystem::file_type::none && folderError == std::errc::permission_denied)
        RaiseWithReason(ErrorNumber::PermissionDenied, "cannot reach the folder " + Shown(folder));
    if (folderType != std::filesystem::file_type::directory)
        RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(folder) + " is not a folder");
    std::error_code targetError;
    if (std::filesystem::is_directory(path, targetError))
        RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is a folder");
    if (!QFileInfo(ToQString(folder)).isWritable())
        RaiseWithReason(ErrorNumber::PermissionDenied, "cannot write in the folder " + Shown(folder));
    const QFileInfo target(ToQString(path));
    if (target.exists() && !target.isWritable())
        RaiseWithReason(ErrorNumber::PermissionDenied, Shown(path) + " is read-only");
    RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot write " + Shown(path) + ": " + Utf8(detail));
}

} // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    switch (status.type()) {
    case std::filesystem::file_type::regular:
        break;
    case std::filesystem::file_type::not_found:
        RaiseWithReason(ErrorNumber::FileNotFound, Shown(path));
    case std::filesystem::file_type::directory:
        RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is a folder");
    case std::filesystem::file_type::none:
        if (error == std::errc::permission_denied)
            RaiseWithReason(ErrorNumber::PermissionDenied, "cannot reach " + Shown(path));
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot read " + Shown(path) + ": " + error.message());
    default:
        // A device or pipe could block or never end.
        RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is not a regular file");
    }

    QFile file(ToQString(path));
    if (!file.open(QIODevice::ReadOnly))
        RaiseReadFailure(path, file.errorString());
    const qint64 size = file.size();
    if (std::uint64_t(size) > MaxPictureFileBytes)
        RaiseWithReason(ErrorNumber::OutOfMemory, Shown(path) + " has " + std::to_string(size) + " bytes, beyond the "
                                                      + std::to_string(MaxPictureFileBytes >> 20) + " MiB a picture file may take");
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::size_t(size));
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to read " + Shown(path));
    }
    const qint64 got = file.read(reinterpret_cast<char*>(bytes.data()), size);
    if (got < 0)
        RaiseReadFailure(path, file.errorString());
    // The file may have shrunk since its size was taken.
    bytes.resize(std::size_t(got));
    return bytes;
}

void WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    QSaveFile file(ToQString(path));
    // Unbuffered, so that every write reaches the disk here and reports its
    // failure: commit() ignores a failure of its own final flush and would
    // rename a short file over the target.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        RaiseWriteFailure(path, file.errorString());
    const auto size = qint64(bytes.size());
    // On a full disk Qt reports a short write and no error. Leaving without
    // a commit discards the temporary file and keeps any older target.
    const qint64 written = file.write(reinterpret_cast<const char*>(bytes.data()), size);
    if (written != size || !file.flush())
        RaiseWriteFailure(path, file.error() != QFileDevice::NoError
                                    ? file.errorString()
                                    : QString("only %1 of %2 bytes could be written; is the disk full?").arg(written).arg(size));
    if (!file.commit())
        RaiseWriteFailure(path, file.errorString());
}

} // namespace tollamere
