#include "app/overwrite_window.h"

namespace tovask {

std::string OverwriteHelpText(std::string_view lineEnd) {
  std::string text;
  for (std::size_t i = 0; i < kOverwriteHelpLines.size(); ++i) {
    if (i > 0) text += lineEnd;
    text += kOverwriteHelpLines[i];
  }
  return text;
}

}  // namespace tovask
