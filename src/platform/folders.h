// Creating folder chains.
#pragma once

#include <string>

namespace tovask::platform {

// Creates every missing level of an absolute folder path, from the top down. A trailing
// separator is removed from the caller's text first. The root is never tested or created.
// Returns false as soon as a level cannot be created (levels created so far stay), and for
// an empty or relative path.
[[nodiscard]] bool EnsureFolderPath(std::string& folder);

}  // namespace tovask::platform
