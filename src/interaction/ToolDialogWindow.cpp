// ToolDialogWindow: the memory dialogs used without a window system.
#include "interaction/ToolDialogWindow.h"

#include <algorithm>

void MemoryToolDialog::placeOnTop(int x, int y, int width, int height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
}

void MemoryStdDialog::stepTransparency(int delta) {
    // The range of the real dialog's slider.
    m_transparency = std::clamp(m_transparency + delta, 300, 1000);
}

std::unique_ptr<ToolDialogWindow> MemoryToolDialogFactory::createVolumeDialog() {
    return std::make_unique<MemoryToolDialog>(kVolumeDialogWidth, kVolumeDialogHeight);
}

std::unique_ptr<ToolDialogWindow> MemoryToolDialogFactory::createPaintDialog() {
    return std::make_unique<MemoryToolDialog>(kPaintDialogWidth, kPaintDialogHeight);
}

std::unique_ptr<StdDialogWindow> MemoryToolDialogFactory::createStdDialog() {
    return std::make_unique<MemoryStdDialog>(kStdDialogWidth, kStdDialogHeight);
}
