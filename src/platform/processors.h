// How many processors the program may use.
#pragma once

namespace tovask::platform {

// The processors this process may run on (its affinity mask, which a container or taskset
// narrows), at least 1.
[[nodiscard]] unsigned UsableProcessors();

}  // namespace tovask::platform
