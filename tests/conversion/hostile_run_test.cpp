// SPDX-License-Identifier: MIT
#include "conversion_run.h"

#include "path_text.h"
#include "hostile_corpus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

namespace tollamere {
namespace {

using test::Outcome;

struct CollectingObserver : ConversionObserver {
    void Refused(RunRefusal reason, const std::string&) override { refusals.push_back(reason); }
    void Failure(const ConversionFailure& failure) override { failures.push_back(failure); }
    void Ended(const ConversionSummary& summary) override { ends.push_back(summary); }
    void Written(std::size_t item, const std::string& outputPath) override { written[item] = outputPath; }

    std::vector<ConversionFailure> failures;
    std::vector<RunRefusal> refusals;
    std::vector<ConversionSummary> ends;
    std::map<std::size_t, std::string> written;
};

TEST(HostileRunTest, EveryItemEndsInOneOutcomeAndNothingIsLost)
{
    test::TempFolder sandbox;
    std::filesystem::create_directories(sandbox / "in");
    std::filesystem::create_directories(sandbox / "out");
    const std::vector<test::HostileFile> corpus = test::WriteHostileCorpus(sandbox / "in");
    std::map<std::filesystem::path, test::Bytes> before;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox / "in"))
        before[entry.path()] = test::ReadBytes(entry.path());

    ConversionRequest request;
    for (const test::HostileFile& file : corpus)
        request.inputPaths.push_back(ToPathText(file.path));
    request.outputFolder = ToPathText(sandbox / "out");
    CollectingObserver observer;
    const auto start = std::chrono::steady_clock::now();
    const ConversionSummary summary = RunConversion(request, observer);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    RecordProperty("hostile_files", int(corpus.size()));
    RecordProperty("milliseconds", int(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));

    std::map<std::size_t, const ConversionFailure*> failed;
    for (const ConversionFailure& failure : observer.failures) {
        EXPECT_TRUE(failed.emplace(failure.item, &failure).second) << "two failures for " << failure.inputPath;
        ASSERT_LT(failure.item, corpus.size());
        EXPECT_EQ(failure.inputPath, ToPathText(corpus[failure.item].path));
        EXPECT_FALSE(failure.description.empty());
    }
    for (std::size_t item = 0; item < corpus.size(); ++item) {
        const test::HostileFile& file = corpus[item];
        const bool wasWritten = observer.written.contains(item);
        EXPECT_NE(wasWritten, failed.contains(item)) << file.path << " must end in exactly one outcome";
        if (file.outcome == Outcome::Written) {
            EXPECT_TRUE(wasWritten) << file.path << ": " << (failed.contains(item) ? failed[item]->description : "");
        }
        if (file.outcome == Outcome::Fails) {
            EXPECT_TRUE(failed.contains(item)) << file.path << " was written";
        }
        if (file.error && failed.contains(item)) {
            EXPECT_EQ(failed[item]->number, *file.error) << file.path << ": " << failed[item]->description;
            EXPECT_EQ(failed[item]->lineNumber, 154);
        }
    }
    EXPECT_EQ(summary.written + summary.failed, corpus.size());
    EXPECT_TRUE(observer.refusals.empty());
    ASSERT_EQ(observer.ends.size(), 1u);
    EXPECT_EQ(observer.ends[0].written, summary.written);
    EXPECT_FALSE(observer.ends[0].stopped);

    // The output folder holds the written files and nothing else, each a
    // picture that loads again.
    std::set<std::string> expected;
    for (const auto& [item, output] : observer.written)
        expected.insert(output);
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox / "out")) {
        present.insert(ToPathText(entry.path()));
        EXPECT_NO_THROW(LoadPictureFile(entry.path())) << entry.path();
    }
    EXPECT_EQ(present, expected);

    // Every input is still there, byte for byte, and nothing was added beside them.
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox / "in")) {
        ++inputs;
        EXPECT_EQ(test::ReadBytes(entry.path()), before[entry.path()]) << entry.path() << " changed";
    }
    EXPECT_EQ(inputs, before.size());
}

// Pictures larger than their headers say, on four workers: a budget that
// holds one real picture at a time has them wait for each other, each giving
// back what it held; one too small for any fails them, naming the real size.
TEST(HostileRunTest, PicturesLargerThanTheirHeadersWaitForRoomOrFail)
{
    test::TempFolder sandbox;
    std::filesystem::create_directories(sandbox / "out");
    ConversionRequest request;
    for (int i = 0; i < 4; ++i) {
        const std::filesystem::path path = sandbox / ("lying" + std::to_string(i) + ".avif");
        test::WriteBytes(path, test::AvifLargerThanDeclared());
        request.inputPaths.push_back(ToPathText(path));
    }
    request.outputFolder = ToPathText(sandbox / "out");
    request.workers = 4;
    // 96 x 80 pixels need about 0.4 MiB as the run counts them.
    for (const std::uint64_t budget : {std::uint64_t{600} << 10, std::uint64_t{100} << 10}) {
        request.memoryBudget = budget;
        CollectingObserver observer;
        const ConversionSummary summary = RunConversion(request, observer);
        if (budget > (std::uint64_t{500} << 10)) {
            EXPECT_EQ(summary.written, 4u) << (observer.failures.empty() ? "" : observer.failures[0].description);
            continue;
        }
        EXPECT_EQ(summary.failed, 4u);
        for (const ConversionFailure& failure : observer.failures) {
            EXPECT_EQ(failure.number, ErrorNumber::OutOfMemory);
            EXPECT_EQ(failure.description.rfind("Out of memory: " + failure.inputPath + " holds a picture of 96 x 80 pixels", 0), 0u)
                << failure.description;
            EXPECT_NE(failure.description.find("beyond the 1 MiB this run may take"), std::string::npos) << failure.description;
        }
    }
}

TEST(HostileRunTest, AWrongExtensionIsReadByContentAndWrittenByName)
{
    test::TempFolder sandbox;
    std::filesystem::create_directories(sandbox / "out");
    const Picture busy = test::BusyPicture(30, 20);
    test::WriteBytes(sandbox / "photo.jpg", test::EncodedAs(busy, false, "png", sandbox.Path()));
    test::WriteBytes(sandbox / "button.png", test::EncodedAs(busy, false, "jpg", sandbox.Path()));

    ConversionRequest request;
    request.inputPaths = {ToPathText(sandbox / "photo.jpg"), ToPathText(sandbox / "button.png")};
    request.outputFolder = ToPathText(sandbox / "out");
    CollectingObserver observer;
    RunConversion(request, observer);
    ASSERT_TRUE(observer.failures.empty()) << observer.failures.front().description;
    const test::Bytes jpeg = test::ReadBytes(sandbox / "out" / "photo.jpg");
    const test::Bytes png = test::ReadBytes(sandbox / "out" / "button.png");
    ASSERT_GE(jpeg.size(), 3u);
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(png[2], 'N');
}

} // namespace
} // namespace tollamere
