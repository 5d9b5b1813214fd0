// A tree of files and folders drawn from the input (names from a small alphabet with a few
// characters an entry cannot hold, sizes, contents both random and repetitive, read-only bits,
// times) is put into a new archive and extracted into an empty folder; the extracted tree must
// equal the source: the same files with the same contents, owner write bit and time, the same
// folders (those holding files), nothing else. Folders whose names start with "." are not
// collected and so not expected back. A create that fails must have refused a name (103) or
// found no file (21) and left no archive. With the first bit of the settings byte the archive
// is encrypted; with the second, two worker threads do the compression.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "extract/extraction.h"
#include "operations/compress_add.h"

namespace {

namespace fs = std::filesystem;

void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_round_trip: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// Takes bytes off the front of the input; zeros once it is used up.
class Draw {
 public:
  Draw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Bytes(std::size_t count) {
    count = std::min(count, size_ - at_);
    std::string taken(reinterpret_cast<const char*>(data_ + at_), count);
    at_ += count;
    return taken;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Mostly ordinary characters; the last few are ones an entry cannot hold.
const char* const kAlphabet[] = {"a", "b",  "c", "A",   "B",  "0",   "1", ".",  "-", " ",   "_",
                                 "~", "中", "é", "(1)", "a.", "txt", "?", "\\", ":", "\x01"};
constexpr std::size_t kAlphabetSize = sizeof kAlphabet / sizeof kAlphabet[0];

std::string DrawName(Draw& draw) {
  std::string name;
  for (int length = 1 + draw.Byte() % 6; length > 0; --length) {
    name += kAlphabet[draw.Byte() % kAlphabetSize];
  }
  return name;
}

std::string DrawContent(Draw& draw) {
  switch (draw.Byte() % 4) {
    case 0:
      return std::string();
    case 1:
      return draw.Bytes(draw.Byte());
    case 2: {
      const std::string pattern = draw.Bytes(1 + draw.Byte() % 4);
      const std::size_t high = draw.Byte();
      const std::size_t length = high << 8 | draw.Byte();
      std::string content;
      while (!pattern.empty() && content.size() < length) content += pattern;
      return content;
    }
    default:
      return draw.Bytes(16);
  }
}

struct FileState {
  std::string content;
  bool writable = true;
  std::int64_t seconds = 0;
  friend bool operator==(const FileState&, const FileState&) = default;
};

// The files and folders below root by their path relative to it; folders starting with "."
// are passed over when skipHidden. Links are reported as a problem.
struct Tree {
  std::map<std::string, FileState> files;
  std::set<std::string> folders;
  std::string problem;
};

Tree ReadTree(const fs::path& root, bool skipHidden) {
  Tree tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = it->path().lexically_relative(root).string();
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
      tree.problem = "a link or a vanished name: " + relative;
    } else if (S_ISDIR(info.st_mode)) {
      if (skipHidden && it->path().filename().string().front() == '.') {
        it.disable_recursion_pending();
        continue;
      }
      tree.folders.insert(relative);
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      tree.files[relative] = {std::move(content), (info.st_mode & S_IWUSR) != 0,
                              static_cast<std::int64_t>(info.st_mtim.tv_sec)};
    }
  }
  return tree;
}

// The folders that hold files, as extraction makes them.
std::set<std::string> FoldersHoldingFiles(const Tree& tree) {
  std::set<std::string> folders;
  for (const auto& [name, state] : tree.files) {
    for (fs::path up = fs::path(name).parent_path(); !up.empty(); up = up.parent_path()) {
      folders.insert(up.string());
    }
  }
  return folders;
}

std::string Describe(const Tree& tree) {
  std::string text;
  for (const auto& [name, state] : tree.files) {
    text += "  " + name + " (" + std::to_string(state.content.size()) + " bytes, " +
            (state.writable ? "writable" : "read-only") + ", " + std::to_string(state.seconds) +
            ")\n";
  }
  for (const std::string& folder : tree.folders) text += "  " + folder + "/\n";
  return text;
}

void RemoveAll(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    ::chmod(it->path().c_str(), 0777);
  }
  fs::remove_all(folder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tovask::AppContext& context = []() -> tovask::AppContext& {
    // Times are stored as local time: in UTC each one maps to exactly one second.
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    static tovask::AppContext c;
    // No StartUp: messages fall back to their built-in texts and no file is written.
    c.archiveMagic = "RID";
    c.formatVersion = "1.05";
    return c;
  }();

  Draw draw(data, size);
  const std::uint8_t settings = draw.Byte();
  const std::string password = (settings & 1) != 0 ? "pw" : "";
  context.workerThreads = (settings & 2) != 0 ? 2 : 1;

  std::string outer = fs::temp_directory_path().string() + "/fuzz_round_trip-XXXXXX";
  if (::mkdtemp(outer.data()) == nullptr) Fail("mkdtemp failed");
  const fs::path source = fs::path(outer) / "source";
  const fs::path target = fs::path(outer) / "target";
  const std::string archive = outer + "/archive.tvk";
  fs::create_directory(source);

  std::vector<fs::path> folders = {source};
  for (int items = 1 + draw.Byte() % 8; items > 0; --items) {
    const std::uint8_t kind = draw.Byte();
    const fs::path parent = folders[draw.Byte() % folders.size()];
    const std::string name = DrawName(draw);
    if (name == "." || name == "..") continue;
    const fs::path path = parent / name;
    std::error_code ec;
    if (kind % 4 == 0) {
      if (fs::create_directory(path, ec)) folders.push_back(path);
      continue;
    }
    if (fs::exists(path, ec)) continue;
    const std::string content = DrawContent(draw);
    std::ofstream(path, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    // Whole seconds from 2000 on, a few years apart at most.
    const std::int64_t coarse = draw.Byte();
    const timespec times[2] = {{0, UTIME_OMIT}, {946684800 + (coarse << 20) + draw.Byte(), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    if ((kind & 0x80) != 0) ::chmod(path.c_str(), 0444);
  }
  const Tree expected = ReadTree(source, /*skipHidden=*/true);

  tovask::ClearErrorLog(context);
  tovask::CompressRequest create;
  create.sources = {source.string() + "/"};
  create.archivePath = archive;
  create.password = password;
  const tovask::Outcome created = tovask::CompressAndAdd(context, create);
  if (!created.done()) {
    for (const tovask::LoggedMessage& message : created.messages) {
      if (message.code != tovask::ErrorCode::NameNotStorable &&
          message.code != tovask::ErrorCode::NoSources) {
        Fail("create failed unexpectedly", created.LogText() + "\n" + Describe(expected));
      }
    }
    if (created.messages.empty()) Fail("create failed without a message");
    if (fs::exists(archive)) Fail("a failed create left an archive");
    RemoveAll(outer);
    return 0;
  }

  tovask::ClearErrorLog(context);
  tovask::ExtractRequest extract;
  extract.archivePath = archive;
  extract.password = password;
  extract.passwordIsFinal = true;
  extract.targetFolder = target.string();
  const tovask::Outcome extracted = tovask::ExtractEntries(context, extract, {});
  if (!extracted.done()) {
    Fail("extraction of a new archive failed", extracted.LogText() + "\n" + Describe(expected));
  }
  Tree got = ReadTree(target, /*skipHidden=*/false);
  if (!got.problem.empty()) Fail("the extracted tree has", got.problem);
  if (got.files != expected.files || got.folders != FoldersHoldingFiles(expected)) {
    Fail("the extracted tree differs from the source",
         "source:\n" + Describe(expected) + "extracted:\n" + Describe(got));
  }
  RemoveAll(outer);
  return 0;
}
