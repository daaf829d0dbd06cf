// SPDX-License-Identifier: MIT
#include "look_file.h"
#include "look_store.h"
#include "look_text.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <filesystem>
#include <fstream>
#include <random>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

// A look as one text, so that two can be compared whole.
std::string Text(const NamedLook& look)
{
    return WriteLookFile(look);
}

NamedLook Named(std::string name, std::string size = "5")
{
    NamedLook look;
    look.name = std::move(name);
    look.bevelSize = std::move(size);
    return look;
}

NamedLook EveryChoiceSet()
{
    NamedLook look{"Ünïcode / mine\\2", "7.5", "-45", "60", {}};
    look.look.technique = BevelTechnique::Chisel;
    look.look.profile = BevelProfile::Cove;
    look.look.depthPercent = 1000;
    look.look.direction = BevelDirection::Down;
    look.look.style = BevelStyle::Emboss;
    look.look.softenRadius = 64;
    look.look.shapeSource = {ShapeSourceKind::Luma, 255};
    look.look.highlight = {{0xFFCC00, 80}, BlendMode::Screen};
    look.look.shadow = {{0x102030, 0}, BlendMode::Overlay};
    return look;
}

TEST(LookFileTest, EveryLookReadsBackAsWritten)
{
    std::vector<NamedLook> looks = ShippedLooks();
    looks.push_back(EveryChoiceSet());
    for (const NamedLook& look : looks) {
        const LookReading reading = ReadLookFile(WriteLookFile(look));
        ASSERT_TRUE(reading.look) << look.name << ": " << reading.error;
        EXPECT_EQ(Text(*reading.look), Text(look));
        EXPECT_TRUE(reading.warnings.empty()) << look.name;
    }
    EXPECT_EQ(ShippedLooks().front().name, "Classic");
    EXPECT_EQ(Text(ShippedLooks().front()), Text(Named("Classic")));
}

TEST(LookFileTest, WhatIsNotALookIsRefusedWithItsLine)
{
    const std::string head = "tollamere-look = 1\nname = x\n";
    const std::string notLook = "it does not start with \"tollamere-look = 1\", so it is not a look file";
    const struct {
        std::string text;
        std::string error;
    } rows[] = {
        {"", "it is empty, so not a look file"},
        {"# only a comment\n\n", "it is empty, so not a look file"},
        {"hello\n", notLook},
        {"name = x\ntollamere-look = 1\n", notLook},
        {"tollamere-look = one\n", notLook},
        {"tollamere-look = 1\n", "it names no look (a line \"name = ...\")"},
        {head + "depth\n", "line 3: a line of a look file reads \"key = value\", not \"depth\""},
        {head + "\n  depth = 1001 \r\n", "line 4: depth needs a whole number of percent from 0 to 1000, not \"1001\""},
        {head + "technique = Smooth\n", "line 3: technique takes classic, smooth or chisel, not \"Smooth\""},
        {head + "size = 255\n", "line 3: size needs a bevel size from 0 to 254, not \"255\""},
        {head + "angle = north\n", "line 3: angle needs a number, not \"north\""},
        {head + "elevation = 1e999\n", "line 3: elevation needs degrees few enough to give the light a direction, not \"1e999\""},
        {"tollamere-look = 1\nname =\n", "line 2: a look needs a name"},
        {"tollamere-look = 1\nname = a\tb\n", "line 2: a look's name may not hold a control character"},
        {"tollamere-look = 1\nname = " + std::string(101, 'n') + "\n", "line 2: a look's name may take at most 100 bytes"},
        {head + "# caf\xE9\n", "it is not UTF-8 text, so not a look file"},
        {head + std::string(MaxLookFileBytes, '#'), "it is larger than a look file can be"},
    };
    for (const auto& row : rows) {
        const LookReading reading = ReadLookFile(row.text);
        EXPECT_FALSE(reading.look) << row.error;
        EXPECT_EQ(reading.error, row.error);
    }
}

// A later version's file is read for what this one knows.
TEST(LookFileTest, UnknownKeysAreLeftOutWithAWarning)
{
    const LookReading reading =
        ReadLookFile("tollamere-look = 3\nname = Later\nglow = 12\ntechnique = smooth\nsize = 9\n");
    ASSERT_TRUE(reading.look) << reading.error;
    EXPECT_EQ(reading.look->look.technique, BevelTechnique::Smooth);
    EXPECT_EQ(reading.look->bevelSize, "9");
    EXPECT_EQ(reading.warnings,
              (std::vector<std::string>{"it was written by a later version of Tollamere; what this one does not know is "
                                        "left out",
                                        "line 3: \"glow\" is not known to this version; left out"}));
}

class LookStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tollamere-looks-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(root_.string()));
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
};

TEST_F(LookStoreTest, SavedLooksAreFoundByNameAndFilesByPath)
{
    const LookStore store;
    const NamedLook mine = EveryChoiceSet();
    ASSERT_EQ(store.Save(mine), std::nullopt);
    NamedLook other = Named("Two", "3");
    ASSERT_EQ(store.Save(other), std::nullopt);
    // A shipped look's name, in any case, stays the shipped look's.
    for (const std::string name : {"Glass pill", "glass PILL"})
        EXPECT_EQ(store.Save(Named(name)),
                  "\"" + name + "\" is a look that comes with Tollamere; save yours under another name");
    EXPECT_EQ(store.Save(Named("")), "a look needs a name");
    EXPECT_EQ(store.Saved().size(), 2u);
    EXPECT_EQ(store.All().size(), ShippedLooks().size() + 2);

    // The exact name first, then any case; saving again replaces.
    ASSERT_TRUE(store.Find(mine.name));
    EXPECT_EQ(Text(*store.Find(mine.name)), Text(mine));
    EXPECT_EQ(store.Find("glass pill")->bevelSize, "24");
    EXPECT_EQ(store.Find("TWO")->bevelSize, "3");
    other.bevelSize = "4";
    ASSERT_EQ(store.Save(other), std::nullopt);
    EXPECT_EQ(store.Find("two")->bevelSize, "4");
    EXPECT_EQ(store.Saved().size(), 2u);
    store.Remove(other.name);
    EXPECT_FALSE(store.Find("nothing"));

    // A file, written and read back; a name wins over a file of that name.
    const fs::path file = root_ / "mine.look";
    WriteLookToFile(mine, file);
    const LookReading fromFile = FindLook(store, file.string());
    ASSERT_TRUE(fromFile.look) << fromFile.error;
    EXPECT_EQ(Text(*fromFile.look), Text(mine));
    std::ofstream(root_ / "Classic") << "not a look";
    EXPECT_EQ(FindLook(store, "Classic").look->name, "Classic");
    std::ofstream(root_ / "plain.txt") << "not a look";
    EXPECT_EQ(FindLook(store, (root_ / "plain.txt").string()).error,
              (root_ / "plain.txt").string() + ": it does not start with \"tollamere-look = 1\", so it is not a look file");
    EXPECT_EQ(FindLook(store, "nothing").error, "no look is named \"nothing\", and no file either");
    fs::create_directories(root_ / "folder.look");
    EXPECT_FALSE(FindLook(store, (root_ / "folder.look").string()).look);
}

} // namespace
} // namespace tollamere
