// ToolDialogWindow: the core object's handle on the three modeless tool dialogs.
#pragma once

#include <memory>

/// A modeless tool window owned by the core object. The shell implements it with real windows; the
/// memory implementation below keeps visibility and geometry for headless use.
/// User-interface thread only.
class ToolDialogWindow {
   public:
    virtual ~ToolDialogWindow() = default;
    virtual void showDialog() = 0;
    virtual void hideDialog() = 0;
    virtual bool isDialogVisible() const = 0;
    /// Outer size in screen pixels.
    virtual int dialogWidth() const = 0;
    virtual int dialogHeight() const = 0;
    /// Moves the window's outer top-left corner to (x, y) screen pixels with the given outer size,
    /// keeps it above the main window and does not give it the keyboard focus.
    virtual void placeOnTop(int x, int y, int width, int height) = 0;
    /// Repaints now; erase repaints the whole window, otherwise only what changed.
    virtual void redraw(bool erase) = 0;
};

/// The standard interaction dialog: besides the window, the slider positions the drawing reads and
/// the refresh of its controls from the model.
class StdDialogWindow : public ToolDialogWindow {
   public:
    /// Position of the "Trans(1-2)" slider, 300 to 1000; surface alpha = position / 1000.
    virtual int transparencySlider() const = 0;
    /// Position of the infarct "rate" slider, 0 to 1000.
    virtual int rateSlider() const = 0;
    /// Re-reads the dialog's controls from the model and the display switches.
    virtual void refreshFromModel() = 0;
    /// Moves the transparency slider by delta, held within its range.
    virtual void stepTransparency(int delta) = 0;
};

/// Creates the three dialogs, hidden; installed in the core object before it is first used.
class ToolDialogFactory {
   public:
    virtual ~ToolDialogFactory() = default;
    virtual std::unique_ptr<ToolDialogWindow> createVolumeDialog() = 0;
    virtual std::unique_ptr<ToolDialogWindow> createPaintDialog() = 0;
    virtual std::unique_ptr<StdDialogWindow> createStdDialog() = 0;
};

/// A dialog without a window: visibility and geometry only.
class MemoryToolDialog : public ToolDialogWindow {
   public:
    MemoryToolDialog(int width, int height) : m_width(width), m_height(height) {}
    void showDialog() override { m_visible = true; }
    void hideDialog() override { m_visible = false; }
    bool isDialogVisible() const override { return m_visible; }
    int dialogWidth() const override { return m_width; }
    int dialogHeight() const override { return m_height; }
    void placeOnTop(int x, int y, int width, int height) override;
    void redraw(bool erase) override { ++m_redraws; }

    bool m_visible = false;
    int m_x = 0, m_y = 0, m_width, m_height;
    int m_redraws = 0;
};

/// The standard dialog without a window: the sliders at their start positions.
class MemoryStdDialog : public StdDialogWindow {
   public:
    MemoryStdDialog(int width, int height) : m_window(width, height) {}
    void showDialog() override { m_window.showDialog(); }
    void hideDialog() override { m_window.hideDialog(); }
    bool isDialogVisible() const override { return m_window.isDialogVisible(); }
    int dialogWidth() const override { return m_window.dialogWidth(); }
    int dialogHeight() const override { return m_window.dialogHeight(); }
    void placeOnTop(int x, int y, int width, int height) override { m_window.placeOnTop(x, y, width, height); }
    void redraw(bool erase) override { m_window.redraw(erase); }
    int transparencySlider() const override { return m_transparency; }
    int rateSlider() const override { return m_rate; }
    void refreshFromModel() override { ++m_refreshes; }
    void stepTransparency(int delta) override;

    MemoryToolDialog m_window;
    int m_transparency = 800;
    int m_rate = 0;
    int m_refreshes = 0;
};

/// Makes memory dialogs of the three dialogs' default sizes.
class MemoryToolDialogFactory : public ToolDialogFactory {
   public:
    std::unique_ptr<ToolDialogWindow> createVolumeDialog() override;
    std::unique_ptr<ToolDialogWindow> createPaintDialog() override;
    std::unique_ptr<StdDialogWindow> createStdDialog() override;
};

/// Default outer sizes of the three dialogs in pixels.
constexpr int kVolumeDialogWidth = 318, kVolumeDialogHeight = 203;
constexpr int kPaintDialogWidth = 245, kPaintDialogHeight = 562;
constexpr int kStdDialogWidth = 263, kStdDialogHeight = 362;
