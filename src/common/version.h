// The program's version, as --version, the listing's header and the JSON
// report show it.
#ifndef MORVANTIDE_COMMON_VERSION_H_
#define MORVANTIDE_COMMON_VERSION_H_

namespace morvantide {

inline constexpr const char* kVersion = "4.0";

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_VERSION_H_
