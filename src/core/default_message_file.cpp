// The default message file, byte for byte: core/DAZezo.ini, compiled in at build time
// (cmake/embed_bytes.cmake), so writing it never depends on a run-time converter.
#include <iterator>

#include "core/default_message_file_bytes.h"
#include "core/messages.h"

namespace tovask {

static_assert(sizeof(embedded::kDefaultMessageFile) == 1414,
              "core/DAZezo.ini is the 1414-byte GBK default message file");

const Bytes& DefaultMessageFile() {
  static const Bytes bytes(std::begin(embedded::kDefaultMessageFile),
                           std::end(embedded::kDefaultMessageFile));
  return bytes;
}

}  // namespace tovask
