// MainFrameWindow: what the core object reads from the main window.
#pragma once

/// A rectangle in screen pixels: top-left corner and size.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

/// The main window, registered with the core object when it is created. The tool dialogs dock to it.
class MainFrameWindow {
   public:
    virtual ~MainFrameWindow() = default;
    /// The window's normal (not minimised or maximised) outer rectangle on the screen.
    virtual ScreenRect normalRect() const = 0;
};
