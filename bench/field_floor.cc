// The floor of a field run: the least a program analysing a whole field in
// binary128 must cost.  It reads the .npy a field run reads, and per point
// makes only the libquadmath calls the figures need (the observed order's
// logarithm, the powers of the extrapolation and of the uncertainty), on
// the same number of threads, then writes arrays of the names and sizes the
// run writes, in one file.  No checks, no summary, no exactness beyond the
// calls themselves.
//
//   field_floor make FILE POINTS GRIDS [variable]   a field to time on (.npy,
//                                                   or .csv by the name)
//   field_floor FILE OUT THREADS                    the floor run
#include <quadmath.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using real = __float128;

bool write_npy(const char* name, long points, long grids, const std::vector<double>& values) {
  std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': (" +
                     std::to_string(points) + ", " + std::to_string(grids) + "), }";
  while ((10 + dict.size() + 1) % 64 != 0) dict += ' ';
  dict += '\n';
  std::string header = "\x93NUMPY";
  header += '\x01';
  header += '\x00';
  header += static_cast<char>(dict.size() & 0xff);
  header += static_cast<char>(dict.size() >> 8);
  header += dict;
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) return false;
  std::fwrite(header.data(), 1, header.size(), f);
  std::fwrite(values.data(), sizeof(double), values.size(), f);
  return std::fclose(f) == 0;
}

// Points of a smooth field: T = 1 + C h^p with p and C varying in space,
// some points oscillating, on h = 1, 1/2, 1/4, ... (or a variable ratio).
int make(const char* name, long points, long grids, bool variable) {
  std::vector<double> h(static_cast<size_t>(grids));
  for (long g = 0; g < grids; ++g) {
    h[static_cast<size_t>(g)] = variable ? std::pow(0.57, static_cast<double>(g)) * (1 + 0.03 * g)
                                         : std::ldexp(1.0, static_cast<int>(-g));
  }
  std::vector<double> values(static_cast<size_t>(points * grids));
  for (long k = 0; k < points; ++k) {
    const double x = static_cast<double>(k) / static_cast<double>(points);
    const double p = 0.8 + 2.5 * x * x;
    const double C = std::sin(12 * x) + 0.1;
    for (long g = 0; g < grids; ++g) {
      const double sign = (k % 10 == 3 && g % 2 == 1) ? -1 : 1;
      values[static_cast<size_t>(k * grids + g)] =
          std::cos(3 * x) + sign * C * std::pow(h[static_cast<size_t>(g)], p);
    }
  }
  const std::string file = name;
  if (file.size() > 4 && file.substr(file.size() - 4) == ".csv") {
    // The same values as a point table, each double's shortest text.
    FILE* f = std::fopen(name, "w");
    if (f == nullptr) return 2;
    for (long g = 0; g < grids; ++g)
      std::fprintf(f, g ? ",%.17g" : "%.17g", h[static_cast<size_t>(g)]);
    std::fprintf(f, "\n");
    for (long k = 0; k < points; ++k) {
      for (long g = 0; g < grids; ++g) {
        char text[32];
        const double x = values[static_cast<size_t>(k * grids + g)];
        // The shortest of %.15g, %.16g, %.17g that reads back.
        for (int digits = 15; digits <= 17; ++digits) {
          std::snprintf(text, sizeof text, "%.*g", digits, x);
          if (std::strtod(text, nullptr) == x) break;
        }
        std::fprintf(f, g ? ",%s" : "%s", text);
      }
      std::fprintf(f, "\n");
    }
    if (std::fclose(f) != 0) return 2;
  } else if (!write_npy(name, points, grids, values)) {
    return 2;
  }
  std::printf("%s", variable ? "variable" : "constant");
  for (double s : h) std::printf(" %.17g", s);
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "make") == 0) {
    return make(argv[2], std::atol(argv[3]), std::atol(argv[4]),
                argc > 5 && std::strcmp(argv[5], "variable") == 0);
  }
  if (argc != 4) return 2;
  FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 2;
  char start[10];
  if (std::fread(start, 1, 10, in) != 10) return 2;
  const long header =
      10 + (static_cast<unsigned char>(start[8]) | static_cast<unsigned char>(start[9]) << 8);
  std::string text(static_cast<size_t>(header - 10), ' ');
  if (std::fread(text.data(), 1, text.size(), in) != text.size()) return 2;
  long points = 0, grids = 0;
  const size_t shape = text.find("'shape': (");
  if (std::sscanf(text.c_str() + shape + 10, "%ld, %ld", &points, &grids) != 2) return 2;
  std::vector<double> values(static_cast<size_t>(points * grids));
  if (std::fread(values.data(), sizeof(double), values.size(), in) != values.size()) return 2;
  std::fclose(in);

  const int threads = std::atoi(argv[3]);
  const real r = 2;
  const real log_r = logq(r);
  const real pL = 2;
  constexpr int kReals = 7;
  std::vector<double> out(static_cast<size_t>(points * kReals));
  std::vector<unsigned char> small(static_cast<size_t>(points * 3));
  auto work = [&](long begin, long end) {
    for (long k = begin; k < end; ++k) {
      const double* v = &values[static_cast<size_t>(k * grids)];
      const real t1 = v[grids - 3], t2 = v[grids - 2], t3 = v[grids - 1];
      const real psi = (t2 - t1) / (t3 - t2);
      const real p = logq(fabsq(psi)) / log_r;
      const real Ti = t3 + (t3 - t2) / (powq(r, p) - 1);
      const real pU = p < pL ? p : pL;
      const real U = 1.25Q * fabsq((t3 - t2) / (powq(r, pU) - 1));
      double* o = &out[static_cast<size_t>(k * kReals)];
      o[0] = static_cast<double>(t3);
      o[1] = static_cast<double>(p);
      o[2] = static_cast<double>(pU);
      o[3] = static_cast<double>(Ti);
      o[4] = static_cast<double>(Ti);
      o[5] = static_cast<double>(U);
      o[6] = static_cast<double>(U / fabsq(t3));
      small[static_cast<size_t>(k * 3)] = psi > 1;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back(work, points * t / threads, points * (t + 1) / threads);
  }
  for (std::thread& t : pool) t.join();
  FILE* f = std::fopen(argv[2], "wb");
  if (f == nullptr) return 2;
  std::fwrite(out.data(), sizeof(double), out.size(), f);
  std::fwrite(small.data(), 1, small.size(), f);
  return std::fclose(f) == 0 ? 0 : 2;
}
