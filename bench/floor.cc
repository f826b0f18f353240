// The floor of a run: the least a program doing morvantide's input and
// output must cost.  It reads the files a run reads and writes files of the
// names and sizes a run writes, and does nothing else: no parsing, no
// arithmetic, no formatting.  It only uses the C library (no C++ run time),
// so its start-up is that of the smallest dynamically linked program.
//
// Its folder holds `floor.manifest`, written by the process benchmark after
// one real run there: lines "r NAME" for each file to read, "w SIZE NAME"
// for each file to write.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char g_buffer[1 << 16];

bool read_all(const char* name) {
  const int fd = open(name, O_RDONLY);
  if (fd < 0) return false;
  while (read(fd, g_buffer, sizeof g_buffer) > 0) {
  }
  close(fd);
  return true;
}

bool write_size(const char* name, long size) {
  const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  while (size > 0) {
    const long n = size < static_cast<long>(sizeof g_buffer) ? size : sizeof g_buffer;
    if (write(fd, g_buffer, static_cast<size_t>(n)) != n) return false;
    size -= n;
  }
  return close(fd) == 0;
}

}  // namespace

int main() {
  FILE* manifest = std::fopen("floor.manifest", "r");
  if (manifest == nullptr) return 2;
  std::memset(g_buffer, ' ', sizeof g_buffer);
  char line[512];
  char name[400];
  long size = 0;
  int status = 0;
  while (std::fgets(line, sizeof line, manifest) != nullptr) {
    if (std::sscanf(line, "r %399[^\n]", name) == 1) {
      if (!read_all(name)) status = 1;
    } else if (std::sscanf(line, "w %ld %399[^\n]", &size, name) == 2) {
      if (!write_size(name, size)) status = 1;
    }
  }
  std::fclose(manifest);
  return status;
}
