// A hand-written scanner for worksheet parts: a full sheet holds sixteen million cells, and a
// general XML reader spends more on each node (its name looked up, its attributes copied, its
// text handed over one node at a time) than the cell itself costs to store.
#include "host/xlsx_sheet_scanner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/number_text.h"

namespace host {

namespace {

using Source = std::function<std::size_t(char*, std::size_t)>;

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictMainNs = "http://purl.oclc.org/ooxml/spreadsheetml/main";
constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";
// Bytes asked of the source at a time.
constexpr std::size_t kBlock = std::size_t{4} << 20;
// Bytes kept read ahead of a row before it is taken apart: a longer row is left to the general
// reader, which streams it.
constexpr std::size_t kRowAhead = std::size_t{1} << 20;
// Largest piece outside the rows (a comment, a start tag) held in memory.
constexpr std::size_t kMaxPiece = std::size_t{64} << 20;
// Element depth left to the general reader (which applies its own limit).
constexpr std::size_t kMaxDepth = 200;
// Attributes on one element: more is left to the general reader.
constexpr int kMaxAttributes = 48;

[[noreturn]] void decline() {
  throw SheetScanDeclined{};
}

// The piece being taken apart does not end inside the bytes read so far.
struct Incomplete {};

bool isSpace(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}
bool nameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool nameChar(unsigned char c) {
  return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool xmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// Checks one UTF-8 sequence starting at s[i] (a byte >= 0x80) and returns its length.
std::size_t utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  std::size_t n = 0;
  std::uint32_t v = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, v = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, v = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, v = c & 0x07;
  } else {
    decline();
  }
  if (i + n > s.size()) decline();
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) decline();
    v = (v << 6) | (b(k) & 0x3F);
  }
  if ((n == 3 && v < 0x800) || (n == 4 && v < 0x10000) || !xmlChar(v)) decline();
  return n;
}

// The length of the reference at s[i] ('&'), or a decline when it is not one of the five
// predefined entities or a character reference to an XML character.
std::size_t referenceLength(std::string_view s, std::size_t i, std::uint32_t* code) {
  const std::size_t semi = s.find(';', i);
  if (semi == std::string_view::npos || semi - i > 12) decline();
  const std::string_view body = s.substr(i + 1, semi - i - 1);
  std::uint32_t c = 0;
  if (body == "lt") {
    c = '<';
  } else if (body == "gt") {
    c = '>';
  } else if (body == "amp") {
    c = '&';
  } else if (body == "apos") {
    c = '\'';
  } else if (body == "quot") {
    c = '"';
  } else if (body.size() >= 2 && body[0] == '#') {
    const bool hex = body[1] == 'x';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) decline();
    for (const char d : digits) {
      std::uint32_t v;
      if (d >= '0' && d <= '9')
        v = static_cast<std::uint32_t>(d - '0');
      else if (hex && d >= 'a' && d <= 'f')
        v = static_cast<std::uint32_t>(d - 'a' + 10);
      else if (hex && d >= 'A' && d <= 'F')
        v = static_cast<std::uint32_t>(d - 'A' + 10);
      else
        decline();
      c = c * (hex ? 16 : 10) + v;
      if (c > 0x10FFFF) decline();
    }
    if (!xmlChar(c)) decline();
  } else {
    decline();
  }
  if (code) *code = c;
  return semi - i + 1;
}

// Checks character data (text, or an attribute value when inAttribute) and tells whether it
// holds references. Carriage returns (which the parser would normalise) and, in attribute
// values, tabs and line feeds are declined where the value is kept; rewritten (when given)
// tells instead whether there are any.
bool checkCharacters(std::string_view s, bool inAttribute, bool kept, bool* rewritten = nullptr) {
  bool references = false;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      i += utf8Length(s, i);
      continue;
    }
    if (c < 0x20) {
      if (c != '\t' && c != '\n' && c != '\r') decline();
      if (c == '\r' || inAttribute) {
        if (kept) decline();
        if (rewritten) *rewritten = true;
      }
    } else if (c == '&') {
      references = true;
      i += referenceLength(s, i, nullptr);
      continue;
    } else if (c == '<') {
      decline();
    } else if (c == '>' && !inAttribute && i >= 2 && s[i - 1] == ']' && s[i - 2] == ']') {
      decline();
    }
    ++i;
  }
  return references;
}

// The text with its references replaced; out is the storage when there are any.
std::string_view decoded(std::string_view s, bool references, std::string& out) {
  if (!references) return s;
  out.clear();
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == '&') {
      std::uint32_t c = 0;
      i += referenceLength(s, i, &c);
      appendUtf8(out, c);
    } else {
      out += s[i++];
    }
  }
  return out;
}

struct Attribute {
  std::string_view prefix, name, raw;
  // Whether the value holds references, or characters the parser would rewrite in a value.
  bool references, rewritten;
};

struct Tag {
  std::string_view prefix, name;
  bool empty = false;
  int count = 0;
  Attribute attributes[kMaxAttributes];

  const Attribute* find(std::string_view n) const {
    for (int i = 0; i < count; ++i)
      if (attributes[i].name == n && attributes[i].prefix.empty()) return &attributes[i];
    return nullptr;
  }
};

// Bytes a cell's attribute values and value text may hold on the fast path: printable ASCII
// without the characters that need the general rules (references, markup, quotes).
struct PlainBytes {
  bool table[256] = {};
  constexpr PlainBytes() {
    for (int c = 0x20; c < 0x7F; ++c) table[c] = c != '<' && c != '>' && c != '&' && c != '"' && c != '\'';
  }
  bool operator()(char c) const { return table[static_cast<unsigned char>(c)]; }
};
constexpr PlainBytes kPlain;

class Scanner {
 public:
  Scanner(const Source& source, ScannedSheetSink& sink) : source_(source), sink_(sink) {}

  void run() {
    buffer_.resize(2 * kBlock);
    base_ = buffer_.data();
    more();
    document();
  }

  // The whole part already in memory: taken apart where it lies.
  void runWhole(std::string_view whole) {
    base_ = whole.data();
    len_ = whole.size();
    eof_ = true;
    document();
  }

  // The first of two scans sharing a part, over the part as it grows (waitBeyond(n) waits for
  // more than n bytes and returns how many are there): stops at the first row of <sheetData>
  // that starts at or after byte stopAt; true then, and resume() goes on from it.
  bool runUntil(std::string_view whole, std::size_t stopAt,
                const std::function<std::size_t(std::size_t)>& waitBeyond) {
    stopAt_ = stopAt;
    base_ = whole.data();
    size_ = whole.size();
    grow_ = &waitBeyond;
    len_ = waitBeyond(0);
    eof_ = len_ == size_;
    document();
    return stopped_;
  }
  std::size_t stoppedAt() const { return pos_; }
  void resume() {
    stopped_ = false;
    stopAt_ = kNowhere;
    sheetData();
    body();
  }
  // The second: the prolog and the root as usual, then the rows of <sheetData> from byte
  // resumeAt on and the rest of the part. Declines when the cancel flag is raised.
  void runFrom(std::string_view whole, std::size_t resumeAt, const std::atomic<bool>& cancel) {
    resumeAt_ = resumeAt;
    cancel_ = &cancel;
    runWhole(whole);
  }

 private:
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

  void document() {
    prolog();
    body();
  }
  void body() {
    for (;;) {
      if (stopped_) return;
      const char* p = at();
      if (p == end() && !more()) break;
      piece([&](const char*& q) { token(q); });
    }
    if (!rootClosed_) decline();
  }

  // --- the buffer
  const char* at() const { return base_ + pos_; }
  const char* end() const { return base_ + len_; }
  void consumeTo(const char* p) { pos_ = static_cast<std::size_t>(p - base_); }

  // Reads more bytes behind the unread ones; false at the end of the part.
  bool more() {
    if (eof_) return false;
    if (grow_) {
      len_ = (*grow_)(len_);
      eof_ = len_ == size_;
      return true;
    }
    if (pos_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos_, len_ - pos_);
      len_ -= pos_;
      pos_ = 0;
    }
    if (buffer_.size() - len_ < kBlock) {
      if (buffer_.size() >= kMaxPiece) decline();
      buffer_.resize(buffer_.size() * 2);
      base_ = buffer_.data();
    }
    const std::size_t n = source_(buffer_.data() + len_, buffer_.size() - len_);
    if (n == 0) {
      eof_ = true;
      return false;
    }
    len_ += n;
    return true;
  }

  // Takes apart one piece at the read position, reading more and starting it again while it
  // runs past the bytes read.
  template <typename F>
  void piece(F&& f) {
    for (;;) {
      const char* q = at();
      try {
        f(q);
        consumeTo(q);
        return;
      } catch (const Incomplete&) {
        if (!more()) decline();
      }
    }
  }

  // --- tokens over [p, end())
  void need(const char* p, std::size_t n) const {
    if (static_cast<std::size_t>(end() - p) < n) throw Incomplete{};
  }
  bool startsWith(const char* p, std::string_view s) const {
    need(p, s.size());
    return std::memcmp(p, s.data(), s.size()) == 0;
  }
  const char* find(const char* p, std::string_view s) const {
    const void* hit = memmem(p, static_cast<std::size_t>(end() - p), s.data(), s.size());
    if (!hit) throw Incomplete{};
    return static_cast<const char*>(hit);
  }
  void skipSpace(const char*& p) const {
    while (p < end() && isSpace(*p)) ++p;
    need(p, 1);
  }

  // A name, split at its prefix.
  void name(const char*& p, std::string_view& prefix, std::string_view& local) const {
    need(p, 1);
    const char* start = p;
    if (!nameStart(static_cast<unsigned char>(*p))) decline();
    const char* colon = nullptr;
    for (++p;; ++p) {
      need(p, 1);
      const auto c = static_cast<unsigned char>(*p);
      if (c == ':') {
        if (colon) decline();
        colon = p;
        need(p + 1, 1);
        if (!nameStart(static_cast<unsigned char>(p[1]))) decline();
      } else if (!nameChar(c)) {
        if (c >= 0x80) decline();
        break;
      }
    }
    if (colon) {
      prefix = std::string_view(start, static_cast<std::size_t>(colon - start));
      local = std::string_view(colon + 1, static_cast<std::size_t>(p - colon - 1));
    } else {
      prefix = {};
      local = std::string_view(start, static_cast<std::size_t>(p - start));
    }
  }

  // A start tag from its '<': name and attributes (values raw, checked).
  void startTag(const char*& p, Tag& tag) const {
    ++p;
    name(p, tag.prefix, tag.name);
    tag.count = 0;
    for (;;) {
      need(p, 1);
      const bool spaced = isSpace(*p);
      skipSpace(p);
      if (*p == '>') {
        ++p;
        tag.empty = false;
        break;
      }
      if (*p == '/') {
        need(p, 2);
        if (p[1] != '>') decline();
        p += 2;
        tag.empty = true;
        break;
      }
      if (!spaced || tag.count == kMaxAttributes) decline();
      Attribute& a = tag.attributes[tag.count];
      name(p, a.prefix, a.name);
      skipSpace(p);
      if (*p != '=') decline();
      ++p;
      skipSpace(p);
      const char quote = *p;
      if (quote != '"' && quote != '\'') decline();
      const char* close =
          static_cast<const char*>(std::memchr(p + 1, quote, static_cast<std::size_t>(end() - p - 1)));
      if (!close) throw Incomplete{};
      a.raw = std::string_view(p + 1, static_cast<std::size_t>(close - p - 1));
      a.rewritten = false;
      a.references = checkCharacters(a.raw, true, false, &a.rewritten);
      p = close + 1;
      for (int i = 0; i < tag.count; ++i)
        if (tag.attributes[i].name == a.name && tag.attributes[i].prefix == a.prefix) decline();
      ++tag.count;
    }
    checkPrefixes(tag);
  }

  // Namespaces are declared on the root element only; its prefixes are the ones known.
  void checkPrefixes(const Tag& tag) const {
    if (!tag.prefix.empty() && !known(tag.prefix)) decline();
    for (int i = 0; i < tag.count; ++i) {
      const Attribute& a = tag.attributes[i];
      if (a.prefix == "xmlns" || (a.prefix.empty() && a.name == "xmlns")) {
        if (rootSeen_) decline();
      } else if (!a.prefix.empty() && a.prefix != "xml" && !known(a.prefix)) {
        if (rootSeen_ || !declares(tag, a.prefix)) decline();
      }
    }
  }
  bool known(std::string_view prefix) const {
    return prefix == "xml" || std::find(prefixes_.begin(), prefixes_.end(), prefix) != prefixes_.end();
  }
  static bool declares(const Tag& tag, std::string_view prefix) {
    for (int i = 0; i < tag.count; ++i)
      if (tag.attributes[i].prefix == "xmlns" && tag.attributes[i].name == prefix) return true;
    return false;
  }

  // An end tag from its "</", which must close the element named.
  void endTag(const char*& p, std::string_view prefix, std::string_view local) const {
    p += 2;
    std::string_view pre, loc;
    name(p, pre, loc);
    if (pre != prefix || loc != local) decline();
    skipSpace(p);
    if (*p != '>') decline();
    ++p;
  }

  // Comments, processing instructions and character data sections, from their '<'.
  void comment(const char*& p) const {
    const char* close = find(p + 4, "--");
    need(close, 3);
    if (close[2] != '>') decline();
    checkCharacters(std::string_view(p + 4, static_cast<std::size_t>(close - p - 4)), true, false);
    p = close + 3;
  }
  void instruction(const char*& p) const {
    const char* close = find(p + 2, "?>");
    std::string_view target, none;
    const char* q = p + 2;
    name(q, none, target);
    if (!none.empty() || (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
                          (target[2] | 0x20) == 'l'))
      decline();
    checkCharacters(std::string_view(q, static_cast<std::size_t>(close - q)), true, false);
    p = close + 2;
  }
  void characterData(const char*& p) const {
    const char* close = find(p + 9, "]]>");
    checkCharacters(std::string_view(p + 9, static_cast<std::size_t>(close - p - 9)), true, false);
    p = close + 3;
  }
  // Text up to the next '<'.
  std::string_view text(const char*& p) const {
    const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end() - p)));
    if (!lt) throw Incomplete{};
    const std::string_view t(p, static_cast<std::size_t>(lt - p));
    p = lt;
    return t;
  }
  static bool blank(std::string_view t) { return std::all_of(t.begin(), t.end(), isSpace); }

  // --- the document
  void prolog() {
    piece([&](const char*& p) {
      if (startsWith(p, "\xEF\xBB\xBF")) p += 3;
      need(p, 6);
      if (std::memcmp(p, "<?xml", 5) != 0 || !isSpace(p[5])) return;
      const char* close = find(p, "?>");
      // The declaration read as the attributes of a tag.
      std::string declaration(p + 5, close);
      const Source none;
      for (const char c : declaration)
        if (!(nameChar(static_cast<unsigned char>(c)) || isSpace(c) || c == '=' || c == '"' || c == '\''))
          decline();
      Tag tag;
      const std::string asTag = "<x " + declaration + ">";
      Scanner inner(none, sink_);
      inner.buffer_.assign(asTag.begin(), asTag.end());
      inner.base_ = inner.buffer_.data();
      inner.len_ = inner.buffer_.size();
      inner.eof_ = true;
      const char* q = inner.at();
      inner.startTag(q, tag);
      const Attribute* version = tag.find("version");
      if (!version || version->raw != "1.0" || tag.attributes[0].name != "version") decline();
      if (const Attribute* encoding = tag.find("encoding")) {
        std::string e(encoding->raw);
        for (char& c : e) c = static_cast<char>(c | 0x20);
        if (e != "utf-8" && e != "utf8") decline();
      }
      for (int i = 0; i < tag.count; ++i)
        if (tag.attributes[i].name != "version" && tag.attributes[i].name != "encoding" &&
            tag.attributes[i].name != "standalone")
          decline();
      p = close + 2;
    });
  }

  void token(const char*& p) {
    if (*p != '<') {
      const std::string_view t = text(p);
      if (stack_.empty() && !blank(t)) decline();
      checkCharacters(t, false, false);
      return;
    }
    need(p, 2);
    if (p[1] == '!') {
      if (startsWith(p, "<!--")) return comment(p);
      if (!stack_.empty() && startsWith(p, "<![CDATA[")) return characterData(p);
      decline();
    }
    if (p[1] == '?') return instruction(p);
    if (p[1] == '/') {
      if (stack_.empty()) decline();
      endTag(p, stack_.back().first, stack_.back().second);
      stack_.pop_back();
      if (stack_.empty()) rootClosed_ = true;
      return;
    }
    if (rootClosed_) decline();
    Tag& tag = tag_;
    startTag(p, tag);
    if (!rootSeen_) {
      root(tag);
    } else if (tag.prefix.empty() && (tag.name == "row" || tag.name == "c")) {
      decline();
    }
    if (tag.empty) {
      if (stack_.empty()) rootClosed_ = true;
      return;
    }
    if (stack_.size() >= kMaxDepth) decline();
    if (stack_.size() == 1 && tag.prefix.empty() && tag.name == "sheetData") {
      consumeTo(p);
      sheetData();
      p = at();
      return;
    }
    stack_.emplace_back(std::string(tag.prefix), std::string(tag.name));
  }

  void root(const Tag& tag) {
    if (!tag.prefix.empty()) decline();
    const Attribute* ns = tag.find("xmlns");
    if (!ns || (ns->raw != kMainNs && ns->raw != kStrictMainNs)) decline();
    for (int i = 0; i < tag.count; ++i) {
      const Attribute& a = tag.attributes[i];
      if (a.prefix != "xmlns") continue;
      // A prefix for the sheet's own namespace would put its elements under another name.
      if (a.raw == kMainNs || a.raw == kStrictMainNs || a.raw.empty() || a.name == "xml" ||
          a.name == "xmlns" || a.raw == kXmlNs)
        decline();
      prefixes_.emplace_back(a.name);
    }
    rootSeen_ = true;
  }

  // --- <sheetData>: row by row, each row whole in the buffer.
  void sheetData() {
    if (resumeAt_ != kNowhere) {
      if (resumeAt_ < pos_ || resumeAt_ > len_) decline();
      pos_ = resumeAt_;
      resumeAt_ = kNowhere;
    }
    for (;;) {
      const char* p = at();
      while (p < end() && isSpace(*p)) ++p;
      consumeTo(p);
      if (pos_ >= stopAt_) {
        stopped_ = true;
        return;
      }
      if (cancel_ && cancel_->load(std::memory_order_relaxed)) decline();
      if (end() - p < 12) {
        if (more()) continue;
        if (p == end()) decline();
      }
      if (*p != '<') decline();
      if (end() - p >= 12 && std::memcmp(p, "</sheetData", 11) == 0) {
        piece([&](const char*& q) { endTag(q, {}, "sheetData"); });
        return;
      }
      if (end() - p >= 5 && std::memcmp(p, "<row", 4) == 0 && (isSpace(p[4]) || p[4] == '>' || p[4] == '/')) {
        row();
      } else if (end() - p >= 4 && std::memcmp(p, "<!--", 4) == 0) {
        piece([&](const char*& q) { comment(q); });
      } else {
        decline();
      }
    }
  }

  void row() {
    while (!eof_ && static_cast<std::size_t>(end() - at()) < kRowAhead) more();
    const char* p = at();
    try {
      rowElement(p);
    } catch (const Incomplete&) {
      decline();
    }
    consumeTo(p);
  }

  void rowElement(const char*& p) {
    Tag& tag = tag_;
    startTag(p, tag);
    const Attribute* r = tag.find("r");
    if (r) {
      if (r->references || r->rewritten) decline();
      sink_.row(r->raw);
    } else {
      sink_.row(std::nullopt);
    }
    if (tag.empty) return;
    for (;;) {
      const std::string_view t = text(p);
      if (!blank(t)) decline();
      if (startsWith(p, "</")) return endTag(p, {}, "row");
      if (startsWith(p, "<c") && (isSpace(p[2]) || p[2] == '>' || p[2] == '/')) {
        if (!plainCell(p)) cellElement(p);
      } else if (startsWith(p, "<!--")) {
        comment(p);
      } else {
        decline();
      }
    }
  }

  // A cell as spreadsheets write nearly all of them, <c r=".." s=".." t="..">, optionally with
  // <v>..</v>, every value plain ASCII: handed on without the general tag machinery. Anything
  // else (other attributes, spaces, formulas, references, comments) leaves p as it was and
  // returns false for cellElement, which reads the same cells the same way.
  bool plainCell(const char*& p) {
    const char* q = p + 2;
    const char* e = end();
    ScannedCell cell;
    for (;;) {
      if (q >= e) return false;
      if (*q == '>' || *q == '/') break;
      if (*q != ' ' || e - q < 4 || q[2] != '=' || q[3] != '"') return false;
      std::optional<std::string_view>* into = nullptr;
      switch (q[1]) {
        case 'r':
          into = &cell.ref;
          break;
        case 's':
          into = &cell.style;
          break;
        case 't':
          into = &cell.type;
          break;
        default:
          return false;
      }
      if (into->has_value()) return false;
      const char* v = q + 4;
      const char* close = v;
      while (close < e && kPlain(*close)) ++close;
      if (close >= e || *close != '"') return false;
      *into = std::string_view(v, static_cast<std::size_t>(close - v));
      q = close + 1;
    }
    if (*q == '/') {
      if (e - q < 2 || q[1] != '>') return false;
      p = q + 2;
      sink_.cell(cell);
      return true;
    }
    ++q;
    if (e - q >= 4 && std::memcmp(q, "</c>", 4) == 0) {
      p = q + 4;
      sink_.cell(cell);
      return true;
    }
    if (e - q < 3 || std::memcmp(q, "<v>", 3) != 0) return false;
    const char* v = q + 3;
    const char* close = v;
    while (close < e && kPlain(*close)) ++close;
    if (e - close < 8 || std::memcmp(close, "</v></c>", 8) != 0) return false;
    cell.value = std::string_view(v, static_cast<std::size_t>(close - v));
    p = close + 8;
    sink_.cell(cell);
    return true;
  }

  void cellElement(const char*& p) {
    Tag& tag = cellTag_;
    startTag(p, tag);
    ScannedCell cell;
    const auto kept = [&](const char* n, std::optional<std::string_view>& into) {
      if (const Attribute* a = tag.find(n)) {
        if (a->references || a->rewritten) decline();
        into = a->raw;
      }
    };
    kept("r", cell.ref);
    kept("t", cell.type);
    kept("s", cell.style);
    if (!tag.empty) {
      for (;;) {
        checkCharacters(text(p), false, false);
        need(p, 2);
        if (p[1] == '/') {
          endTag(p, {}, "c");
          break;
        }
        if (p[1] == '!') {
          if (!startsWith(p, "<!--")) decline();
          comment(p);
          continue;
        }
        Tag& child = childTag_;
        startTag(p, child);
        if (!child.prefix.empty()) decline();
        if (child.name == "v") {
          cell.value = leafText(p, child, valueText_);
        } else if (child.name == "f") {
          cell.hasFormula = true;
          cell.formulaType = "normal";
          cell.shareIndex = {};
          if (const Attribute* t = child.find("t")) {
            if (t->references || t->rewritten) decline();
            cell.formulaType = t->raw;
          }
          if (const Attribute* si = child.find("si")) {
            if (si->references || si->rewritten) decline();
            cell.shareIndex = si->raw;
          }
          cell.formula = leafText(p, child, formulaText_);
        } else if (child.name == "is") {
          inlineString(p, child);
          cell.inlineText = inlineText_;
        } else if (!child.empty) {
          skipChildren(p, child);
        }
      }
    }
    sink_.cell(cell);
  }

  // The text of an element that holds text alone (<v>, <f>).
  std::string_view leafText(const char*& p, const Tag& tag, std::string& storage) const {
    if (tag.empty) return {};
    const std::string_view t = text(p);
    const bool references = checkCharacters(t, false, true);
    endTag(p, {}, tag.name);
    return decoded(t, references, storage);
  }

  // The <t> runs of a string item, without its phonetic runs (<rPh>).
  void inlineString(const char*& p, const Tag& tag) {
    runs_.clear();
    if (tag.empty) {
      inlineText_.clear();
      return;
    }
    std::vector<std::string_view> open;
    bool inT = false;
    for (;;) {
      const std::string_view t = text(p);
      const bool references = checkCharacters(t, false, inT);
      if (inT) runs_ += decoded(t, references, scratch_);
      need(p, 2);
      if (p[1] == '/') {
        if (open.empty()) {
          endTag(p, {}, "is");
          break;
        }
        endTag(p, {}, open.back());
        if (open.back() == "t") inT = false;
        open.pop_back();
        continue;
      }
      if (p[1] == '!') {
        if (!startsWith(p, "<!--")) decline();
        comment(p);
        continue;
      }
      Tag& child = runTag_;
      startTag(p, child);
      if (!child.prefix.empty()) decline();
      if (child.empty) continue;
      if (child.name == "rPh") {
        skipChildren(p, child);
        continue;
      }
      if (open.size() >= kMaxDepth) decline();
      if (child.name == "t") inT = true;
      open.push_back(child.name);
    }
    inlineText_ = decodeXlsxEscapes(runs_);
  }

  // Passes over the contents and end of an element whose start tag was read.
  void skipChildren(const char*& p, const Tag& tag) const {
    std::vector<std::pair<std::string_view, std::string_view>> open{{tag.prefix, tag.name}};
    while (!open.empty()) {
      checkCharacters(text(p), false, false);
      need(p, 2);
      if (p[1] == '/') {
        endTag(p, open.back().first, open.back().second);
        open.pop_back();
      } else if (p[1] == '!') {
        if (startsWith(p, "<!--"))
          comment(p);
        else if (startsWith(p, "<![CDATA["))
          characterData(p);
        else
          decline();
      } else if (p[1] == '?') {
        instruction(p);
      } else {
        Tag child;
        startTag(p, child);
        if (child.empty) continue;
        if (open.size() >= kMaxDepth) decline();
        open.emplace_back(child.prefix, child.name);
      }
    }
  }

  const Source& source_;
  ScannedSheetSink& sink_;
  std::vector<char> buffer_;
  // Start of the bytes being taken apart: buffer_, or the caller's whole part.
  const char* base_ = nullptr;
  // Where a scan that shares the part stops or starts its rows.
  std::size_t stopAt_ = kNowhere, resumeAt_ = kNowhere;
  bool stopped_ = false;
  const std::atomic<bool>* cancel_ = nullptr;
  // A part that grows while it is taken apart: its size, and the wait for more of it.
  std::size_t size_ = 0;
  const std::function<std::size_t(std::size_t)>* grow_ = nullptr;
  std::size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool rootSeen_ = false, rootClosed_ = false;
  std::vector<std::string> prefixes_;
  std::vector<std::pair<std::string, std::string>> stack_;
  Tag tag_, cellTag_, childTag_, runTag_;
  std::string valueText_, formulaText_, runs_, scratch_, inlineText_;
};

}  // namespace

void scanWorksheet(const Source& source, ScannedSheetSink& sink) {
  Scanner(source, sink).run();
}

void scanWorksheet(std::string_view whole, ScannedSheetSink& sink) {
  const Source none;
  Scanner(none, sink).runWhole(whole);
}

namespace {

// The first row start at or after byte from, or npos.
std::size_t rowStartFrom(std::string_view whole, std::size_t from) {
  for (std::size_t at = whole.find("<row", from); at != std::string_view::npos;
       at = whole.find("<row", at + 4))
    if (at + 4 < whole.size() && (isSpace(whole[at + 4]) || whole[at + 4] == '>' || whole[at + 4] == '/'))
      return at;
  return std::string_view::npos;
}

// The part's bytes as they become final, shared by the thread that fills it and the scan that
// waits for them.
class Growth {
 public:
  explicit Growth(std::size_t size) : size_(size) {}
  void ready(std::size_t n) {
    {
      std::lock_guard lock(mutex_);
      ready_ = n;
    }
    changed_.notify_all();
  }
  void abandon() {
    {
      std::lock_guard lock(mutex_);
      abandoned_ = true;
    }
    changed_.notify_all();
  }
  // More than have bytes, or all of them; declines once the filling failed.
  std::size_t waitBeyond(std::size_t have) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return abandoned_ || ready_ > have || ready_ == size_; });
    if (abandoned_) decline();
    return ready_;
  }

 private:
  std::size_t size_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t ready_ = 0;
  bool abandoned_ = false;
};

}  // namespace

bool scanWorksheetWhileFilled(std::string_view whole, double upperShare, const PartFiller& fill,
                              ScannedSheetSink& upper, ScannedSheetSink& lower) {
  const Source none;
  Growth growth(whole.size());
  const std::function<std::size_t(std::size_t)> wait = [&](std::size_t have) {
    return growth.waitBeyond(have);
  };
  // The upper scan stops at the first row at or after this byte; the lower one starts at the
  // first text there that looks like a row start, once the part is complete. Where the two
  // differ (the text was not a row of <sheetData>), the upper scan reads the rest itself.
  const auto target = static_cast<std::size_t>(static_cast<double>(whole.size()) * upperShare);
  Scanner first(none, upper);
  std::atomic<bool> cancel{false};
  bool stopped = false;
  std::exception_ptr upperError;
  std::thread reader([&] {
    try {
      stopped = first.runUntil(whole, target, wait);
    } catch (...) {
      upperError = std::current_exception();
      cancel = true;
    }
  });
  struct Join {
    std::thread& thread;
    Growth& growth;
    bool filled = false;
    ~Join() {
      if (!filled) growth.abandon();
      if (thread.joinable()) thread.join();
    }
  } join{reader, growth};
  fill([&](std::size_t n) { growth.ready(n); });
  join.filled = true;
  const std::size_t split = rowStartFrom(whole, target);
  bool lowerDone = false;
  if (split != std::string_view::npos) {
    try {
      Scanner(none, lower).runFrom(whole, split, cancel);
      lowerDone = true;
    } catch (...) {
      // Dropped: the upper scan reads these rows itself and meets whatever went wrong.
    }
  }
  reader.join();
  if (upperError) std::rethrow_exception(upperError);
  if (!stopped) return false;
  if (lowerDone && first.stoppedAt() == split) return true;
  first.resume();
  return false;
}

bool scanWorksheetSplit(std::string_view whole, ScannedSheetSink& upper, ScannedSheetSink& lower) {
  return scanWorksheetWhileFilled(
      whole, 0.5, [&](const std::function<void(std::size_t)>& ready) { ready(whole.size()); }, upper, lower);
}

}  // namespace host
