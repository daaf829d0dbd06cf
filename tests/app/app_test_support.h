// SPDX-License-Identifier: MIT
#pragma once

#include "Form1.h"
#include "fake_dialogs.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QObject>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace tollamere {

// The window's buttons by what they do; the names are those of the design.
constexpr const char* AddFilesButton = "PushButton1";    // "Add Image File(s)"
constexpr const char* StartButton = "PushButton2";       // "Start Converting", "Stop" during a run
constexpr const char* AddAllButton = "PushButton3";      // "Add All File(s) In Folder"
constexpr const char* HelpButton = "PushButton4";        // "Help"
constexpr const char* ClearButton = "PushButton5";       // "Clear List"
constexpr const char* SamplesButton = "PushButton6";     // "Load Sample/Example File"
constexpr const char* BrowseOutputButton = "PushButton7"; // "..." beside the output folder
constexpr const char* OutputOptionsButton = "PushButton8"; // "Options..." beside it
constexpr const char* LookButton = "PushButton9";          // "Look..." among the effect's boxes

// Test classes register themselves; the test program runs them all.
using TestFactory = std::unique_ptr<QObject> (*)();
std::vector<TestFactory>& TestClasses();

#define TOLLAMERE_REGISTER_TEST(Class)                                                                              \
    namespace {                                                                                                  \
    const bool registered##Class = [] {                                                                          \
        TestClasses().push_back([]() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); });         \
        return true;                                                                                             \
    }();                                                                                                         \
    }

// A folder the test builds and throws away.
class Sandbox {
public:
    Sandbox() = default;
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    ~Sandbox()
    {
        // QDir cannot remove a name that is not UTF-8; the byte-exact removal can.
        std::error_code error;
        std::filesystem::remove_all(QFile::encodeName(folder_.path()).toStdString(), error);
    }

    bool IsValid() const { return folder_.isValid(); }
    QString Path(const QString& relative = QString()) const
    {
        return relative.isEmpty() ? folder_.path() : folder_.path() + QLatin1Char('/') + relative;
    }

    QString Folder(const QString& relative) const
    {
        QDir().mkpath(Path(relative));
        return Path(relative);
    }

    QString File(const QString& relative, const QByteArray& content = "content") const
    {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return path;
    }

    // An asymmetric picture (a red "F" on blue) in the format the extension names.
    QString Picture(const QString& relative, QSize size = QSize(12, 10)) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(0, 40, 200));
        const int stroke = std::max(1, size.width() / 12);
        const QColor red(230, 20, 10);
        for (int y = size.height() / 10; y < size.height() * 9 / 10; ++y)
            for (int x = size.width() / 6; x < size.width() / 6 + stroke; ++x)
                image.setPixelColor(x, y, red);
        for (int x = size.width() / 6; x < size.width() * 3 / 4; ++x)
            for (int t = 0; t < stroke; ++t) {
                image.setPixelColor(x, size.height() / 10 + t, red);
                image.setPixelColor(x, size.height() * 4 / 10 + t, red);
            }
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).path());
        image.save(path);
        return path;
    }

private:
    QTemporaryDir folder_;
};

// A 32 by 32 cursor file, as a paint program writes one: directory header,
// one entry naming the hotspot, and a 32-bit bitmap with its mask.
inline QByteArray CraftCursorFile(quint16 hotspotX, quint16 hotspotY, quint16 type = 2)
{
    constexpr quint32 Side = 32;
    constexpr quint32 PixelBytes = Side * Side * 4;
    constexpr quint32 MaskBytes = Side * 4;
    constexpr quint32 InfoBytes = 40;

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << type << quint16(1);
    out << quint8(Side) << quint8(Side) << quint8(0) << quint8(0) << hotspotX << hotspotY
        << quint32(InfoBytes + PixelBytes + MaskBytes) << quint32(6 + 16);
    out << InfoBytes << qint32(Side) << qint32(2 * Side) << quint16(1) << quint16(32) << quint32(0)
        << quint32(PixelBytes + MaskBytes) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (quint32 pixel = 0; pixel < Side * Side; ++pixel)
        out << quint8(20) << quint8(30) << quint8(220) << quint8(255);
    for (quint32 byte = 0; byte < MaskBytes; ++byte)
        out << quint8(0);
    return bytes;
}

// The settings store of the program, in the temporary folder the test program set.
inline QVariant StoredValue(const QString& key)
{
    return QSettings(QStringLiteral("Tollamere"), QStringLiteral("Tollamere"))
        .value(QStringLiteral("Vessanthe/") + key);
}

inline void Store(const QString& key, const QString& value)
{
    QSettings settings(QStringLiteral("Tollamere"), QStringLiteral("Tollamere"));
    settings.setValue(QStringLiteral("Vessanthe/") + key, value);
    settings.sync();
}

inline void ClearStore()
{
    QSettings settings(QStringLiteral("Tollamere"), QStringLiteral("Tollamere"));
    settings.clear();
    settings.sync();
}

// The window as the program opens it: built, loaded, shown.
inline std::unique_ptr<Form1> OpenWindow(FakeDialogs& dialogs, const QString& programFolder,
                                         std::function<std::string()> desktopFolder = GetDesktopFolder,
                                         std::function<std::string()> fallbackFolder = GetFallbackOutputFolder)
{
    auto form = std::make_unique<Form1>(
        dialogs, Form1Environment{programFolder, std::move(desktopFolder), std::move(fallbackFolder)});
    form->Form_Load();
    form->show();
    return form;
}

template <typename Control>
Control* Find(const Form1& form, const char* name)
{
    return form.findChild<Control*>(QLatin1String(name));
}

// A button's caption as the user reads it, without its access-key marker.
inline QString Caption(const Form1& form, const char* button)
{
    return form.findChild<QPushButton*>(QLatin1String(button))->text().remove(QLatin1Char('&'));
}

inline QTreeView* InputList(const Form1& form)
{
    return Find<QTreeView>(form, "ListView1");
}

inline int RowCount(const Form1& form)
{
    return InputList(form)->model()->rowCount();
}

inline QModelIndex RowIndex(const Form1& form, int row)
{
    return InputList(form)->model()->index(row, 0);
}

inline void SelectRow(const Form1& form, int row)
{
    InputList(form)->setCurrentIndex(RowIndex(form, row));
}

// The rows as the list shows them.
inline QStringList Rows(const Form1& form)
{
    QStringList rows;
    for (int row = 0; row < RowCount(form); ++row)
        rows.push_back(RowIndex(form, row).data().toString());
    return rows;
}

} // namespace tollamere
