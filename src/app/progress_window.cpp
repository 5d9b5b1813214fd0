#include "app/progress_window.h"

#include <algorithm>

namespace tovask {

std::string PercentText(int percent) { return std::to_string(percent).append("%"); }

ProgressWindowLayout ProgressWindowDesign() {
  ProgressWindowLayout design;
  design.window = {0, 0, 320, 102};
  design.statusLabel = {8, 8, 299, 16};
  design.progressBar = {8, 24, 299, 16};
  design.percentLabel = {128, 24, 48, 16};
  design.button = {240, 48, 64, 24};
  return design;
}

ProgressWindowLayout LayOutProgressWindow(const WindowRect& mainWindow, int windowHeight) {
  ProgressWindowLayout layout = ProgressWindowDesign();
  WindowRect& window = layout.window;
  WindowRect& bar = layout.progressBar;
  window.width = std::max(mainWindow.width - 100, 0);
  window.height = windowHeight;
  layout.statusLabel.width = std::max(window.width - 20, 0);
  bar.width = layout.statusLabel.width;
  layout.button.left = bar.left + bar.width - layout.button.width;
  layout.percentLabel.left = bar.left + (bar.width - layout.percentLabel.width) / 2;
  window.left = mainWindow.left + (mainWindow.width - window.width) / 2;
  window.top = mainWindow.top + (mainWindow.height - window.height) / 2;
  return layout;
}

}  // namespace tovask
