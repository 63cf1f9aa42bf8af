#include "host/workbook_transfer.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "host/workbook_builder.h"

namespace host {

namespace {

constexpr char kMagic[4] = {'L', 'V', 'W', 'B'};
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kBuffer = std::size_t{1} << 20;
// The reader's buffer for the small fields. Blocks at least this long (a column's kinds and
// numbers) go straight into their place, so a larger buffer would only be filled and copied.
constexpr std::size_t kReadBuffer = std::size_t{1} << 16;
// Longest sheet name or refusal message taken.
constexpr std::uint32_t kMaxName = 1024;
constexpr std::uint32_t kMaxMessage = 64 * 1024;

class Writer {
 public:
  explicit Writer(const TransferSink& out) : out_(out) { buffer_.reserve(kBuffer); }
  ~Writer() = default;
  void bytes(const char* p, std::size_t n) {
    if (buffer_.size() + n > kBuffer) flush();
    if (n > kBuffer) {
      out_(p, n);
      return;
    }
    buffer_.append(p, n);
  }
  void u8(std::uint8_t v) { bytes(reinterpret_cast<const char*>(&v), 1); }
  void u32(std::uint32_t v) {
    char b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    bytes(b, 4);
  }
  void f64(double d) {
    const auto v = std::bit_cast<std::uint64_t>(d);
    char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    bytes(b, 8);
  }
  void text(const std::string& s) {
    u32(static_cast<std::uint32_t>(s.size()));
    bytes(s.data(), s.size());
  }
  void f64s(std::span<const double> values) {
    if constexpr (std::endian::native == std::endian::little) {
      bytes(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
    } else {
      for (const double v : values) f64(v);
    }
  }
  void flush() {
    if (!buffer_.empty()) out_(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

 private:
  const TransferSink& out_;
  std::string buffer_;
};

class Reader {
 public:
  explicit Reader(const TransferSource& source)
      : source_(source), buffer_(std::make_unique_for_overwrite<char[]>(kReadBuffer)) {}
  void bytes(char* p, std::size_t n) {
    while (n > 0) {
      if (pos_ == len_ && n >= kReadBuffer) {
        // A large block straight into its place.
        const std::size_t k = source_(p, n);
        if (k == 0) throw TransferError("it ends early");
        p += k, n -= k;
        continue;
      }
      if (pos_ == len_) {
        len_ = source_(buffer_.get(), kReadBuffer);
        pos_ = 0;
        if (len_ == 0) throw TransferError("it ends early");
      }
      const std::size_t k = std::min(n, len_ - pos_);
      std::memcpy(p, buffer_.get() + pos_, k);
      pos_ += k, p += k, n -= k;
    }
  }
  std::uint8_t u8() {
    char b;
    bytes(&b, 1);
    return static_cast<std::uint8_t>(b);
  }
  std::uint32_t u32() {
    unsigned char b[4];
    bytes(reinterpret_cast<char*>(b), 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  double f64() {
    unsigned char b[8];
    bytes(reinterpret_cast<char*>(b), 8);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return std::bit_cast<double>(v);
  }
  void f64s(std::span<double> values) {
    bytes(reinterpret_cast<char*>(values.data()), values.size() * sizeof(double));
    if constexpr (std::endian::native != std::endian::little) {
      for (double& v : values) {
        std::uint64_t bits = std::bit_cast<std::uint64_t>(v), swapped = 0;
        for (int i = 0; i < 8; ++i, bits >>= 8) swapped = (swapped << 8) | (bits & 0xFF);
        v = std::bit_cast<double>(swapped);
      }
    }
  }
  // A length-prefixed text of at most max bytes.
  std::string text(std::uint32_t max, const char* what) {
    const std::uint32_t n = u32();
    if (n > max) throw TransferError(std::string(what) + " is longer than allowed");
    std::string s(n, '\0');
    bytes(s.data(), n);
    return s;
  }
  bool atEnd() {
    if (pos_ < len_) return false;
    len_ = source_(buffer_.get(), kReadBuffer);
    pos_ = 0;
    return len_ == 0;
  }

 private:
  const TransferSource& source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0, len_ = 0;
};

// One column of a sheet, every cell checked before the column is stored.
void readColumn(Reader& r, Sheet& sheet, std::int32_t col, SheetLimits limits) {
  const std::uint32_t rows = r.u32();
  if (rows > static_cast<std::uint32_t>(limits.rows)) throw TransferError("a column has too many rows");
  std::vector<CellKind> kinds(rows);
  static_assert(sizeof(CellKind) == 1);
  r.bytes(reinterpret_cast<char*>(kinds.data()), rows);
  std::vector<double> numbers(rows);
  r.f64s(numbers);
  std::size_t textCells = 0;
  for (std::uint32_t i = 0; i < rows; ++i) {
    switch (kinds[i]) {
      case CellKind::Empty:
      case CellKind::Number:
      case CellKind::Date:
        break;
      case CellKind::Text:
        ++textCells;
        break;
      case CellKind::Boolean:
        numbers[i] = numbers[i] != 0 ? 1 : 0;
        break;
      case CellKind::Error: {
        const double code = numbers[i];
        if (!(code >= kErrorNull && code <= kErrorNA))
          throw TransferError("an error cell is of no known error");
        // An error number between the known ones is #VALUE!, as a cell stores it.
        numbers[i] = *errorFromText(errorText(static_cast<std::int32_t>(code)));
        break;
      }
      default:
        throw TransferError("a cell is of no known kind");
    }
  }
  const std::uint32_t count = r.u32();
  if (count != textCells) throw TransferError("its texts do not match its text cells");
  std::unordered_map<std::int32_t, std::string> texts;
  texts.reserve(count);
  std::uint32_t previous = 0;
  for (std::uint32_t t = 0; t < count; ++t) {
    const std::uint32_t row = r.u32();
    if (row <= previous || row > rows || kinds[row - 1] != CellKind::Text)
      throw TransferError("a text belongs to no text cell");
    previous = row;
    std::string text = r.text(static_cast<std::uint32_t>(kMaxCellTextBytes), "a text");
    if (text.empty()) throw TransferError("a text cell is empty");
    texts.emplace(static_cast<std::int32_t>(row - 1), std::move(text));
  }
  sheet.setColumn(col, std::move(kinds), std::move(numbers), std::move(texts));
}

void header(Writer& w, std::uint8_t answer) {
  w.bytes(kMagic, sizeof kMagic);
  w.u32(kVersion);
  w.u8(answer);
}

}  // namespace

void writeWorkbookTransfer(const Workbook& workbook, const TransferSink& out) {
  Writer w(out);
  header(w, 0);
  w.u32(static_cast<std::uint32_t>(workbook.sheetCount()));
  w.u32(static_cast<std::uint32_t>(std::max(0, workbook.activeSheetIndex())));
  for (int s = 0; s < workbook.sheetCount(); ++s) {
    const Sheet& sheet = workbook.sheet(s);
    w.text(sheet.name());
    const auto used = sheet.usedArea();
    const std::int32_t cols = used ? used->right : 0;
    w.u32(static_cast<std::uint32_t>(cols));
    for (std::int32_t c = 1; c <= cols; ++c) {
      const std::span<const CellKind> kinds = sheet.columnKinds(c);
      std::size_t rows = kinds.size();
      while (rows > 0 && kinds[rows - 1] == CellKind::Empty) --rows;
      w.u32(static_cast<std::uint32_t>(rows));
      static_assert(sizeof(CellKind) == 1);
      w.bytes(reinterpret_cast<const char*>(kinds.data()), rows);
      w.f64s(sheet.columnNumbers(c).first(rows));
      const auto texts =
          static_cast<std::uint32_t>(std::count(kinds.begin(), kinds.begin() + rows, CellKind::Text));
      w.u32(texts);
      for (std::size_t r = 0; r < rows; ++r) {
        if (kinds[r] != CellKind::Text) continue;
        const auto row = static_cast<std::int32_t>(r + 1);
        w.u32(static_cast<std::uint32_t>(row));
        w.text(sheet.text(row, c));
      }
    }
  }
  w.flush();
}

void writeRefusalTransfer(const std::string& message, const TransferSink& out) {
  Writer w(out);
  header(w, 1);
  w.text(message.substr(0, kMaxMessage));
  w.flush();
}

TransferAnswer readWorkbookTransfer(const TransferSource& source, const std::string& name,
                                    SheetLimits limits) {
  Reader r(source);
  char magic[4];
  r.bytes(magic, 4);
  if (std::memcmp(magic, kMagic, 4) != 0) throw TransferError("it does not begin as a workbook answer does");
  if (r.u32() != kVersion) throw TransferError("it is of another version");
  const std::uint8_t answer = r.u8();
  TransferAnswer result;
  if (answer == 1) {
    result.refusal = r.text(kMaxMessage, "the message");
  } else if (answer == 0) {
    const std::uint32_t sheets = r.u32(), active = r.u32();
    if (sheets == 0 || sheets > static_cast<std::uint32_t>(kMaxSheets))
      throw TransferError("it names " + std::to_string(sheets) + " sheets");
    if (active >= sheets) throw TransferError("its active sheet does not exist");
    auto book = std::make_shared<Workbook>(name, limits);
    for (std::uint32_t s = 0; s < sheets; ++s) {
      std::string sheetName = r.text(kMaxName, "a sheet name");
      if (sheetName.empty() || book->findSheet(sheetName))
        throw TransferError("a sheet name is empty or repeated");
      Sheet& sheet = book->addSheet(std::move(sheetName));
      const std::uint32_t cols = r.u32();
      if (cols > static_cast<std::uint32_t>(limits.cols)) throw TransferError("a sheet has too many columns");
      for (std::uint32_t c = 1; c <= cols; ++c) readColumn(r, sheet, static_cast<std::int32_t>(c), limits);
    }
    book->activateSheet(static_cast<int>(active));
    result.workbook = std::move(book);
  } else {
    throw TransferError("it is neither a workbook nor a refusal");
  }
  if (!r.atEnd()) throw TransferError("more follows it");
  return result;
}

}  // namespace host
