#pragma once

class StopSignal;

// What keeps a demonstration volume busy: a scripted scenario, or a mirror of a real
// folder. An ActivityPlayer runs one on a thread of its own.
class ActivitySource {
public:
    virtual ~ActivitySource() = default;

    // Puts in place what is there before any watch starts; runs on the caller's thread.
    virtual void Prepare() = 0;
    // Keeps the volume busy until `stop` is set, and returns soon after.
    virtual void Run(StopSignal& stop) = 0;
};
