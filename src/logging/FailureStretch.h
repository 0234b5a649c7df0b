// Follows a stretch of failed writes, so that a user hears of the first failure and of the return to
// working order, and of nothing in between.
#pragma once

#include <QString>

namespace tevro {

class FailureStretch {
public:
    enum class Change { None, FirstFailure, Recovered };

    // One write lost.
    Change Failed(const QString& error) {
        m_error = error;
        return ++m_failures == 1 ? Change::FirstFailure : Change::None;
    }
    // A failure that lost nothing counted here: the stretch goes on, with this reason.
    void StillFailing(const QString& error) { m_error = error; }
    // One write done whole; it ends the stretch, if there is one.
    Change Succeeded() {
        if (m_failures == 0)
            return Change::None;
        m_failuresBefore = m_failures;
        m_failures = 0;
        return Change::Recovered;
    }

    bool Failing() const { return m_failures > 0; }
    // Writes lost in the current stretch, or in the one that has just ended.
    int Failures() const { return m_failures > 0 ? m_failures : m_failuresBefore; }
    QString LastError() const { return m_error; }

private:
    int m_failures = 0;
    int m_failuresBefore = 0;
    QString m_error;
};

} // namespace tevro
