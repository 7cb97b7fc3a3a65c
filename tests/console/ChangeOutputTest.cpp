// Standard output as several workers write to it: whole lines, the count of change lines
// asked for and no more, and a stop asked for when the output is done or cannot be written.

#include "console/ChangeOutput.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ConsoleTestSupport.h"

namespace {

using console_test::CapturedStream;
using Result = TextStream::Result;

TEST(ChangeOutputTest, OnlyChangesCountAndTheLastOneAsksForTheStop) {
    CapturedStream stream;
    StopSignal stop;
    ChangeOutput output(stream, 2, stop);
    output.WriteNote(u"started");
    output.WriteChange(u"one");
    EXPECT_FALSE(stop.IsSet());
    output.WriteNote(u"started again");
    output.WriteChange(u"two");
    EXPECT_TRUE(stop.IsSet());
    output.WriteChange(u"three");
    output.WriteNote(u"late");
    EXPECT_EQ(stream.Lines(), (std::vector<std::string>{"started", "one", "started again", "two"}));
    EXPECT_EQ(output.ChangesWritten(), 2u);
    EXPECT_EQ(output.Outcome(), Result::Written);
}

TEST(ChangeOutputTest, WithoutACountEveryLineIsWrittenUntilTheClose) {
    CapturedStream stream;
    StopSignal stop;
    ChangeOutput output(stream, std::nullopt, stop);
    for (int i = 0; i < 1000; ++i) {
        output.WriteChange(u"x");
    }
    output.Close();
    output.WriteChange(u"after the close");
    EXPECT_EQ(stream.Lines().size(), 1000u);
    EXPECT_FALSE(stop.IsSet());
}

TEST(ChangeOutputTest, AnOutputThatCannotBeWrittenAsksForTheStopAndIsNotTriedAgain) {
    for (const Result failure : {Result::Failed, Result::ReaderGone}) {
        CapturedStream stream;
        stream.FailFrom(1, failure);
        StopSignal stop;
        ChangeOutput output(stream, 10, stop);
        output.WriteChange(u"one");
        EXPECT_FALSE(stop.IsSet());
        output.WriteChange(u"two");
        EXPECT_TRUE(stop.IsSet());
        stream.FailFrom(100, failure);  // were it tried again, it would succeed
        output.WriteChange(u"three");
        EXPECT_EQ(stream.Lines(), std::vector<std::string>{"one"});
        EXPECT_EQ(output.Outcome(), failure);
    }
}

TEST(ChangeOutputTest, WorkersWritingAtOnceGetExactlyTheCountInWholeLines) {
    CapturedStream stream;
    StopSignal stop;
    constexpr std::uint64_t kCount = 500;
    ChangeOutput output(stream, kCount, stop);
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&output, w] {
            const std::u16string line = u"worker " + std::u16string(1, u'0' + w) + u" 一行";
            for (int i = 0; i < 400; ++i) {
                output.WriteChange(line);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_TRUE(stop.IsSet());
    const auto lines = stream.Lines();
    EXPECT_EQ(lines.size(), kCount);
    const std::set<std::string> distinct(lines.begin(), lines.end());
    for (const std::string& line : distinct) {
        EXPECT_TRUE(line.size() == std::string("worker 0 一行").size() &&
                    line.starts_with("worker ") && line.ends_with(" 一行"))
            << line;
    }
}

}  // namespace
