// What result processing asks of the graph and alert windows. Those windows implement these when they
// exist; until then the main window's calls reach nothing.
#pragma once

#include <QString>

namespace tevro {

class GraphFeed {
public:
    virtual ~GraphFeed() = default;
    // value −1 marks a failed attempt; loss picks the colour of a success. A bar's value is the exact
    // mean time in ms.
    virtual void SetGraphTitle(const QString& title, int value, int packetLoss) = 0;
    virtual void AddGraphBar(int series, double value, int packetLoss) = 0;
    virtual void ClearGraph() = 0;
};

class AlertControl {
public:
    virtual ~AlertControl() = default;
    // 1: configuration, 0: an alert being raised.
    virtual void SetAlertMode(int mode) = 0;
    virtual void PlayAlertSound(const QString& text) = 0;
};

} // namespace tevro
