// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace tovask::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Absolute path, no trailing separator.
  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + relative.
  [[nodiscard]] std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

// Writes text to path, creating the parent folders.
void WriteFile(const std::string& path, const std::string& content);
// The whole content of a file ("" when missing).
[[nodiscard]] std::string ReadFile(const std::string& path);

// Permission bits of a path (links followed); records a test failure when it cannot be read.
[[nodiscard]] unsigned FileMode(const std::string& path);

// SHA-256 of a file as lower-case hex, by the system's sha256sum (independent of the engine).
[[nodiscard]] std::string Sha256OfFile(const std::string& path);

// True when the tests run as root (permission failures cannot happen then).
[[nodiscard]] bool RunningAsRoot();

}  // namespace tovask::testing
