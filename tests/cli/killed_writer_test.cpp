// tvk writers killed outright (SIGKILL) at many points of an add and of a delete. Each kill is
// issued when the test observes a real event of the run: a file event in the archive's folder
// (inotify: the temporary file created, written, given its mode, closed, renamed over the
// archive) or a progress line on the terminal that is tvk's stderr. Whatever the writer does
// between the event and the kill, the archive must then be the complete old one or the complete
// new one byte for byte, pass `tvk test`, and the next change must succeed and leave nothing
// behind. TOVASK_CRASH_POINTS sets how many points each spread takes (scripts/crash_test.sh
// runs many more than the default).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr int kBaseFiles = 1000;  // entries of the old archive
constexpr int kMoreFiles = 300;   // files the add brings, one write each
constexpr int kDeleteEvery = 50;  // the delete takes every 50th entry: 20 gaps, 21 copy runs
constexpr const char* kWriting = "正在写出数据...[";  // per entry, the temporary file exists
constexpr const char* kWritten = "压缩文件完成！";    // the file is complete, not yet renamed

enum class Event {
  TempCreated,
  TempWritten,
  TempModeSet,
  TempClosed,
  ArchiveReplaced,
  ArchiveTouched,  // the archive's own file written, removed or renamed away: never, done right
  Progress
};
enum class Outcome { Old, New, Either };

struct KillPoint {
  Event event;
  int ordinal = 1;       // the kill follows the ordinal-th event of its kind
  std::string progress;  // Event::Progress: the text awaited on the terminal
  Outcome expected = Outcome::Either;
};

KillPoint At(Event event, int ordinal = 1, Outcome expected = Outcome::Either) {
  return {event, ordinal, "", expected};
}

KillPoint OnProgress(std::string text, Outcome expected = Outcome::Either) {
  return {Event::Progress, 1, std::move(text), expected};
}

std::string Label(const KillPoint& point) {
  static const char* const kNames[] = {
      "temporary file created", "write",   "mode set", "temporary file closed", "renamed",
      "archive touched",        "progress"};
  const std::string name = kNames[static_cast<int>(point.event)];
  return point.event == Event::Progress ? name + " " + point.progress
                                        : name + " #" + std::to_string(point.ordinal);
}

// inotify on the archive's folder, counting the events of the writer's temporary file
// (".a.tvk-XXXXXX") and those of the archive's own name. The kernel merges an event with an
// identical one still unread, so a count of writes can fall short of the writes made: a kill
// point then lands later, never earlier.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0 || ::inotify_add_watch(fd_, folder.c_str(),
                                       IN_CREATE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                                           IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE) < 0) {
      ADD_FAILURE() << "inotify on " << folder;
    }
  }
  ~FolderWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  [[nodiscard]] int fd() const { return fd_; }

  // Reads every pending event into the counts.
  void Drain() {
    alignas(inotify_event) char buffer[8192];
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) return;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        const std::string name = event->len > 0 ? event->name : "";
        if (name == "a.tvk" && (event->mask & IN_MOVED_TO) != 0) ++counts_[Event::ArchiveReplaced];
        if (name == "a.tvk" && (event->mask & (IN_MODIFY | IN_MOVED_FROM | IN_DELETE)) != 0) {
          ++counts_[Event::ArchiveTouched];
        }
        if (!name.starts_with(".a.tvk-")) continue;
        if ((event->mask & IN_CREATE) != 0) ++counts_[Event::TempCreated];
        if ((event->mask & IN_MODIFY) != 0) ++counts_[Event::TempWritten];
        if ((event->mask & IN_ATTRIB) != 0) ++counts_[Event::TempModeSet];
        if ((event->mask & IN_CLOSE_WRITE) != 0) ++counts_[Event::TempClosed];
      }
    }
  }

  [[nodiscard]] int Count(Event event) const {
    const auto found = counts_.find(event);
    return found == counts_.end() ? 0 : found->second;
  }

 private:
  int fd_;
  std::map<Event, int> counts_;
};

// count values from 1 to last, evenly spread, both ends included.
std::vector<int> Spread(int last, int count) {
  last = std::max(last, 1);
  std::vector<int> values;
  for (int i = 0; i < count; ++i) {
    const int value =
        count == 1 ? 1 : 1 + static_cast<int>((std::int64_t{last - 1} * i) / (count - 1));
    if (values.empty() || values.back() != value) values.push_back(value);
  }
  return values;
}

int PointsPerSpread() {
  const char* text = std::getenv("TOVASK_CRASH_POINTS");
  const int points = text == nullptr ? 0 : std::atoi(text);
  return points > 0 ? points : 5;
}

struct Tally {
  int points = 0, old = 0, fresh = 0, leftovers = 0;
};

class KilledWriterTest : public ::testing::Test {
 protected:
  KilledWriterTest() {
    // Text of mixed words: the blocks compress, but not to nothing.
    std::uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 16) & 0x7fffu;
    };
    auto makeFiles = [&](const std::string& folder, const char* prefix, int count) {
      for (int i = 0; i < count; ++i) {
        std::string text;
        const unsigned words = 50 + next() % 400;
        for (unsigned w = 0; w < words; ++w) {
          text += std::string(3 + next() % 6, static_cast<char>('a' + next() % 10));
          text += next() % 7 == 0 ? '\n' : ' ';
        }
        char name[16];
        std::snprintf(name, sizeof name, "%s%04d", prefix, i);
        WriteFile(dir_ / (folder + "/" + name), text);
      }
    };
    makeFiles("src/base", "f", kBaseFiles);
    makeFiles("src/more", "g", kMoreFiles);
    const ProcessResult created = RunTvk({"create", old_, dir_ / "src/base"});
    EXPECT_EQ(created.exitCode, 0) << created.err;
    oldBytes_ = ReadFile(old_);
  }

  std::string TrialFolder() const { return dir_ / "trial"; }
  std::string Archive() const { return dir_ / "trial/a.tvk"; }

  // A fresh trial folder holding only a copy of the old archive.
  void FreshTrial() const {
    fs::remove_all(TrialFolder());
    fs::create_directories(TrialFolder());
    fs::copy_file(old_, Archive());
  }

  Names TrialNames() const {
    Names names = platform::ListFolder(TrialFolder()).value_or(Names{});
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs `tvk args` on a fresh copy of the old archive and kills it at the point; the watch
  // holds what was seen. The child's stderr is a terminal, so it draws its progress.
  ProcessResult RunUntil(const Names& args, const KillPoint& point, FolderWatch& watch) const {
    ProcessOptions options;
    options.workingDirectory = TrialFolder();
    options.stderrIsTerminal = true;
    ChildProcess child(TvkPath(), args, options);
    if (point.event == Event::Progress) {
      // The terminal is not read after the text: a writer with much progress still to draw
      // blocks on it, so an early point stays early.
      if (child.WaitForStderr(point.progress)) child.Signal(SIGKILL);
    } else {
      while (child.WaitForReadable(watch.fd())) {
        watch.Drain();
        if (watch.Count(point.event) >= point.ordinal) {
          child.Signal(SIGKILL);
          break;
        }
      }
    }
    ProcessResult result = child.Finish();
    watch.Drain();
    return result;
  }

  // The archive an uninterrupted run makes (checked to come out the same twice, so that
  // byte equality is a fair test) and the number of writes observed in it.
  std::string Reference(const Names& args, int* writes) {
    std::string first;
    for (int run = 0; run < 2; ++run) {
      FreshTrial();
      FolderWatch watch(TrialFolder());
      const ProcessResult r = RunUntil(args, At(Event::TempWritten, INT_MAX), watch);
      EXPECT_EQ(r.exitCode, 0) << r.err;
      *writes = std::max(*writes, watch.Count(Event::TempWritten));
      if (run == 0) first = ReadFile(Archive());
    }
    EXPECT_EQ(ReadFile(Archive()), first) << "two uninterrupted runs wrote different archives";
    EXPECT_NE(first, oldBytes_);
    return first;
  }

  // The kill points of one operation whose writing phase reports `entries` entries.
  static std::vector<KillPoint> Points(int entries, int writes) {
    const int n = PointsPerSpread();
    std::vector<KillPoint> points = {At(Event::TempCreated)};
    for (const int k : Spread(writes, n)) points.push_back(At(Event::TempWritten, k));
    for (const int i : Spread(entries, n)) {
      // Right at the first entry, more progress is to come than a terminal holds unread:
      // the writer cannot have reached the rename.
      points.push_back(
          OnProgress(kWriting + std::to_string(i) + "/" + std::to_string(entries) + "]",
                     i == 1 ? Outcome::Old : Outcome::Either));
    }
    points.push_back(At(Event::TempModeSet));
    points.push_back(At(Event::TempClosed));
    points.push_back(OnProgress(kWritten));
    points.push_back(At(Event::ArchiveReplaced, 1, Outcome::New));  // observed after the fact
    // A sound writer never touches the archive's own file: nothing stops it before its end.
    points.push_back(At(Event::ArchiveTouched, 1, Outcome::New));
    return points;
  }

  Tally KillAt(const Names& args, int entries) {
    int writes = 0;
    const std::string newBytes = Reference(args, &writes);
    Tally tally;
    for (const KillPoint& point : Points(entries, writes)) {
      SCOPED_TRACE(Label(point));
      FreshTrial();
      FolderWatch watch(TrialFolder());
      const ProcessResult r = RunUntil(args, point, watch);
      ++tally.points;

      const std::string after = ReadFile(Archive());
      const bool isOld = after == oldBytes_;
      const bool isNew = after == newBytes;
      EXPECT_TRUE(isOld || isNew) << "torn archive of " << after.size() << " bytes";
      tally.old += isOld;
      tally.fresh += isNew;
      if (r.exitCode == 0) {
        EXPECT_TRUE(isNew) << "a run reported done lost its change";
      }
      if (point.expected != Outcome::Either) {
        EXPECT_EQ(isNew, point.expected == Outcome::New);
      }
      const ProcessResult tested = RunTvk({"test", Archive()});
      EXPECT_EQ(tested.exitCode, 0) << tested.err;

      tally.leftovers += TrialNames().size() > 1;
      const ProcessResult next = RunTvk({"delete", Archive(), "base\\f0001"});
      EXPECT_EQ(next.exitCode, 0) << next.err;
      EXPECT_EQ(TrialNames(), Names{"a.tvk"});
    }
    return tally;
  }

  static void Print(const char* operation, const Tally& tally) {
    std::cout << "[ kills ] " << operation << ": " << tally.points << " kill points, " << tally.old
              << " left the old archive, " << tally.fresh << " the new one, " << tally.leftovers
              << " left a temporary file\n";
  }

  TempDir dir_;
  std::string old_ = dir_ / "old.tvk";
  std::string oldBytes_;
};

TEST_F(KilledWriterTest, AddKilledAnywhereLeavesTheOldOrTheNewArchive) {
  const Tally tally = KillAt({"add", "a.tvk", dir_ / "src/more"}, kBaseFiles + kMoreFiles);
  Print("add", tally);
}

TEST_F(KilledWriterTest, DeleteKilledAnywhereLeavesTheOldOrTheNewArchive) {
  Names args = {"delete", "a.tvk"};
  for (int i = 0; i < kBaseFiles; i += kDeleteEvery) {
    char name[16];
    std::snprintf(name, sizeof name, "base\\f%04d", i);
    args.push_back(name);
  }
  const Tally tally = KillAt(args, kBaseFiles - kBaseFiles / kDeleteEvery);
  Print("delete", tally);
}

}  // namespace
}  // namespace tovask::testing
