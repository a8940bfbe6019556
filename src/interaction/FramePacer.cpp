// FramePacer: frame scheduling and the tick and frame rates.
#include "interaction/FramePacer.h"

#include <algorithm>

namespace {
/// Weight of the newest frame in the smoothed frame time: one unusually slow or fast frame moves
/// the schedule only a little.
constexpr double kCostSmoothing = 0.25;
}  // namespace

void FramePacer::tickDone(double nowMs) {
    m_frameDue = true;
    countInWindow(nowMs);
    ++m_windowTicks;
    ++m_ticksTotal;
}

double FramePacer::msUntilNextFrame(double nowMs) const {
    if (!m_framed) return 0.0;
    const double period = std::max(kMinFramePeriodMs, m_frameCostMs / kMaxDrawShare);
    return m_lastFrameStartMs + period - nowMs;
}

void FramePacer::frameDrawn(double startMs, double endMs) {
    const double cost = std::max(0.0, endMs - startMs);
    m_frameCostMs = m_framed ? (1.0 - kCostSmoothing) * m_frameCostMs + kCostSmoothing * cost : cost;
    m_framed = true;
    m_lastFrameStartMs = startMs;
    m_frameDue = false;
    countInWindow(endMs);
    ++m_windowFrames;
    ++m_framesTotal;
}

void FramePacer::restartRates(double nowMs) {
    m_windowOpen = true;
    m_windowStartMs = nowMs;
    m_windowTicks = 0;
    m_windowFrames = 0;
}

bool FramePacer::takeNewRates() {
    const bool fresh = m_newRates;
    m_newRates = false;
    return fresh;
}

void FramePacer::countInWindow(double nowMs) {
    if (!m_windowOpen) {
        restartRates(nowMs);
        return;
    }
    const double elapsed = nowMs - m_windowStartMs;
    if (elapsed < kRateWindowMs) return;
    m_ticksPerSecond = m_windowTicks * 1000.0 / elapsed;
    m_framesPerSecond = m_windowFrames * 1000.0 / elapsed;
    m_newRates = true;
    restartRates(nowMs);
}
