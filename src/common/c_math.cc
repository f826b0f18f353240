#include "common/c_math.h"

#if defined(__linux__)

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace morvantide::c_math {
namespace {

struct Functions {
  double (*exp)(double);
  double (*pow)(double, double);
};

void* find(void* library, const char* name) {
  void* f = dlsym(library, name);
  if (f == nullptr) {
    std::fprintf(stderr, "morvantide: the C math library has no %s\n", name);
    std::abort();
  }
  return f;
}

// The functions of the process when it has them already (a C library with
// its math inside, or a program that loaded libm), else of libm.so.6.  It
// is part of every glibc installation, beside the libc.so.6 this program
// started with; without it there is no exact scan to offer.
const Functions& functions() {
  static const Functions f = [] {
    void* library = RTLD_DEFAULT;
    if (dlsym(library, "exp") == nullptr || dlsym(library, "pow") == nullptr) {
      library = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL);
      if (library == nullptr) {
        std::fprintf(stderr, "morvantide: cannot load the C math library (%s)\n", dlerror());
        std::abort();
      }
    }
    Functions loaded;
    loaded.exp = reinterpret_cast<double (*)(double)>(find(library, "exp"));
    loaded.pow = reinterpret_cast<double (*)(double, double)>(find(library, "pow"));
    return loaded;
  }();
  return f;
}

}  // namespace

double exp(double x) { return functions().exp(x); }
double pow(double x, double y) { return functions().pow(x, y); }

}  // namespace morvantide::c_math

#else

#include <cmath>

namespace morvantide::c_math {

double exp(double x) { return std::exp(x); }
double pow(double x, double y) { return std::pow(x, y); }

}  // namespace morvantide::c_math

#endif
