// The message file as last read and parsed, so that a lookup costs at most one look at the
// file's stamp instead of an open, a read and a parse of the whole file.
//
// Every lookup sees the file as it is then: the parsed copy is used only while the file found
// first at the same place has the same stamp (identity, size, modification and change time),
// so an edit, a replacement, a removal, or a file appearing at a place that comes first takes
// effect at the next lookup. Two refinements keep that true and cheap:
//   - A file changed so shortly before it was read that a later change could carry the same
//     time stamp (file systems keep times coarser than the clock) is read again at each lookup
//     (and parsed again only when its bytes differ) until its stamp is old enough
//     (Timing::settle) to tell every later change apart.
//   - A file that has not changed for a long while (Timing::quiet, ten seconds) is looked at
//     again at most once per Timing::recheck (a millisecond), not at every lookup: progress
//     texts come by the tens of thousands per second, and a look at the disk costs more than
//     the rest of a lookup. An edit of such a file therefore takes effect at the first lookup
//     a millisecond or more after the previous look, which is the next one for anything a user
//     can do; a file edited within the last ten seconds is looked at on every lookup.
//
// Threads: not thread-safe. It belongs to one AppContext, and like it is used from one thread
// only (in the desktop program the UI thread, where operations run).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/ini_file.h"

namespace tovask {

// The places of the message file in the order they count; an empty place is skipped
// (startup.h's MessageFileCandidates gives them).
struct MessageFilePlaces {
  std::string program;
  std::string config;
};

class MessageFileCache {
 public:
  struct Timing {
    // How long before a read the file's last change must lie for its stamp alone to vouch
    // for the parsed copy: longer than the coarsest time stamps a file system keeps (two
    // seconds) plus the lag of the kernel's coarse clock behind the system clock.
    std::chrono::nanoseconds settle = std::chrono::seconds(3);
    // How long a file must have been left unchanged before the looks at it are spaced out.
    std::chrono::nanoseconds quiet = std::chrono::seconds(10);
    // The least time between two looks at such a file.
    std::chrono::nanoseconds recheck = std::chrono::milliseconds(1);
  };

  MessageFileCache() = default;
  // Tests shorten or stretch the times to see the cache at work without waiting.
  explicit MessageFileCache(const Timing& timing) : timing_(timing) {}

  // The message file, parsed: the file at the first of the places (findPlaces is called only
  // when the disk is looked at) that names one, one look at the disk per place tried. nullptr
  // when there is none or the one found cannot be read (then every lookup falls back to the
  // built-in texts). The pointer is valid until the next call.
  [[nodiscard]] const platform::IniFile* Current(
      const std::function<MessageFilePlaces()>& findPlaces);

 private:
  void Forget();

  Timing timing_;
  std::string path_;
  std::optional<platform::FileStamp> stamp_;
  // The stamp was taken long enough before the last read that any later change of the file
  // must show in its stamp.
  bool settled_ = false;
  // At the last look the file had been unchanged for Timing::quiet.
  bool quiet_ = false;
  std::chrono::steady_clock::time_point lastLook_;
  std::string bytes_;
  std::optional<platform::IniFile> file_;
};

}  // namespace tovask
