// Test helpers of the platform tests: environment variables and the umask set for one test
// and restored afterwards, and the fault hook cleared after every test that sets one.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_handle.h"

namespace tovask::platform {

class ScopedEnv {
 public:
  // value nullopt unsets the variable.
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
    if (name_ == "TZ") tzset();
  }
  std::string name_;
  std::optional<std::string> old_;
};

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
  ~ScopedUmask() { umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

class ScopedFaultHook {
 public:
  explicit ScopedFaultHook(FaultHook hook) { SetFaultHook(std::move(hook)); }
  ~ScopedFaultHook() { SetFaultHook({}); }
  ScopedFaultHook(const ScopedFaultHook&) = delete;
  ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;
};

}  // namespace tovask::platform
