#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace quillon::platform {

// A shared library opened on first use instead of linked, so that a run
// that never needs it does not pay the dynamic loader for it. Opened once
// from whichever thread asks first, and never closed.
class SharedLibrary {
 public:
  // `sonames` are tried in order; `what` names the library in messages.
  SharedLibrary(std::initializer_list<const char*> sonames, const char* what);

  // The open library, or null with the loader's reason in problem() (empty
  // when the loader gave none).
  void* handle();
  const std::string& problem();

  // The entry point, or null when the library or the entry point is missing.
  void* find(const char* name);

  // The entry point; without it the program cannot go on, so it ends as a
  // program the dynamic loader refuses to start, with the reason.
  void* symbol(const char* name);

 private:
  void open();

  std::vector<const char*> sonames_;
  const char* what_;
  std::once_flag once_;
  void* handle_ = nullptr;
  const char* opened_ = nullptr;  // the soname that opened, or the last one tried
  std::string problem_;
};

}  // namespace quillon::platform
