// FramePacer: when the view may draw while the beat runs, and how fast ticks and frames go.
#pragma once

/// The beat runs on model time: every timer tick advances the model, but the view and the dialogs
/// draw the latest state only when the pacer allows, at most at the display's rate and never twice
/// for one tick. A frame that takes long pushes the next one back, so drawing keeps at most
/// kMaxDrawShare of the wall time (the beat's pace comes first) and a slow frame drops frames, not
/// ticks. The pacer also counts ticks and frames per second over short windows. Times are in milliseconds on one steady clock;
/// nothing here reads a clock, so it is tested with made-up times.
class FramePacer {
   public:
    /// Shortest time between the starts of two frames (the display's rate, 60 per second).
    static constexpr double kMinFramePeriodMs = 1000.0 / 60.0;
    /// Share of the wall time frames may take while ticks are waiting.
    static constexpr double kMaxDrawShare = 0.4;
    /// Length of the window the rates are measured over.
    static constexpr double kRateWindowMs = 500.0;

    /// A tick finished at nowMs: the state changed, a frame is due.
    void tickDone(double nowMs);
    /// Whether a tick ran since the last frame.
    bool frameDue() const { return m_frameDue; }
    /// Milliseconds from nowMs until the next frame may start; zero or less means now.
    double msUntilNextFrame(double nowMs) const;
    /// A frame was drawn from startMs to endMs; it showed every tick so far.
    void frameDrawn(double startMs, double endMs);
    /// The smoothed time a frame takes (0 before the first frame).
    double frameCostMs() const { return m_frameCostMs; }

    /// Starts the rate measurement afresh at nowMs (when the beat starts: the pause before it
    /// counts for nothing).
    void restartRates(double nowMs);
    /// Ticks and frames per second over the last complete window; both 0 until one completed.
    double ticksPerSecond() const { return m_ticksPerSecond; }
    double framesPerSecond() const { return m_framesPerSecond; }
    /// True once after each completed window (the shell then shows the new rates).
    bool takeNewRates();
    /// Ticks and frames since this pacer was made.
    long long ticksCounted() const { return m_ticksTotal; }
    long long framesCounted() const { return m_framesTotal; }

   private:
    void countInWindow(double nowMs);

    bool m_frameDue = false;
    bool m_framed = false;
    double m_lastFrameStartMs = 0.0;
    double m_frameCostMs = 0.0;

    double m_windowStartMs = 0.0;
    bool m_windowOpen = false;
    int m_windowTicks = 0;
    int m_windowFrames = 0;
    double m_ticksPerSecond = 0.0;
    double m_framesPerSecond = 0.0;
    bool m_newRates = false;
    long long m_ticksTotal = 0;
    long long m_framesTotal = 0;
};
