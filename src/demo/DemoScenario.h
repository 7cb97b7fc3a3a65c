#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "demo/ActivitySource.h"
#include "sim/SimVolume.h"

// What another program does under C:\demo\ for the demonstration, one step at a time and
// looping: files created and written, an editor's save through a temporary file, renames,
// a directory with a picture, moves in and out, deletes to the recycle bin and for good,
// and at the end of each round the change journal deleted and made again.
// Each round uses names of its own, so the rounds never collide. Played, it takes one step
// every `pace`.
class DemoScenario final : public ActivitySource {
public:
    explicit DemoScenario(SimVolume& volume,
                          std::chrono::milliseconds pace = std::chrono::milliseconds(900));

    // Prepares C:\demo\ and the folders things move from and to.
    void Prepare() override;
    void Run(StopSignal& stop) override;
    // Performs the next step; answers what it did, for a reader of logs.
    std::u16string Step();
    std::size_t StepsPerRound() const { return steps_.size(); }
    std::uint64_t DemoDirectory() const { return demo_; }

private:
    std::u16string Numbered(std::u16string_view stem, std::u16string_view extension) const;

    SimVolume& volume_;
    const std::chrono::milliseconds pace_;
    std::uint64_t demo_ = 0;
    std::uint64_t downloads_ = 0;
    std::uint64_t archive_ = 0;
    std::vector<std::function<std::u16string()>> steps_;
    std::size_t next_ = 0;
    int round_ = 1;
    // What the round has made so far.
    std::uint64_t minutes_ = 0;
    std::uint64_t notes_ = 0;
    std::uint64_t photos_ = 0;
    std::uint64_t photo_ = 0;
    std::uint64_t log_ = 0;
};
