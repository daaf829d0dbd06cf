// SPDX-License-Identifier: MIT
#include "isolated_run.h"

#include "child_process.h"
#include "run_steps.h"

#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace tollamere {
namespace {

// What the child sends, one record an event: a tag, then its fields, each
// ended by a NUL (no path holds one).
constexpr char StartedTag = 'S';   // item, row
constexpr char FinishedTag = 'E';  // item, row, outcome, output
constexpr char DoneTag = 'D';      // the run returned

std::string Field(std::string_view text)
{
    return std::string(text) + '\0';
}

std::string Field(std::size_t number)
{
    return Field(std::to_string(number));
}

// Passes the run's events on to the child's observer, and tells the parent
// which items started and ended.
class ChannelReports : public ConversionObserver {
public:
    ChannelReports(ConversionObserver& inner, int channel) : inner_(inner), channel_(channel) {}

    void Refused(RunRefusal reason, const std::string& detail) override { inner_.Refused(reason, detail); }
    void ItemStarted(const ItemStart& start) override
    {
        SendOnChannel(channel_, StartedTag + Field(start.item) + Field(start.row));
        inner_.ItemStarted(start);
    }
    void Failure(const ConversionFailure& failure) override { inner_.Failure(failure); }
    void Written(std::size_t item, const std::string& outputPath) override { inner_.Written(item, outputPath); }
    void Finished(const ItemResult& result) override
    {
        inner_.Finished(result);
        SendOnChannel(channel_, FinishedTag + Field(result.item) + Field(result.row) +
                                    Field(std::size_t(result.outcome)) + Field(result.outputPath));
    }
    void Ended(const ConversionSummary& summary) override { inner_.Ended(summary); }

private:
    ConversionObserver& inner_;
    int channel_;
};

struct Ended {
    std::size_t row = 0;
    ItemResult::Outcome outcome = ItemResult::Outcome::Failed;
    std::string output;
};

// What the parent learnt of a child's run.
struct Heard {
    std::map<std::size_t, std::size_t> startedRows;  // item -> row
    std::vector<Ended> ended;                        // in item order
    bool done = false;
};

Heard Read(const std::string& sent)
{
    Heard heard;
    std::size_t at = 0;
    const auto next = [&]() -> std::optional<std::string> {
        const std::size_t end = sent.find('\0', at);
        if (end == std::string::npos)
            return std::nullopt;
        std::string field = sent.substr(at, end - at);
        at = end + 1;
        return field;
    };
    const auto number = [&]() -> std::optional<std::size_t> {
        const std::optional<std::string> field = next();
        if (!field || field->empty() || field->find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoull(*field);
    };
    while (at < sent.size()) {
        const char tag = sent[at++];
        if (tag == DoneTag) {
            heard.done = true;
        } else if (tag == StartedTag) {
            const std::optional<std::size_t> item = number(), row = number();
            if (!item || !row)
                break;
            heard.startedRows[*item] = *row;
        } else if (tag == FinishedTag) {
            const std::optional<std::size_t> item = number(), row = number(), outcome = number();
            std::optional<std::string> output = next();
            if (!item || !row || !outcome || !output || *outcome > std::size_t(ItemResult::Outcome::Refused))
                break;
            heard.ended.push_back({*row, ItemResult::Outcome(*outcome), std::move(*output)});
        } else {
            break;  // cut off in the middle of a record
        }
    }
    return heard;
}

void Count(const Heard& heard, IsolatedRunEnd& end)
{
    for (const Ended& item : heard.ended) {
        ++end.summary.items;
        switch (item.outcome) {
        case ItemResult::Outcome::Written:
            ++end.summary.written;
            end.written.push_back(item.output);
            break;
        case ItemResult::Outcome::Skipped: ++end.summary.skipped; break;
        default: ++end.summary.failed; break;
        }
    }
}

// The run in one child: what it heard and how the child ended.
std::pair<Heard, ChildEnd> RunInChild(const ConversionRequest& request, ConversionObserver& observer,
                                      std::stop_token stop, const std::function<int()>& answer)
{
    ChildEnd end = RunInChildProcess([&](int channel) {
        ChannelReports reports(observer, channel);
        RunConversion(request, reports, stop);
        SendOnChannel(channel, std::string(1, DoneTag));
        return answer();
    });
    return {Read(end.sent), std::move(end)};
}

// The input's failure when its process ended before it: one report, the
// rest of its outputs included.
void ReportCrash(ConversionObserver& observer, const ConversionRequest& request, std::size_t row,
                 const ChildEnd& how, IsolatedRunEnd& end)
{
    ConversionFailure failure;
    failure.row = row;
    failure.inputPath = request.inputPaths[row];
    failure.lineNumber = LineBevel;
    failure.number = ErrorNumber::InvalidProcedureCall;
    failure.description = "its conversion crashed (" + how.How() + "); nothing more was written for it";
    observer.Failure(failure);
    ItemResult result;
    result.row = row;
    result.inputPath = failure.inputPath;
    result.outcome = ItemResult::Outcome::Failed;
    result.reason = failure.description;
    observer.Finished(result);
    ++end.summary.items;
    ++end.summary.failed;
}

} // namespace

IsolatedRunEnd RunConversionIsolated(const ConversionRequest& request, ConversionObserver& observer,
                                     std::stop_token stop, const std::function<int()>& answer)
{
    IsolatedRunEnd end;
    const auto [heard, child] = RunInChild(request, observer, stop, answer);
    Count(heard, end);
    if (heard.done) {
        end.answer = child.exitStatus;
        return end;
    }
    // Reports come in item order, so every item before the first one not
    // ended has ended. That one's row, if it started; else the row after the
    // last one ended.
    const std::size_t first = heard.ended.size();
    const auto started = heard.startedRows.find(first);
    const std::size_t cut = started != heard.startedRows.end() ? started->second
                            : heard.ended.empty()             ? 0
                                                              : heard.ended.back().row + 1;
    const bool cutInMiddle = !heard.ended.empty() && heard.ended.back().row == cut;
    for (std::size_t row = cut; row < request.inputPaths.size(); ++row) {
        if (row == cut && cutInMiddle) {
            ReportCrash(observer, request, row, child, end);
            continue;
        }
        ConversionRequest alone = request;
        alone.inputPaths = {request.inputPaths[row]};
        alone.inputRoots = {row < request.inputRoots.size() ? request.inputRoots[row] : std::string()};
        const auto [again, how] = RunInChild(alone, observer, stop, answer);
        Count(again, end);
        if (!again.done)
            ReportCrash(observer, request, row, how, end);
        else if (end.answer == 0)
            end.answer = how.exitStatus;
    }
    return end;
}

} // namespace tollamere
