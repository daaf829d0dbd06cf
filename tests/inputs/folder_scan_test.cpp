// SPDX-License-Identifier: MIT
#include "folder_scan.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace tollamere {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::string>;
using Skips = std::vector<std::pair<std::string, std::string>>;

constexpr const char* TildeReason = "the name starts with \"~\"";
constexpr const char* HiddenReason = "hidden file";
constexpr const char* UnsafeReason = "the name holds characters the scan does not accept";

SkipSink CollectInto(Skips& skips)
{
    return [&skips](const std::string& path, const std::string& reason) { skips.emplace_back(path, reason); };
}

// The window's rules, leaving out the output folder.
ScanExclusions Excluding(std::string outputFolder, SkipSink reportLeftOut = {})
{
    ScanExclusions exclusions;
    exclusions.outputFolder = std::move(outputFolder);
    exclusions.reportLeftOut = std::move(reportLeftOut);
    return exclusions;
}

// A folder tree built by the test in a fresh temporary folder. Paths are
// relative to its root R, which is "<temporary>/R".
class AddFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temporary_.isValid());
        root_ = temporary_.path().toStdString() + "/R";
        fs::create_directory(root_);
    }

    void TearDown() override
    {
        // The temporary folder cannot be removed through a folder that refuses listing.
        for (const std::string& folder : locked_)
            fs::permissions(folder, fs::perms::owner_all);
        // Qt would skip names that are not UTF-8; the byte-exact removal does not.
        std::error_code error;
        fs::remove_all(temporary_.path().toStdString(), error);
        EXPECT_FALSE(error) << error.message();
    }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    std::string File(const std::string& relative)
    {
        const std::string path = Path(relative);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "content of " << relative;
        return path;
    }

    std::string Folder(const std::string& relative)
    {
        const std::string path = Path(relative);
        fs::create_directories(path);
        return path;
    }

    // Answers false when the folder can still be listed (as root).
    bool Lock(const std::string& relative)
    {
        const std::string path = Path(relative);
        fs::permissions(path, fs::perms::none);
        locked_.push_back(path);
        std::error_code error;
        fs::directory_iterator listing(path, error);
        return static_cast<bool>(error);
    }

    Rows Scan(const std::string& pattern = "*.*", std::stop_token stop = {}) const
    {
        Rows rows;
        AddFolderFiles(root_, pattern, [&rows](const std::string& row) { rows.push_back(row); }, stop);
        return rows;
    }

    // What a scan with a skip sink reports; its rows must be exactly those
    // of the window's scan, which passes none.
    Skips ScanSkips(const std::string& pattern = "*.*") const
    {
        Rows rows;
        Skips skips;
        const RowSink collect = [&rows](const std::string& row) { rows.push_back(row); };
        AddFolderFiles(root_, pattern, collect, {}, CollectInto(skips));
        EXPECT_EQ(rows, Scan(pattern));
        return skips;
    }

    Rows Paths(const std::vector<std::string>& relatives) const
    {
        Rows paths;
        for (const std::string& relative : relatives)
            paths.push_back(Path(relative));
        return paths;
    }

    std::string root_;

private:
    QTemporaryDir temporary_;
    std::vector<std::string> locked_;
};

TEST(AddFolderPatternTest, MatchesLikeWindowsWildcardsIgnoringCase)
{
    EXPECT_TRUE(MatchesFilePattern("X.BMP", "*.bmp"));
    EXPECT_TRUE(MatchesFilePattern("a.b.bmp", "*.bmp"));
    EXPECT_FALSE(MatchesFilePattern("x.bmp.txt", "*.bmp"));
    EXPECT_FALSE(MatchesFilePattern("xbmp", "*.bmp"));
    EXPECT_TRUE(MatchesFilePattern("archive.tar.gz", "*.gz"));

    // "*.*" is every file: also names without a dot, and dot-files.
    EXPECT_TRUE(MatchesFilePattern("README", "*.*"));
    EXPECT_TRUE(MatchesFilePattern(".profile", "*.*"));
    EXPECT_TRUE(MatchesFilePattern("a.", "*.*"));

    EXPECT_TRUE(MatchesFilePattern("x.bmp", "*.b?p"));
    EXPECT_FALSE(MatchesFilePattern("x.bp", "*.b?p"));
    EXPECT_TRUE(MatchesFilePattern("x.jpeg", "*.jp*"));

    // An answer starting with a dot gives "*..bmp": no ordinary name has that.
    EXPECT_FALSE(MatchesFilePattern("x.bmp", "*..bmp"));
    EXPECT_FALSE(MatchesFilePattern("bmp", "*..bmp"));

    // Case is ignored beyond ASCII too.
    EXPECT_TRUE(MatchesFilePattern("\xC3\x89T\xC3\x89.PNG", "*.png"));
    EXPECT_TRUE(MatchesFilePattern("x.\xC3\xA9ps", "*.\xC3\x89PS"));
    EXPECT_FALSE(MatchesFilePattern("x.eps", "*.\xC3\xA9ps"));
}

TEST(AddFolderUnsafeNameTest, RefusesControlCodesQuestionMarkAndUndecodableBytes)
{
    EXPECT_FALSE(HasUnsafeCharacters(""));
    EXPECT_FALSE(HasUnsafeCharacters("Holiday photos (2024) ~ #1.png"));
    EXPECT_FALSE(HasUnsafeCharacters("\xC3\x89t\xC3\xA9"));          // Été
    EXPECT_FALSE(HasUnsafeCharacters("\xE6\x97\xA5\xE6\x9C\xAC"));    // two CJK letters
    EXPECT_FALSE(HasUnsafeCharacters("nbsp\xC2\xA0" "after"));        // U+00A0, just past the range

    EXPECT_TRUE(HasUnsafeCharacters("tab\there"));
    EXPECT_TRUE(HasUnsafeCharacters("line\nbreak"));
    EXPECT_TRUE(HasUnsafeCharacters("unit\x1F"));
    EXPECT_TRUE(HasUnsafeCharacters("delete\x7F"));
    EXPECT_TRUE(HasUnsafeCharacters("c1\xC2\x80"));                   // U+0080
    EXPECT_TRUE(HasUnsafeCharacters("c1\xC2\x9F"));                   // U+009F
    EXPECT_TRUE(HasUnsafeCharacters("what?"));

    EXPECT_TRUE(HasUnsafeCharacters("latin1 \xE9t\xE9"));             // not UTF-8
    EXPECT_TRUE(HasUnsafeCharacters("\xFF"));
    EXPECT_TRUE(HasUnsafeCharacters("cut \xC3"));
    EXPECT_TRUE(HasUnsafeCharacters("overlong \xC0\xAF"));
    EXPECT_TRUE(HasUnsafeCharacters("surrogate \xED\xA0\x80"));
}

TEST_F(AddFolderTest, IsExistingFileTellsRegularFilesOnly)
{
    const std::string file = File("picture.png");
    const std::string folder = Folder("folder");
    fs::create_symlink(file, Path("link.png"));
    fs::create_symlink(Path("missing.png"), Path("dangling.png"));
    fs::create_symlink(folder, Path("folder-link"));

    EXPECT_TRUE(IsExistingFile(file));
    EXPECT_TRUE(IsExistingFile(Path("link.png")));
    EXPECT_FALSE(IsExistingFile(folder));
    EXPECT_FALSE(IsExistingFile(Path("folder-link")));
    EXPECT_FALSE(IsExistingFile(Path("missing.png")));
    EXPECT_FALSE(IsExistingFile(Path("dangling.png")));
    EXPECT_FALSE(IsExistingFile(""));
    // The NUL would otherwise cut the path back to the existing file.
    EXPECT_FALSE(IsExistingFile(file + std::string(1, '\0') + "more"));
}

TEST_F(AddFolderTest, ListFilesGivesMatchingFilesInListingOrder)
{
    for (int number = 0; number < 151; ++number)
        File("many/file" + std::to_string(number) + ".png");
    Folder("many/sub.png");
    const Rows many = ListFiles(Path("many"), "*.png");
    ASSERT_EQ(many.size(), 151u);
    EXPECT_EQ(many.front(), "file0.png");
    EXPECT_EQ(many[1], "file1.png");
    EXPECT_EQ(many[2], "file10.png");
    EXPECT_EQ(many.back(), "file99.png");
    EXPECT_EQ(ListFiles(Path("many/"), "*.png"), many);

    for (const char* name : {"b.png", "C.png", "a.png", "A.png", "_x.png", ".dot.png", "~t.png", "z.txt"})
        File(std::string("order/") + name);
    const Rows expected{".dot.png", "A.png", "a.png", "b.png", "C.png", "_x.png", "~t.png"};
    EXPECT_EQ(ListFiles(Path("order"), "*.PNG"), expected);

    // Names differing only in case come in byte order, whatever order they
    // were created (and so listed by the file system) in.
    Rows variants;
    for (unsigned mask = 0; mask < 32; ++mask) {
        std::string name = "abcde.png";
        for (unsigned letter = 0; letter < 5; ++letter)
            if (mask & (1u << letter))
                name[letter] = static_cast<char>(name[letter] - 'a' + 'A');
        variants.push_back(name);
    }
    std::shuffle(variants.begin(), variants.end(), std::mt19937(7));
    for (const std::string& name : variants)
        File("case/" + name);
    std::sort(variants.begin(), variants.end());
    EXPECT_EQ(ListFiles(Path("case"), "*.*"), variants);

    EXPECT_TRUE(ListFiles(Path("order"), "*.gif").empty());
    EXPECT_TRUE(ListFiles(Path("absent"), "*.*").empty());
    EXPECT_TRUE(ListFiles("", "*.*").empty());
}

TEST_F(AddFolderTest, ScanGivesFolderFilesFirstThenEachLevel)
{
    File("r2.png");
    File("r1.png");
    File("B/b.png");
    File("A/a.png");
    File("B/B1/b1.png");
    File("A/A1/a1.png");
    File("A/A1/A2/a2.png");
    Folder("A/empty");
    EXPECT_EQ(Scan(), Paths({"r1.png", "r2.png", "A/a.png", "B/b.png", "A/A1/a1.png", "B/B1/b1.png", "A/A1/A2/a2.png"}));

    std::vector<std::string> oneLevel{Path("A") + "/", Path("B") + "/"};
    CollectSubFolders(oneLevel, false);
    EXPECT_EQ(oneLevel, Paths({"A/", "B/", "A/A1/", "A/empty/", "B/B1/"}));

    std::vector<std::string> wholeTree{Path("A") + "/", Path("B") + "/"};
    CollectSubFolders(wholeTree, true);
    EXPECT_EQ(wholeTree, Paths({"A/", "B/", "A/A1/", "A/empty/", "B/B1/", "A/A1/A2/"}));
}

TEST_F(AddFolderTest, ScanFollowsThePatternAndLeavesOutTildeAndHiddenFiles)
{
    File("X.BMP");
    File("y.bmp");
    File("x.bmp.txt");
    File("README");
    File("~draft.bmp");
    File(".hidden.bmp");
    File(".config/inside.bmp");
    File("~folder/kept.bmp");
    // A read-only dot-file has the value 35, not the 34 the scan leaves out.
    const std::string readOnly = File(".locked.bmp");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    EXPECT_EQ(Scan("*.bmp"), Paths({".locked.bmp", "X.BMP", "y.bmp", ".config/inside.bmp", "~folder/kept.bmp"}));
    EXPECT_EQ(Scan("*.*"), Paths({".locked.bmp", "README", "X.BMP", "x.bmp.txt", "y.bmp", ".config/inside.bmp",
                                  "~folder/kept.bmp"}));
    EXPECT_TRUE(Scan("*..bmp").empty());

    // Files outside the pattern were not asked for, so they are not skipped.
    const Skips skips{{Path(".hidden.bmp"), HiddenReason}, {Path("~draft.bmp"), TildeReason}};
    EXPECT_EQ(ScanSkips("*.bmp"), skips);
    EXPECT_EQ(ScanSkips("*.*"), skips);
    EXPECT_TRUE(ScanSkips("*.png").empty());
}

TEST_F(AddFolderTest, ScanSkipsUnsafeNamesButNotAccentedOnes)
{
    File("control\x01/a.png");
    File("delete\x7F/a.png");
    File("c1\xC2\x85/a.png");
    File("what?/a.png");
    File("latin1 \xE9t\xE9/a.png");
    File("line\nbreak.png");
    File("\xFF.png");
    File("caf\xC3\xA9.png");
    File("\xC3\x89t\xC3\xA9/photo.png");
    EXPECT_EQ(Scan(), Paths({"caf\xC3\xA9.png", "\xC3\x89t\xC3\xA9/photo.png"}));

    // Folders come first (the tree is walked before files are listed), each
    // group in listing order; an undecodable byte sorts as U+FFFD, last.
    EXPECT_EQ(ScanSkips(), (Skips{{Path("c1\xC2\x85/"), UnsafeReason},
                                  {Path("control\x01/"), UnsafeReason},
                                  {Path("delete\x7F/"), UnsafeReason},
                                  {Path("latin1 \xE9t\xE9/"), UnsafeReason},
                                  {Path("what?/"), UnsafeReason},
                                  {Path("line\nbreak.png"), UnsafeReason},
                                  {Path("\xFF.png"), UnsafeReason}}));
}

// The command line's rules: every name is taken, and a dot name is hidden,
// a folder's as a file's (read-only or not); the window's rules stay.
TEST_F(AddFolderTest, CommandLineRulesTakeEveryNameAndSkipHiddenFolders)
{
    File("tab\there.png");
    File("latin1 \xE9t\xE9/a.png");
    File(".cache/x.png");
    File("~draft.png");
    fs::permissions(File(".read-only.png"), fs::perms::owner_read);
    File("A/.hidden.png");
    ScanExclusions rules;
    rules.everyName = true;
    Rows rows;
    Skips skips;
    AddFolderFiles(root_, "*.*", [&rows](const std::string& row) { rows.push_back(row); }, {}, CollectInto(skips), rules);
    EXPECT_EQ(rows, Paths({"tab\there.png", "latin1 \xE9t\xE9/a.png"}));
    EXPECT_EQ(skips, (Skips{{Path(".cache/"), "hidden folder"},
                            {Path(".read-only.png"), HiddenReason},
                            {Path("~draft.png"), TildeReason},
                            {Path("A/.hidden.png"), HiddenReason}}));
    // The window's scan still enters the dot folder and takes the read-only dot file.
    EXPECT_EQ(Scan(), Paths({".read-only.png", ".cache/x.png"}));
}

TEST_F(AddFolderTest, RefusedFolderIsDroppedAndItsSiblingsScanned)
{
    File("r.png");
    File("A/a.png");
    File("A/A1/a1.png");
    File("B/b.png");
    File("C/c.png");
    if (!Lock("B"))
        GTEST_SKIP() << "folder permissions are not enforced for this user (running as root)";
    EXPECT_EQ(Scan(), Paths({"r.png", "A/a.png", "C/c.png", "A/A1/a1.png"}));
    const Skips refused{{Path("B/"), "the folder cannot be listed: permission denied"}};
    EXPECT_EQ(ScanSkips(), refused);

    std::vector<std::string> folders{Path("A") + "/", Path("B") + "/", Path("C") + "/"};
    Skips skips;
    CollectSubFolders(folders, true, {}, CollectInto(skips));
    EXPECT_EQ(folders, Paths({"A/", "C/", "A/A1/"}));
    EXPECT_EQ(skips, refused);

    // The folder the user chose may itself be the one refused.
    skips.clear();
    AddFolderFiles(Path("B"), "*.*", [](const std::string& row) { ADD_FAILURE() << row; }, {}, CollectInto(skips));
    EXPECT_EQ(skips, refused);

    // Heard as a fault, apart from the skips, where the caller asks.
    skips.clear();
    Skips unlisted;
    ScanExclusions exclusions;
    exclusions.reportUnlisted = CollectInto(unlisted);
    AddFolderFiles(root_, "*.*", [](const std::string&) {}, {}, CollectInto(skips), exclusions);
    EXPECT_TRUE(skips.empty());
    EXPECT_EQ(unlisted, refused);
}

TEST_F(AddFolderTest, SymbolicLinksToFoldersAreNotFollowed)
{
    File("r.png");
    File("A/a.png");
    fs::create_directory_symlink(root_, Path("A/loop"));
    fs::create_directory_symlink(Path("A"), Path("B"));
    fs::create_symlink(Path("r.png"), Path("A/link.png"));
    fs::create_symlink(Path("gone.png"), Path("A/dangling.png"));
    // A link is not a hidden archive file (34) even with a dot name.
    fs::create_symlink(Path("r.png"), Path("A/.dot-link.png"));
    EXPECT_EQ(Scan(), Paths({"r.png", "A/.dot-link.png", "A/a.png", "A/link.png"}));

    // Left out by design: heard of apart from the skips, which stay empty.
    Skips skips;
    Skips leftOut;
    AddFolderFiles(root_, "*.*", [](const std::string&) {}, {}, CollectInto(skips),
                   Excluding("", CollectInto(leftOut)));
    EXPECT_TRUE(skips.empty());
    EXPECT_EQ(leftOut, (Skips{{Path("B/"), std::string(FolderLinkReason)},
                              {Path("A/loop/"), std::string(FolderLinkReason)}}));

    // The chosen folder itself may be a link: the user picked it.
    Rows throughLink;
    AddFolderFiles(Path("B"), "*.png", [&throughLink](const std::string& row) { throughLink.push_back(row); });
    EXPECT_EQ(throughLink, Paths({"B/.dot-link.png", "B/a.png", "B/link.png"}));
}

// The output folder is the same folder however it is named; another folder
// of the same name is not it, and the scanned folder itself is always scanned.
TEST_F(AddFolderTest, OutputFolderIsLeftOutByIdentity)
{
    File("r.png");
    File("out/o.png");
    File("A/a.png");
    File("A/out/x.png");
    const fs::path outside = fs::path(root_).parent_path() / "outside";
    fs::create_directory_symlink(Path("out"), outside);
    const Skips output{{Path("out/"), std::string(OutputFolderReason)}};
    const struct {
        std::string outputFolder;
        Rows rows;
        Skips leftOut;
    } rows[] = {
        {Path("out"), Paths({"r.png", "A/a.png", "A/out/x.png"}), output},
        {Path("A/../out/"), Paths({"r.png", "A/a.png", "A/out/x.png"}), output},
        {outside.string(), Paths({"r.png", "A/a.png", "A/out/x.png"}), output},
        {Path("A/out"), Paths({"r.png", "A/a.png", "out/o.png"}), {{Path("A/out/"), std::string(OutputFolderReason)}}},
        {root_, Paths({"r.png", "A/a.png", "out/o.png", "A/out/x.png"}), {}},
        {Path("absent"), Paths({"r.png", "A/a.png", "out/o.png", "A/out/x.png"}), {}},
    };
    for (const auto& row : rows) {
        Rows found;
        Skips leftOut;
        AddFolderFiles(root_, "*.png", [&found](const std::string& path) { found.push_back(path); }, {}, {},
                       Excluding(row.outputFolder, CollectInto(leftOut)));
        EXPECT_EQ(found, row.rows) << row.outputFolder;
        EXPECT_EQ(leftOut, row.leftOut) << row.outputFolder;
    }

    Rows dropped;
    AddDroppedPaths({root_}, [&dropped](const std::string& path) { dropped.push_back(path); }, {},
                    Excluding(outside.string()));
    EXPECT_EQ(dropped, Paths({"r.png", "A/a.png", "A/out/x.png"}));
}

TEST_F(AddFolderTest, FolderPathIsWrittenWithSingleSeparators)
{
    File("r.png");
    File("A/a.png");
    Rows rows;
    const RowSink collect = [&rows](const std::string& row) { rows.push_back(row); };
    AddFolderFiles(root_ + "//", "*.*", collect);
    AddFolderFiles(Path("A") + "/", "*.*", collect);
    EXPECT_EQ(rows, Paths({"r.png", "A/a.png", "A/a.png"}));

    rows.clear();
    AddFolderFiles("", "*.*", collect);
    AddFolderFiles(Path("absent"), "*.*", collect);
    EXPECT_TRUE(rows.empty());
}

TEST_F(AddFolderTest, DropAddsFilesAsDroppedAndScansFolders)
{
    File("drop/~x.txt");
    File("drop/notes.txt");
    File("D/d.png");
    File("D/~skip.png");
    File("D/.hidden");
    File("D/sub/s.png");
    // Names that are not UTF-8 keep their bytes, in a dropped file and below a dropped folder.
    File("\xFF.png");
    File("latin1 \xE9t\xE9/e.png");
    const Rows dropped{Path("drop/~x.txt"), Path("D"), Path("absent/ghost.png"), Path("drop//notes.txt"),
                       Path("D") + "/", Path("\xFF.png"), Path("latin1 \xE9t\xE9")};
    Rows rows;
    const RowSink collect = [&rows](const std::string& row) { rows.push_back(row); };
    AddDroppedPaths(dropped, collect);
    EXPECT_EQ(rows, Paths({"drop/~x.txt", "D/d.png", "D/sub/s.png", "absent/ghost.png", "drop//notes.txt", "D/d.png",
                           "D/sub/s.png", "\xFF.png", "latin1 \xE9t\xE9/e.png"}));

    rows.clear();
    AddDroppedPaths({}, collect);
    EXPECT_TRUE(rows.empty());
}

TEST_F(AddFolderTest, StopRequestEndsTheScanAtTheNextFolder)
{
    File("r1.png");
    File("r2.png");
    File("A/a.png");
    File("B/b.png");

    std::stop_source alreadyStopped;
    alreadyStopped.request_stop();
    EXPECT_TRUE(Scan("*.*", alreadyStopped.get_token()).empty());
    Rows dropRows;
    AddDroppedPaths({Path("r1.png"), Path("A")}, [&dropRows](const std::string& row) { dropRows.push_back(row); },
                    alreadyStopped.get_token());
    EXPECT_TRUE(dropRows.empty());

    std::stop_source stopOnFirstRow;
    Rows rows;
    AddFolderFiles(root_, "*.*",
                   [&](const std::string& row) {
                       rows.push_back(row);
                       stopOnFirstRow.request_stop();
                   },
                   stopOnFirstRow.get_token());
    EXPECT_EQ(rows, Paths({"r1.png", "r2.png"}));
}

TEST_F(AddFolderTest, FoldersRemovedDuringTheScanEndQuietly)
{
    File("r1.png");
    File("r2.png");
    File("A/a.png");
    File("A/A1/a1.png");
    File("B/b.png");
    File("B/B1/b1.png");

    Rows rows;
    AddFolderFiles(root_, "*.*", [&](const std::string& row) {
        if (rows.empty())
            fs::remove_all(Path("B"));
        rows.push_back(row);
    });
    EXPECT_EQ(rows, Paths({"r1.png", "r2.png", "A/a.png", "A/A1/a1.png"}));

    rows.clear();
    File("B/b.png");
    AddFolderFiles(root_, "*.*", [&](const std::string& row) {
        if (rows.empty())
            fs::remove_all(root_);
        rows.push_back(row);
    });
    EXPECT_EQ(rows, Paths({"r1.png"}));
}

} // namespace
} // namespace tollamere
