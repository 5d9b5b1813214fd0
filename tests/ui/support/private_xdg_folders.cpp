// Linked into every window test program. Creating the main window registers the program with
// the desktop under $XDG_DATA_HOME and $XDG_CONFIG_HOME; a window test program (and every
// program it starts) writes that into a temporary folder of its own instead, removed at exit,
// whether ctest or a person runs it, so a test never changes its runner's desktop.
#include <cstdlib>

#include "support/temp_dir.h"

namespace {

struct PrivateXdgFolders {
  PrivateXdgFolders() {
    // Set before main runs; a folder that cannot be made ends the program (TempDir throws).
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
  }
  tovask::testing::TempDir folder;
};

const PrivateXdgFolders privateXdgFolders;

}  // namespace
