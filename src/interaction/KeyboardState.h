// KeyboardState: the modifier keys the interaction modes ask about.
#pragma once

/// Filled by the view from its input events. Space is tracked like a modifier because the modes
/// treat it as one. User-interface thread only.
class KeyboardState {
   public:
    virtual ~KeyboardState() = default;
    virtual bool isCtrlDown() const = 0;
    virtual bool isShiftDown() const = 0;
    virtual bool isAltDown() const = 0;
    virtual bool isSpaceDown() const = 0;
};
