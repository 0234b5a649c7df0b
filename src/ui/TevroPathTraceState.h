// What the main window keeps about path traces: the setting, each slot's running trace and the "down"
// notification that waits for it. Part of the scheduler's state; the bodies are in TevroPathTrace.cpp.
#pragma once

#include "monitor/PathTraces.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>

struct TevroPathTraceState {
    struct Slot {
        int id = 0; // the running trace, 0 for none
        bool abandoned = false;
        bool holding = false; // a "down" notification waits for the trace
        QString summary;
        QString body;
    };

    Slot& At(int slot) { return slots.at(static_cast<std::size_t>(slot - 1)); }
    void Shutdown() {
        if (runner)
            runner->Shutdown();
    }

    bool enabled = true;                                 // "TracePath"
    std::function<tevro::PingEnvironment()> environment; // empty: the system's
    std::unique_ptr<tevro::PathTraces> runner;           // made with the first trace
    std::array<Slot, 3> slots;
};
