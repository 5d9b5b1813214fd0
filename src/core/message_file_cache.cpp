#include "core/message_file_cache.h"

#include <cstdint>
#include <new>

#include "platform/bytes.h"

namespace tovask {
namespace {

std::int64_t NowNanoseconds() {
  // The system clock counts from 1970-01-01 UTC, as file time stamps do.
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

const platform::IniFile* MessageFileCache::Current(
    const std::function<MessageFilePlaces()>& findPlaces) {
  const auto now = std::chrono::steady_clock::now();
  if (file_ && quiet_ && now - lastLook_ < timing_.recheck) return &*file_;

  // Taken before the stamp and the read: a change after this moment gets a later stamp.
  const std::int64_t readStart = NowNanoseconds();
  const MessageFilePlaces places = findPlaces();
  std::optional<platform::FileStamp> stamp;
  const std::string* found = nullptr;
  for (const std::string* place : {&places.program, &places.config}) {
    if (place->empty()) continue;
    stamp = platform::StampFile(*place);
    if (stamp) {
      found = place;
      break;
    }
  }
  if (found == nullptr) {
    Forget();
    return nullptr;
  }
  const bool sameStamp = file_.has_value() && *found == path_ && stamp == stamp_;
  if (!sameStamp || !settled_) {
    try {
      const std::optional<Bytes> data = platform::ReadWholeFile(*found);
      if (!data) {
        Forget();
        return nullptr;
      }
      // The parsed form depends on the bytes alone: the same bytes need no second parse.
      std::string bytes = ToText(*data);
      if (!file_ || bytes != bytes_) {
        file_ = platform::IniFile::Parse(bytes);
        bytes_ = std::move(bytes);
      }
    } catch (const std::bad_alloc&) {
      Forget();  // as an unreadable file: the built-in texts
      return nullptr;
    }
    path_ = *found;
    stamp_ = stamp;
    settled_ = stamp->changedNanoseconds + timing_.settle.count() <= readStart;
  }
  quiet_ = stamp->changedNanoseconds + timing_.quiet.count() <= readStart;
  lastLook_ = now;
  return &*file_;
}

void MessageFileCache::Forget() {
  path_.clear();
  stamp_.reset();
  settled_ = false;
  quiet_ = false;
  bytes_.clear();
  file_.reset();
}

}  // namespace tovask
