// SPDX-License-Identifier: MIT
#include "input_list_model.h"
#include "dropped_paths.h"

#include <QMimeData>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tollamere {
namespace {

using Paths = std::vector<std::string>;

// What a view hears from the model: each change with the rows it covers.
struct Changes {
    std::vector<std::string> heard;

    explicit Changes(InputListModel& model)
    {
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex& parent, int first, int last) {
                             heard.push_back("inserted " + Range(parent, first, last));
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex& parent, int first, int last) {
                             heard.push_back("removed " + Range(parent, first, last));
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { heard.push_back("reset"); });
    }

    static std::string Range(const QModelIndex& parent, int first, int last)
    {
        return (parent.isValid() ? "below a row " : "") + std::to_string(first) + "-" + std::to_string(last);
    }
};

QStringList Shown(const InputListModel& model)
{
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown.push_back(model.data(model.index(row)).toString());
    return shown;
}

TEST(InputListModelTest, AppendsInOrderKeepingDuplicatesAndTellsTheView)
{
    InputListModel model;
    Changes changes(model);
    model.Append("/in/b.png");
    model.Append(Paths{"/in/a.png", "/in/b.png", "/in/c.png"});
    model.Append(Paths{});

    EXPECT_EQ(model.Paths(), (Paths{"/in/b.png", "/in/a.png", "/in/b.png", "/in/c.png"}));
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.RowCount(), 4);
    EXPECT_EQ(model.Row(2).path, "/in/b.png");
    EXPECT_EQ(changes.heard, (std::vector<std::string>{"inserted 0-0", "inserted 1-3"}));
    // A list: no row has rows below it.
    EXPECT_EQ(model.rowCount(model.index(0)), 0);
}

TEST(InputListModelTest, RemovesOnlyRowsThatExist)
{
    InputListModel model;
    model.Append(Paths{"/a", "/b", "/c", "/d"});
    Changes changes(model);

    model.Remove(1);
    model.Remove(-1);
    model.Remove(3);
    EXPECT_EQ(model.Paths(), (Paths{"/a", "/c", "/d"}));
    EXPECT_FALSE(model.removeRows(2, 2));
    EXPECT_FALSE(model.removeRows(0, 0));
    EXPECT_FALSE(model.removeRows(0, 1, model.index(0)));
    EXPECT_TRUE(model.removeRows(1, 2));
    EXPECT_EQ(model.Paths(), Paths{"/a"});
    EXPECT_EQ(changes.heard, (std::vector<std::string>{"removed 1-1", "removed 1-2"}));

    model.Clear();
    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(changes.heard.back(), "reset");
    EXPECT_EQ(changes.heard.size(), 3u);
}

TEST(InputListModelTest, HeaderShowsTheColumnTitleOnceSet)
{
    InputListModel model;
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("1"));
    int announced = 0;
    QObject::connect(&model, &QAbstractItemModel::headerDataChanged, [&announced] { ++announced; });
    model.SetColumnTitle(QStringLiteral("Image File(s)"));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Image File(s)"));
    EXPECT_EQ(announced, 1);
}

struct DisplayCase {
    const char* name;
    std::string path;
    QString shown;
};

class InputListDisplayTest : public ::testing::TestWithParam<DisplayCase> {};

// The row keeps its bytes for the run whatever the list shows.
TEST_P(InputListDisplayTest, ShowsTextAndKeepsBytes)
{
    InputListModel model;
    model.Append(GetParam().path);
    EXPECT_EQ(Shown(model), QStringList{GetParam().shown});
    EXPECT_EQ(model.Paths(), Paths{GetParam().path});
    EXPECT_FALSE(model.data(model.index(0), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(model.data(model.index(1)).isValid());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, InputListDisplayTest,
    ::testing::Values(DisplayCase{"Ascii", "/in/a b.png", QStringLiteral("/in/a b.png")},
                      DisplayCase{"Accented", "/in/\xC3\x89t\xC3\xA9.png",
                                  QString::fromUtf8("/in/\xC3\x89t\xC3\xA9.png")},
                      DisplayCase{"ByteOrderMarkStays", "\xEF\xBB\xBFx.png", QChar(0xFEFF) + QStringLiteral("x.png")},
                      DisplayCase{"Latin1", "/in/\xE9t\xE9.png", QStringLiteral("/in/\\xE9t\\xE9.png")},
                      DisplayCase{"InvalidByteBesideItsLookAlike", "/in/x\xFF\xEF\xBF\xBD.png",
                                  QString::fromUtf8("/in/x\\xFF\xEF\xBF\xBD.png")},
                      DisplayCase{"CutSequence", "/in/x\xC3", QStringLiteral("/in/x\\xC3")},
                      DisplayCase{"Surrogate", "/in/\xED\xA0\x80", QStringLiteral("/in/\\xED\\xA0\\x80")}),
    [](const ::testing::TestParamInfo<DisplayCase>& info) { return std::string(info.param.name); });

struct DropCase {
    const char* name;
    QByteArray uriList;
    Paths paths;
};

class DroppedLocalPathsTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(DroppedLocalPathsTest, GivesEachLocalFileAsItsBytes)
{
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), GetParam().uriList);
    EXPECT_EQ(DroppedLocalPaths(&data), GetParam().paths);
}

INSTANTIATE_TEST_SUITE_P(
    Uris, DroppedLocalPathsTest,
    ::testing::Values(
        DropCase{"InDropOrder", "file:///in/b.png\r\nfile:///in/a%20b.png\r\n", {"/in/b.png", "/in/a b.png"}},
        DropCase{"Utf8", "file:///in/%C3%89t%C3%A9.png\r\n", {"/in/\xC3\x89t\xC3\xA9.png"}},
        // Decoded as text this would be U+FFFD, the name of another file.
        DropCase{"NotUtf8", "file:///in/x%FF.png\r\n", {"/in/x\xFF.png"}},
        DropCase{"ReservedCharacters", "file:///in/100%25%20%23%3F.png\r\n", {"/in/100% #?.png"}},
        DropCase{"OtherSchemesLeftOut", "https://example.org/a.png\r\nfile:///in/a.png\r\n", {"/in/a.png"}},
        DropCase{"HostKept", "file://server/share/a.png\r\n", {"//server/share/a.png"}},
        DropCase{"NoUrls", "", {}}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

TEST(DroppedDataTest, NoDataNamesNothing)
{
    EXPECT_TRUE(DroppedLocalPaths(nullptr).empty());
    QMimeData text;
    text.setText(QStringLiteral("/etc/hostname"));
    EXPECT_TRUE(DroppedLocalPaths(&text).empty());
}

} // namespace
} // namespace tollamere
