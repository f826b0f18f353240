#include "field/field_output.h"

#include <quadmath.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/parallel.h"
#include "common/text.h"
#include "field/npy.h"

namespace morvantide {

namespace {

// The real figures in output order.
std::vector<const std::vector<real>*> real_columns(const FieldColumns& c, bool least_squares) {
  std::vector<const std::vector<real>*> out = {&c.Th,  &c.p_observed, &c.p_U,       &c.Ti_pU,
                                               &c.Tm1, &c.U,          &c.U_relative};
  if (least_squares) out.push_back(&c.U_LS);
  return out;
}

// Th and Tm1 always have a value, even one that happens to be the sentinel.
bool always_present(size_t k) { return k == 0 || k == 4; }

double output_double(real x, bool present) {
  if ((!present && x == kSentinel) || q_isnan(x)) return std::numeric_limits<double>::quiet_NaN();
  return double_from_real(x);
}

// Bytes kept until the end: a temporary file, or memory when none can be
// made.
class Spool {
 public:
  Spool() : file_(std::tmpfile()) {}
  ~Spool() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  void append(const void* data, size_t size) {
    size_ += size;
    if (file_ == nullptr) {
      memory_.append(static_cast<const char*>(data), size);
    } else if (std::fwrite(data, 1, size, file_) != size) {
      failed_ = true;
    }
  }
  int64_t size() const { return size_; }
  bool failed() const { return failed_; }
  // Hands the bytes to `take` in blocks.
  bool replay(const auto& take) {
    if (file_ == nullptr) {
      take(std::string_view(memory_));
      return true;
    }
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) return false;
    std::vector<char> block(1 << 20);
    while (true) {
      const size_t got = std::fread(block.data(), 1, block.size(), file_);
      if (got > 0) take(std::string_view(block.data(), got));
      if (got < block.size()) return std::ferror(file_) == 0;
    }
  }

 private:
  std::FILE* file_;
  std::string memory_;
  int64_t size_ = 0;
  bool failed_ = false;
};

void put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xff));
  out->push_back(static_cast<char>((v >> 8) & 0xff));
}
void put32(std::string* out, uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

class NpzWriter : public FieldWriter {
 public:
  NpzWriter(std::unique_ptr<OutputFile> out, bool least_squares)
      : out_(std::move(out)), least_squares_(least_squares) {
    const std::vector<std::string> names = field_output_names(least_squares);
    for (size_t k = 0; k < names.size(); ++k) spools_.push_back(std::make_unique<Spool>());
  }

  Status write(const FieldColumns& c, int64_t count, const CoordinateTexts&) override {
    const std::vector<const std::vector<real>*> reals = real_columns(c, least_squares_);
    std::vector<double> buffer(static_cast<size_t>(count));
    for (size_t k = 0; k < reals.size(); ++k) {
      const std::vector<real>& column = *reals[k];
      const bool present = always_present(k);
      parallel_for(0, count, 8192, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i)
          buffer[static_cast<size_t>(i)] = output_double(column[static_cast<size_t>(i)], present);
      });
      spools_[k]->append(buffer.data(), buffer.size() * sizeof(double));
    }
    size_t k = reals.size();
    for (const std::vector<uint8_t>* bytes : {&c.convergence, &c.asymptotic, &c.dependable}) {
      spools_[k++]->append(bytes->data(), static_cast<size_t>(count));
    }
    points_ += count;
    return Status::Ok();
  }

  // One stored member: local header (sizes and CRC in a descriptor after
  // the data), the bytes, the descriptor; its central directory entry.
  void member(const std::string& name, const std::string& header, Spool* spool,
              const std::string& inline_data) {
    const uint32_t offset = static_cast<uint32_t>(written_);
    std::string local;
    put32(&local, 0x04034b50);
    put16(&local, 20);      // version needed
    put16(&local, 1 << 3);  // sizes and CRC follow the data
    put16(&local, 0);       // stored
    put16(&local, 0);       // time
    put16(&local, 0x21);    // date: 1980-01-01
    put32(&local, 0);
    put32(&local, 0);
    put32(&local, 0);
    put16(&local, static_cast<uint32_t>(name.size()));
    put16(&local, 0);
    local += name;
    emit(local);
    uint32_t crc = crc32_update(0, header.data(), header.size());
    int64_t size = static_cast<int64_t>(header.size());
    emit(header);
    auto take = [&](std::string_view bytes) {
      crc = crc32_update(crc, bytes.data(), bytes.size());
      size += static_cast<int64_t>(bytes.size());
      emit(bytes);
    };
    if (spool != nullptr) {
      if (!spool->replay(take) || spool->failed()) spool_failed_ = true;
    } else {
      take(inline_data);
    }
    std::string descriptor;
    put32(&descriptor, 0x08074b50);
    put32(&descriptor, crc);
    put32(&descriptor, static_cast<uint32_t>(size));
    put32(&descriptor, static_cast<uint32_t>(size));
    emit(descriptor);
    std::string entry;
    put32(&entry, 0x02014b50);
    put16(&entry, 20);
    put16(&entry, 20);
    put16(&entry, 1 << 3);
    put16(&entry, 0);
    put16(&entry, 0);
    put16(&entry, 0x21);
    put32(&entry, crc);
    put32(&entry, static_cast<uint32_t>(size));
    put32(&entry, static_cast<uint32_t>(size));
    put16(&entry, static_cast<uint32_t>(name.size()));
    put16(&entry, 0);
    put16(&entry, 0);
    put16(&entry, 0);
    put16(&entry, 0);
    put32(&entry, 0);
    put32(&entry, offset);
    entry += name;
    central_ += entry;
    ++members_;
  }

  // A 1-D array of fixed-width UTF-32 texts ('<Un').
  static std::string words_array(const std::vector<const char*>& words, std::string* descr) {
    size_t width = 0;
    for (const char* w : words) width = std::max(width, std::strlen(w));
    *descr = "<U" + std::to_string(width);
    std::string data;
    for (const char* w : words) {
      const size_t n = std::strlen(w);
      for (size_t k = 0; k < width; ++k) {
        put32(&data, k < n ? static_cast<unsigned char>(w[k]) : 0);
      }
    }
    return data;
  }

  Status finish() override {
    // Members over 4 GiB would need zip64.
    if (points_ > (int64_t{1} << 32) / 8 - 1024) {
      return Status::Error("morvantide: more points than a .npz of this program holds (" +
                           std::to_string(points_) + "); write CSV instead");
    }
    const std::vector<std::string> names = field_output_names(least_squares_);
    const size_t reals = names.size() - 3;
    for (size_t k = 0; k < names.size(); ++k) {
      const std::string descr = k < reals ? "<f8" : k < names.size() - 1 ? "|u1" : "|b1";
      member(names[k] + ".npy", npy_header(descr, points_), spools_[k].get(), "");
    }
    for (const auto& [name, words] : {std::pair{"convergence_names", convergence_names()},
                                      {"asymptotic_names", asymptotic_names()}}) {
      std::string descr;
      const std::string data = words_array(words, &descr);
      member(std::string(name) + ".npy", npy_header(descr, static_cast<int64_t>(words.size())),
             nullptr, data);
    }
    const uint32_t directory = static_cast<uint32_t>(written_);
    emit(central_);
    std::string end;
    put32(&end, 0x06054b50);
    put16(&end, 0);
    put16(&end, 0);
    put16(&end, members_);
    put16(&end, members_);
    put32(&end, static_cast<uint32_t>(central_.size()));
    put32(&end, directory);
    put16(&end, 0);
    emit(end);
    if (spool_failed_) {
      return Status::Error(
          "morvantide: the temporary files of the .npz could not be written "
          "or read back (is the temporary folder full?)");
    }
    return out_->close();
  }

 private:
  void emit(std::string_view bytes) {
    out_->write(bytes);
    written_ += static_cast<int64_t>(bytes.size());
  }

  std::unique_ptr<OutputFile> out_;
  bool least_squares_;
  std::vector<std::unique_ptr<Spool>> spools_;
  int64_t points_ = 0;
  int64_t written_ = 0;
  std::string central_;
  uint32_t members_ = 0;
  bool spool_failed_ = false;
};

class CsvWriter : public FieldWriter {
 public:
  CsvWriter(std::unique_ptr<OutputFile> out, const std::vector<std::string>& coordinates,
            bool least_squares, int digits)
      : out_(std::move(out)),
        coordinates_(!coordinates.empty()),
        least_squares_(least_squares),
        digits_(digits) {
    std::string header;
    for (size_t k = 0; k < coordinates.size(); ++k) {
      append_csv_field(coordinates[k].empty() ? "x" + std::to_string(k + 1) : coordinates[k],
                       &header);
      header += ",";
    }
    const std::vector<std::string> names = field_output_names(least_squares);
    for (size_t k = 0; k < names.size(); ++k) header += (k ? "," : "") + names[k];
    out_->write(header + std::string(kCrLf));
  }

  std::string number(real x, bool present) const {
    if ((!present && x == kSentinel) || q_isnan(x)) return "nan";
    char buffer[80];
    if (digits_ > 0) {
      quadmath_snprintf(buffer, sizeof buffer, "%.*Qg", digits_, x);
      return buffer;
    }
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, double_from_real(x));
    return std::string(buffer, r.ptr);
  }

  Status write(const FieldColumns& c, int64_t count, const CoordinateTexts& coordinates) override {
    const std::vector<const std::vector<real>*> reals = real_columns(c, least_squares_);
    const std::string text = parallel_concat(0, count, 1024, [&](int64_t i) {
      std::string row;
      const size_t p = static_cast<size_t>(i);
      if (coordinates_) row = coordinates.of(i);
      for (size_t k = 0; k < reals.size(); ++k)
        row += (k ? "," : "") + number((*reals[k])[p], always_present(k));
      row += "," + std::to_string(c.convergence[p]) + "," + std::to_string(c.asymptotic[p]) + "," +
             std::to_string(c.dependable[p]);
      return row + std::string(kCrLf);
    });
    out_->write(text);
    return Status::Ok();
  }

  Status finish() override { return out_->close(); }

 private:
  std::unique_ptr<OutputFile> out_;
  bool coordinates_;
  bool least_squares_;
  int digits_;
};

}  // namespace

std::vector<std::string> field_output_names(bool least_squares) {
  std::vector<std::string> names = {"Th", "p_observed", "p_U", "Ti_pU", "Tm1", "U", "U_relative"};
  if (least_squares) names.push_back("U_LS");
  for (const char* n : {"convergence", "asymptotic", "gci_dependable"}) names.push_back(n);
  return names;
}

std::unique_ptr<FieldWriter> npz_writer(std::unique_ptr<OutputFile> out, bool least_squares) {
  return std::make_unique<NpzWriter>(std::move(out), least_squares);
}

std::unique_ptr<FieldWriter> csv_writer(std::unique_ptr<OutputFile> out,
                                        const std::vector<std::string>& coordinate_names,
                                        bool least_squares, int digits) {
  return std::make_unique<CsvWriter>(std::move(out), coordinate_names, least_squares, digits);
}

}  // namespace morvantide
