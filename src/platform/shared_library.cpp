#include "platform/shared_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace quillon::platform {

SharedLibrary::SharedLibrary(std::initializer_list<const char*> sonames, const char* what)
    : sonames_(sonames), what_(what) {}

void SharedLibrary::open() {
  std::call_once(once_, [this] {
    for (const char* soname : sonames_) {
      opened_ = soname;
      handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
      if (handle_ != nullptr) return;
      const char* why = ::dlerror();
      problem_ = why != nullptr ? why : "";
    }
  });
}

void* SharedLibrary::handle() {
  open();
  return handle_;
}

const std::string& SharedLibrary::problem() {
  open();
  return problem_;
}

void* SharedLibrary::find(const char* name) {
  void* library = handle();
  return library != nullptr ? ::dlsym(library, name) : nullptr;
}

void* SharedLibrary::symbol(const char* name) {
  if (handle() == nullptr) {
    std::fprintf(stderr, "quillon: cannot load %s (%s)\n", what_, problem_.empty() ? opened_ : problem_.c_str());
    std::_Exit(EXIT_FAILURE);
  }
  void* entry = ::dlsym(handle_, name);
  if (entry == nullptr) {
    std::fprintf(stderr, "quillon: the %s library %s has no %s\n", what_, opened_, name);
    std::_Exit(EXIT_FAILURE);
  }
  return entry;
}

}  // namespace quillon::platform
