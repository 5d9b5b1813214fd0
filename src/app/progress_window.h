// The progress window's logic that needs no widget: its texts and its geometry laid out
// against the main window. User-interface thread only; nothing here keeps state or uses Qt
// types.
#pragma once

#include <string>
#include <string_view>

namespace tovask {

inline constexpr std::string_view kPreparingText = "准备...";  // the status label at first
inline constexpr std::string_view kInterruptCaption = "中断";  // the button while running

// The percent label's text: percent in decimal followed by "%" ("37%").
[[nodiscard]] std::string PercentText(int percent);

// A rectangle in pixels: left, top, width, height. A window's is its outer frame as the
// platform reports it, a control's counts from its window's client area.
struct WindowRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

struct ProgressWindowLayout {
  WindowRect window;
  WindowRect statusLabel;
  WindowRect progressBar;
  WindowRect percentLabel;  // transparent, centred over the bar
  WindowRect button;
};

// The design layout: window 320 x 102 at 0, 0; status label 8, 8, 299, 16; bar 8, 24, 299, 16;
// percent label 128, 24, 48, 16; button 240, 48, 64, 24.
[[nodiscard]] ProgressWindowLayout ProgressWindowDesign();

// The layout against the main window's outer rectangle, every division truncated toward
// zero: the window is 100 narrower than the main window and centred over it (left = main left
// + 50, top centred with the window's own outer height windowHeight); the status label and
// the bar are 20 narrower than the window; the button's right edge meets the bar's; the
// percent label is centred over the bar. Heights and the controls' tops are the design's.
// A main window too narrow for the subtraction gives widths of 0, never negative ones.
// Example: main window 50, 50, 810 x 597 -> window 100, 297, 710 x 102, label and bar 690 wide,
// button at left 634, percent label at left 329.
[[nodiscard]] ProgressWindowLayout LayOutProgressWindow(const WindowRect& mainWindow,
                                                        int windowHeight = 102);

}  // namespace tovask
