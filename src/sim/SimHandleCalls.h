#pragma once

#include <functional>

class SimNtfs;

// How an open handle of a simulated volume reaches its volume's model: one call, made while
// the volume holds its lock. Answers what `call` answers.
class SimHandleCalls {
public:
    virtual bool CallModel(const std::function<bool(SimNtfs& model)>& call) = 0;

protected:
    ~SimHandleCalls() = default;
};
