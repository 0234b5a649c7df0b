// The main window's scheduler state that the rest of the window need not see; shared by
// TevroScheduler.cpp and TevroResults.cpp.
#pragma once

#include "common/Product.h"
#include "common/Resources.h"
#include "desktop/DesktopNotifier.h"
#include "monitor/CycleSchedule.h"
#include "monitor/HostStates.h"
#include "monitor/PingWorkerFactory.h"
#include "ui/TevroPathTraceState.h"
#include "ui/Tevro_u.h"

#include <QPointer>
#include <QTimer>
#include <memory>

struct TF_Tevro::MonitorState {
    explicit MonitorState(QTimer* timer) : cycleTimer(timer) {}
    ~MonitorState() { Shutdown(); }
    MonitorState(const MonitorState&) = delete;
    MonitorState& operator=(const MonitorState&) = delete;

    tevro::PingWorkerFactory& Workers() {
        if (factory == nullptr) {
            ownWorkers = tevro::MakeThreadPingWorkers();
            factory = ownWorkers.get();
        }
        return *factory;
    }

    // The timer goes first: a tick must not start workers while the running ones are being stopped.
    void Shutdown() {
        if (shutDown)
            return;
        shutDown = true;
        if (cycleTimer)
            cycleTimer->stop();
        if (factory != nullptr)
            factory->Shutdown();
        pathTraces.Shutdown();
    }

    tevro::PingWorkerFactory* factory = nullptr; // in use; null until the first worker
    std::unique_ptr<tevro::PingWorkerFactory> ownWorkers;
    tevro::TickGrid grid;
    QPointer<QTimer> cycleTimer;
    QPointer<QWidget> alertWindow; // cleared by itself when the window is destroyed
    tevro::HostStates hostStates;
    bool notify = true;
    std::unique_ptr<tevro::DesktopNotifier> notifier; // made on the first notification
    TevroPathTraceState pathTraces;
    bool shutDown = false;
};
