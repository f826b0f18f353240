#include "common/paths.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace morvantide {

namespace {

// The current folder, empty when it cannot be found (removed, too long).
std::string current_folder() {
  std::string buffer(256, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.c_str();
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string absolute_normal(const std::string& name) {
  if (name.empty()) return std::string();
  std::string path = name;
  if (name[0] != '/') {
    const std::string folder = current_folder();
    if (folder.empty()) return std::string();
    path = append_path(folder, name);
  }
  // path starts with '/': the elements after the root, then the trailing
  // slash, which a last "." or ".." leaves behind when it is removed.
  std::vector<std::string> kept;
  bool trailing = false;
  for (size_t at = 0; at < path.size();) {
    const size_t start = path.find_first_not_of('/', at);
    if (start == std::string::npos) {
      trailing = true;
      break;
    }
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string element = path.substr(start, end - start);
    trailing = false;
    if (element == ".") {
      trailing = true;
    } else if (element == "..") {
      if (!kept.empty()) kept.pop_back();
      trailing = true;
    } else {
      kept.push_back(element);
    }
    at = end;
  }
  std::string normal = "/";
  for (size_t k = 0; k < kept.size(); ++k) {
    if (k > 0) normal += '/';
    normal += kept[k];
  }
  if (trailing && !kept.empty()) normal += '/';
  return normal;
}

std::string parent_path(const std::string& path) {
  // Only a root (slashes) or nothing: no relative part, the path itself.
  const size_t first = path.find_first_not_of('/');
  if (first == std::string::npos) return path;
  // The last element starts after the last slash (an empty one when the
  // path ends in a slash); the parent ends where the element before it
  // ends, or is the root, or nothing.
  const size_t last_slash = path.find_last_of('/');
  if (last_slash == std::string::npos) return std::string();
  const size_t before = path.find_last_not_of('/', last_slash);
  if (before == std::string::npos) return "/";  // the root, however many slashes
  return path.substr(0, before + 1);
}

std::string append_path(const std::string& parent, const std::string& name) {
  if (parent.empty()) return name;
  if (parent.back() == '/') return parent + name;
  return parent + "/" + name;
}

}  // namespace morvantide
