// A scripted resolver whose answers wait until the test opens the gate or the lookup is stopped.
#pragma once

#include "FakePing.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace tevro::testing {

class GatedResolver final : public Resolver {
public:
    FakeResolver answers;
    std::atomic<bool> open{false};
    std::atomic<int> waiting{0};
    bool ignoreStop = false; // like a resolver call that cannot be cancelled

    HostLookup ByName(const std::string& name, const StopSignal& stop) override {
        if (!Wait(stop))
            return {kLookupStopped, {}, {}};
        return answers.ByName(name, stop);
    }
    std::optional<std::string> ByAddress(const HostAddress& address, const StopSignal& stop) override {
        if (!Wait(stop))
            return std::nullopt;
        return answers.ByAddress(address, stop);
    }

private:
    bool Wait(const StopSignal& stop) {
        ++waiting;
        while (!open.load()) {
            if (!stop.Requested()) {
                stop.Wait(-1, 0, 5);
            } else if (ignoreStop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            } else {
                --waiting;
                return false;
            }
        }
        --waiting;
        return true;
    }
};

} // namespace tevro::testing
