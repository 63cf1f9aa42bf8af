// A small formula calculator for the formulas a file leaves without a stored result: the
// operators, cell and range references of both grammars and the common functions. It reads
// and calculates in one recursive-descent pass whose depth is bounded.
#include "host/formula.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <variant>
#include <vector>

#include "host/cell_address.h"
#include "host/number_text.h"
#include "platform/dispatch.h"
#include "shared/portable_math.h"

namespace host {

namespace {

using Value = FormulaValue;

// A failure that ends the calculation with an error value.
struct Fail {
  std::int32_t code;
};

struct Operand {
  std::variant<Value, FormulaRange> v;
  bool isRange() const { return std::holds_alternative<FormulaRange>(v); }
};

bool isAlpha(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperCase(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = upper(c);
  return u;
}

// Spreadsheet rounding of a value to `digits` decimals, half away from zero.
double roundTo(double v, double digits, int mode) {
  const double d = std::trunc(digits);
  if (std::fabs(d) > 15) return v;
  const double scale = portable_math::pow(10.0, std::fabs(d));
  const double x = d >= 0 ? v * scale : v / scale;
  double r;
  if (mode == 0)
    r = std::round(x);
  else if (mode < 0)
    r = std::trunc(x);
  else
    r = x < 0 ? std::floor(x) : std::ceil(x);
  return d >= 0 ? r / scale : r * scale;
}

class Calculator {
 public:
  Calculator(std::string_view text, FormulaGrammar grammar, int sheet, FormulaCells& cells,
             std::int32_t rowShift, std::int32_t colShift)
      : s_(text), grammar_(grammar), sheet_(sheet), cells_(cells), rowShift_(rowShift), colShift_(colShift) {}

  bool uncalculable() const { return uncalculable_; }
  // What we cannot calculate (syntax we do not read, unknown names, references we cannot
  // follow), as opposed to a calculation whose result is an error.
  [[noreturn]] void unknown(std::int32_t code) const {
    uncalculable_ = true;
    throw Fail{code};
  }

  Value run() {
    skipSpace();
    if (grammar_ == FormulaGrammar::OpenFormula) {
      if (s_.substr(pos_, 3) == "of:") pos_ += 3;
    }
    if (pos_ < s_.size() && s_[pos_] == '=') ++pos_;
    Operand o = comparison(0);
    skipSpace();
    if (pos_ != s_.size()) unknown(kErrorValue);
    return scalar(o);
  }

 private:
  // ---- lexical helpers
  void skipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }
  bool accept(std::string_view token) {
    skipSpace();
    if (s_.substr(pos_, token.size()) == token) {
      pos_ += token.size();
      return true;
    }
    return false;
  }
  void expect(char c) {
    skipSpace();
    if (pos_ >= s_.size() || s_[pos_] != c) unknown(kErrorValue);
    ++pos_;
  }
  void enter(int depth) const {
    if (depth > kMaxFormulaDepth) unknown(kErrorValue);
  }

  // ---- values
  Value scalar(const Operand& o) {
    if (!o.isRange()) return std::get<Value>(o.v);
    const FormulaRange& r = std::get<FormulaRange>(o.v);
    if (r.top == r.bottom && r.left == r.right) return cells_.cell(r.sheet, r.top, r.left);
    throw Fail{kErrorValue};
  }
  static double toNumber(const Value& v) {
    switch (v.kind) {
      case CellKind::Empty:
        return 0;
      case CellKind::Number:
      case CellKind::Date:
      case CellKind::Boolean:
        return v.number;
      case CellKind::Error:
        throw Fail{static_cast<std::int32_t>(v.number)};
      case CellKind::Text:
        if (const auto n = parseNumber(v.text)) return *n;
        throw Fail{kErrorValue};
    }
    return 0;
  }
  static std::string toText(const Value& v) {
    switch (v.kind) {
      case CellKind::Empty:
        return {};
      case CellKind::Number:
      case CellKind::Date:
        return formatNumber(v.number);
      case CellKind::Boolean:
        return v.number != 0 ? "TRUE" : "FALSE";
      case CellKind::Error:
        throw Fail{static_cast<std::int32_t>(v.number)};
      case CellKind::Text:
        return v.text;
    }
    return {};
  }
  static bool toBool(const Value& v) { return toNumber(v) != 0; }
  static Value number(double x) {
    if (!std::isfinite(x)) throw Fail{kErrorNum};
    return Value::ofNumber(x);
  }

  // ---- grammar
  Operand comparison(int depth) {
    enter(depth);
    Operand left = concatenation(depth);
    for (;;) {
      skipSpace();
      int op = 0;
      if (accept("<>"))
        op = 1;
      else if (accept("<="))
        op = 2;
      else if (accept(">="))
        op = 3;
      else if (accept("="))
        op = 4;
      else if (accept("<"))
        op = 5;
      else if (accept(">"))
        op = 6;
      if (op == 0) return left;
      const Value a = scalar(left);
      const Value b = scalar(concatenation(depth));
      if (a.kind == CellKind::Error) throw Fail{static_cast<std::int32_t>(a.number)};
      if (b.kind == CellKind::Error) throw Fail{static_cast<std::int32_t>(b.number)};
      const int c = compare(a, b);
      bool r = false;
      switch (op) {
        case 1:
          r = c != 0;
          break;
        case 2:
          r = c <= 0;
          break;
        case 3:
          r = c >= 0;
          break;
        case 4:
          r = c == 0;
          break;
        case 5:
          r = c < 0;
          break;
        case 6:
          r = c > 0;
          break;
      }
      left.v = Value::ofBoolean(r);
    }
  }
  // Numbers before texts before Booleans, texts without regard to case.
  static int compare(const Value& a, const Value& b) {
    auto rank = [](const Value& v) {
      return v.kind == CellKind::Text ? 1 : v.kind == CellKind::Boolean ? 2 : 0;
    };
    Value x = a, y = b;
    if (x.kind == CellKind::Empty) x = y.kind == CellKind::Text ? Value::ofText("") : Value::ofNumber(0);
    if (y.kind == CellKind::Empty) y = x.kind == CellKind::Text ? Value::ofText("") : Value::ofNumber(0);
    if (rank(x) != rank(y)) return rank(x) < rank(y) ? -1 : 1;
    if (x.kind == CellKind::Text) {
      const std::string p = upperCase(x.text), q = upperCase(y.text);
      return p < q ? -1 : p > q ? 1 : 0;
    }
    return x.number < y.number ? -1 : x.number > y.number ? 1 : 0;
  }
  Operand concatenation(int depth) {
    enter(depth);
    Operand left = additive(depth);
    while (accept("&")) {
      const std::string a = toText(scalar(left));
      left.v = Value::ofText(a + toText(scalar(additive(depth))));
    }
    return left;
  }
  Operand additive(int depth) {
    enter(depth);
    Operand left = multiplicative(depth);
    for (;;) {
      skipSpace();
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) {
        const char op = s_[pos_++];
        const double a = toNumber(scalar(left));
        const double b = toNumber(scalar(multiplicative(depth)));
        left.v = number(op == '+' ? a + b : a - b);
      } else {
        return left;
      }
    }
  }
  Operand multiplicative(int depth) {
    enter(depth);
    Operand left = power(depth);
    for (;;) {
      skipSpace();
      if (pos_ < s_.size() && (s_[pos_] == '*' || s_[pos_] == '/')) {
        const char op = s_[pos_++];
        const double a = toNumber(scalar(left));
        const double b = toNumber(scalar(power(depth)));
        if (op == '/' && b == 0) throw Fail{kErrorDiv0};
        left.v = number(op == '*' ? a * b : a / b);
      } else {
        return left;
      }
    }
  }
  Operand power(int depth) {
    enter(depth);
    Operand left = unary(depth);
    while (accept("^")) {
      const double a = toNumber(scalar(left));
      const double b = toNumber(scalar(unary(depth)));
      if (a == 0 && b < 0) throw Fail{kErrorDiv0};
      left.v = number(portable_math::pow(a, b));
    }
    return left;
  }
  Operand unary(int depth) {
    enter(depth);
    skipSpace();
    if (accept("-")) return Operand{number(-toNumber(scalar(unary(depth + 1))))};
    if (accept("+")) return unary(depth + 1);
    Operand o = primary(depth);
    while (accept("%")) o.v = number(toNumber(scalar(o)) / 100);
    return o;
  }

  Operand primary(int depth) {
    enter(depth);
    skipSpace();
    if (pos_ >= s_.size()) unknown(kErrorValue);
    const char c = s_[pos_];
    if (c == '(') {
      ++pos_;
      Operand o = comparison(depth + 1);
      expect(')');
      return o;
    }
    if (c == '"') return Operand{Value::ofText(stringLiteral())};
    if (isDigit(c) || (c == '.' && pos_ + 1 < s_.size() && isDigit(s_[pos_ + 1])))
      return Operand{numberLiteral()};
    if (c == '#') return Operand{errorLiteral()};
    if (c == '[') return Operand{bracketReference()};
    if (c == '{') unknown(kErrorValue);  // array constants are not calculated
    return nameOrReference(depth);
  }

  std::string stringLiteral() {
    std::string out;
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) unknown(kErrorValue);
      const char c = s_[pos_++];
      if (c == '"') {
        if (pos_ < s_.size() && s_[pos_] == '"') {
          out += '"';
          ++pos_;
        } else {
          return out;
        }
      } else {
        out += c;
      }
    }
  }
  Value numberLiteral() {
    std::size_t end = pos_;
    while (end < s_.size() && (isDigit(s_[end]) || s_[end] == '.')) ++end;
    if (end < s_.size() && (s_[end] == 'e' || s_[end] == 'E')) {
      std::size_t e = end + 1;
      if (e < s_.size() && (s_[e] == '+' || s_[e] == '-')) ++e;
      if (e < s_.size() && isDigit(s_[e])) {
        end = e;
        while (end < s_.size() && isDigit(s_[end])) ++end;
      }
    }
    const auto v = parseNumber(s_.substr(pos_, end - pos_));
    if (!v) unknown(kErrorValue);
    pos_ = end;
    return Value::ofNumber(*v);
  }
  Value errorLiteral() {
    for (const std::int32_t code :
         {kErrorNull, kErrorDiv0, kErrorValue, kErrorRef, kErrorName, kErrorNum, kErrorNA}) {
      const std::string_view t = errorText(code);
      if (upperCase(s_.substr(pos_, t.size())) == t) {
        pos_ += t.size();
        return Value::ofError(code);
      }
    }
    unknown(kErrorValue);
  }

  // ---- references
  struct Ref {
    std::int32_t row = 0, col = 0;  // 0: the whole column or row
  };
  // A1, $A$1, A (a column), 1 (a row) shifted by the cell's offset where relative.
  std::optional<Ref> cellPart(std::string_view t) {
    std::size_t i = 0;
    Ref ref;
    bool colAbs = false, rowAbs = false;
    if (i < t.size() && t[i] == '$') colAbs = true, ++i;
    std::int64_t col = 0;
    std::size_t letters = 0;
    while (i < t.size() && isAlpha(t[i]) && letters < 4)
      col = col * 26 + (upper(t[i]) - 'A' + 1), ++i, ++letters;
    if (letters == 0) colAbs = false;
    if (i < t.size() && t[i] == '$') rowAbs = true, ++i;
    std::int64_t row = 0;
    std::size_t digits = 0;
    while (i < t.size() && isDigit(t[i]) && digits < 8) row = row * 10 + (t[i] - '0'), ++i, ++digits;
    if (i != t.size() || (letters == 0 && digits == 0)) return std::nullopt;
    if (letters > 0) {
      if (!colAbs) col += colShift_;
      if (col < 1 || col > cells_.limits().cols) throw Fail{kErrorRef};
      ref.col = static_cast<std::int32_t>(col);
    }
    if (digits > 0) {
      if (!rowAbs) row += rowShift_;
      if (row < 1 || row > cells_.limits().rows) throw Fail{kErrorRef};
      ref.row = static_cast<std::int32_t>(row);
    }
    return ref;
  }
  FormulaRange makeRange(int sheet, Ref a, Ref b) {
    const SheetLimits lim = cells_.limits();
    if ((a.row == 0) != (b.row == 0) || (a.col == 0) != (b.col == 0)) unknown(kErrorRef);
    FormulaRange r;
    r.sheet = sheet;
    r.top = a.row == 0 ? 1 : std::min(a.row, b.row);
    r.bottom = a.row == 0 ? lim.rows : std::max(a.row, b.row);
    r.left = a.col == 0 ? 1 : std::min(a.col, b.col);
    r.right = a.col == 0 ? lim.cols : std::max(a.col, b.col);
    return r;
  }
  int sheetNamed(std::string_view name) {
    std::string n(name);
    if (!n.empty() && n.front() == '$') n.erase(0, 1);
    if (n.size() >= 2 && n.front() == '\'' && n.back() == '\'') {
      std::string unq;
      for (std::size_t i = 1; i + 1 < n.size(); ++i) {
        unq += n[i];
        if (n[i] == '\'' && i + 2 < n.size() && n[i + 1] == '\'') ++i;
      }
      n = unq;
    }
    if (n.find('[') != std::string::npos) unknown(kErrorRef);  // another workbook
    const int index = cells_.sheetIndex(n);
    if (index < 0) unknown(kErrorRef);
    return index;
  }

  // The OpenFormula form: [.A1], [.A1:.B2], [$Sheet2.A1], ['My sheet'.A1:.B9], [.A:.A].
  FormulaRange bracketReference() {
    const std::size_t close = s_.find(']', pos_);
    if (close == std::string_view::npos) unknown(kErrorValue);
    const std::string_view inside = s_.substr(pos_ + 1, close - pos_ - 1);
    pos_ = close + 1;
    auto part = [&](std::string_view p, int defaultSheet, int& sheetOut) -> Ref {
      // The sheet name ends at the last '.' outside quotes.
      std::size_t dot = std::string_view::npos;
      bool quoted = false;
      for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '\'')
          quoted = !quoted;
        else if (p[i] == '.' && !quoted)
          dot = i;
      }
      if (dot == std::string_view::npos) unknown(kErrorRef);
      sheetOut = dot == 0 ? defaultSheet : sheetNamed(p.substr(0, dot));
      const auto ref = cellPart(p.substr(dot + 1));
      if (!ref) unknown(kErrorRef);
      return *ref;
    };
    std::size_t colon = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < inside.size(); ++i) {
      if (inside[i] == '\'')
        quoted = !quoted;
      else if (inside[i] == ':' && !quoted)
        colon = i;
    }
    int sheetA = sheet_, sheetB = sheet_;
    const Ref a = part(inside.substr(0, colon), sheet_, sheetA);
    if (colon == std::string_view::npos) {
      if (a.row == 0 || a.col == 0) unknown(kErrorRef);
      return makeRange(sheetA, a, a);
    }
    const Ref b = part(inside.substr(colon + 1), sheetA, sheetB);
    if (sheetA != sheetB) unknown(kErrorRef);
    return makeRange(sheetA, a, b);
  }

  // A word: a function call, TRUE/FALSE, or an A1 reference with an optional sheet.
  Operand nameOrReference(int depth) {
    const std::size_t start = pos_;
    int sheet = sheet_;
    if (s_[pos_] == '\'') {
      // 'Sheet name'!A1
      std::size_t i = pos_ + 1;
      for (;;) {
        if (i >= s_.size()) unknown(kErrorValue);
        if (s_[i] == '\'') {
          if (i + 1 < s_.size() && s_[i + 1] == '\'') {
            i += 2;
            continue;
          }
          break;
        }
        ++i;
      }
      if (i + 1 >= s_.size() || s_[i + 1] != '!') unknown(kErrorValue);
      sheet = sheetNamed(s_.substr(pos_, i + 1 - pos_));
      pos_ = i + 2;
    }
    std::size_t end = pos_;
    while (end < s_.size() && (isAlpha(s_[end]) || isDigit(s_[end]) || s_[end] == '$' || s_[end] == '_' ||
                               s_[end] == '.' || s_[end] == '[' || s_[end] == ']'))
      ++end;
    std::string_view word = s_.substr(pos_, end - pos_);
    if (word.empty()) unknown(kErrorValue);
    if (end < s_.size() && s_[end] == '!' && start == pos_) {
      sheet = sheetNamed(word);
      pos_ = end + 1;
      end = pos_;
      while (end < s_.size() && (isAlpha(s_[end]) || isDigit(s_[end]) || s_[end] == '$')) ++end;
      word = s_.substr(pos_, end - pos_);
    }
    pos_ = end;
    skipSpace();
    const bool call = pos_ < s_.size() && s_[pos_] == '(';
    if (call && sheet == sheet_ && start == end - word.size()) return function(upperCase(word), depth);
    if (!call) {
      const std::string u = upperCase(word);
      if (start == end - word.size() && (u == "TRUE" || u == "FALSE"))
        return Operand{Value::ofBoolean(u == "TRUE")};
      if (const auto a = cellPart(word)) {
        if (accept(":")) {
          skipSpace();
          std::size_t e = pos_;
          while (e < s_.size() && (isAlpha(s_[e]) || isDigit(s_[e]) || s_[e] == '$')) ++e;
          const auto b = cellPart(s_.substr(pos_, e - pos_));
          if (!b) unknown(kErrorRef);
          pos_ = e;
          return Operand{makeRange(sheet, *a, *b)};
        }
        if (a->row == 0 || a->col == 0) unknown(kErrorName);
        return Operand{makeRange(sheet, *a, *a)};
      }
    }
    unknown(kErrorName);  // a defined name or something else we do not know
  }

  // ---- functions
  std::vector<Operand> arguments(int depth) {
    expect('(');
    std::vector<Operand> args;
    skipSpace();
    if (accept(")")) return args;
    for (;;) {
      skipSpace();
      if (pos_ < s_.size() && (s_[pos_] == ',' || s_[pos_] == ';' || s_[pos_] == ')'))
        args.push_back(Operand{Value{}});  // an omitted argument
      else
        args.push_back(comparisonCatching(depth));
      skipSpace();
      if (accept(")")) return args;
      if (!accept(",") && !accept(";")) unknown(kErrorValue);
    }
  }
  // An argument that fails keeps its error as a value, for IFERROR and ISERROR to see.
  // The rest of the argument is passed over (brackets and quoted texts respected).
  Operand comparisonCatching(int depth) {
    const std::size_t start = pos_;
    try {
      return comparison(depth);
    } catch (const Fail& f) {
      pos_ = argumentEnd(start);
      return Operand{Value::ofError(f.code)};
    }
  }
  std::size_t argumentEnd(std::size_t i) const {
    std::size_t open = 0;
    while (i < s_.size()) {
      const char c = s_[i];
      if (c == '"' || c == '\'') {
        const std::size_t close = s_.find(c, i + 1);
        if (close == std::string_view::npos) return s_.size();
        i = close + 1;
        continue;
      }
      if (c == '(' || c == '[' || c == '{') {
        ++open;
      } else if (c == ')' || c == ']' || c == '}') {
        if (open == 0) return i;
        --open;
      } else if ((c == ',' || c == ';') && open == 0) {
        return i;
      }
      ++i;
    }
    return i;
  }

  // Every value of the arguments, ranges walked; texts and Booleans inside ranges are
  // skipped by the numeric functions, as spreadsheets do.
  template <class F>
  void eachNumber(const std::vector<Operand>& args, F&& f) {
    for (const Operand& a : args) {
      if (a.isRange()) {
        const FormulaRange& r = std::get<FormulaRange>(a.v);
        std::optional<std::int32_t> error;
        cells_.forEach(r, [&](const Value& v) {
          cells_.spend(1);
          if (v.kind == CellKind::Error) {
            error = static_cast<std::int32_t>(v.number);
            return false;
          }
          if (v.kind == CellKind::Number || v.kind == CellKind::Date) f(v.number);
          return true;
        });
        if (error) throw Fail{*error};
      } else {
        const Value& v = std::get<Value>(a.v);
        if (v.kind == CellKind::Empty) continue;
        f(toNumber(v));
      }
    }
  }
  void arity(const std::vector<Operand>& args, std::size_t min, std::size_t max) {
    if (args.size() < min || args.size() > max) unknown(kErrorValue);
  }
  double num(const std::vector<Operand>& args, std::size_t i) { return toNumber(scalar(args[i])); }

  Operand function(const std::string& name, int depth) {
    enter(depth);
    std::vector<Operand> args = arguments(depth + 1);
    auto result = [](Value v) { return Operand{std::move(v)}; };
    // Functions that look at errors themselves.
    if (name == "IFERROR") {
      arity(args, 2, 2);
      const Value v = args[0].isRange() ? tryScalar(args[0]) : std::get<Value>(args[0].v);
      return v.kind == CellKind::Error ? result(scalar(args[1])) : result(v);
    }
    if (name == "ISERROR" || name == "ISNA") {
      arity(args, 1, 1);
      const Value v = tryScalar(args[0]);
      const bool e = v.kind == CellKind::Error && (name == "ISERROR" || v.number == kErrorNA);
      return result(Value::ofBoolean(e));
    }
    if (name == "IF") {
      arity(args, 1, 3);
      const bool c = toBool(scalar(args[0]));
      if (c) return args.size() > 1 ? args[1] : result(Value::ofBoolean(true));
      return args.size() > 2 ? args[2] : result(Value::ofBoolean(false));
    }
    // Everything else propagates an error argument.
    for (const Operand& a : args)
      if (!a.isRange() && std::get<Value>(a.v).kind == CellKind::Error)
        throw Fail{static_cast<std::int32_t>(std::get<Value>(a.v).number)};
    if (name == "SUM") {
      double s = 0;
      eachNumber(args, [&](double x) { s += x; });
      return result(number(s));
    }
    if (name == "PRODUCT") {
      double p = 1;
      eachNumber(args, [&](double x) { p *= x; });
      return result(number(p));
    }
    if (name == "MIN" || name == "MAX") {
      std::optional<double> m;
      const bool isMin = name == "MIN";
      eachNumber(args, [&](double x) {
        if (!m || (isMin ? x < *m : x > *m)) m = x;
      });
      return result(Value::ofNumber(m.value_or(0)));
    }
    if (name == "AVERAGE") {
      double s = 0;
      std::size_t n = 0;
      eachNumber(args, [&](double x) { s += x, ++n; });
      if (n == 0) throw Fail{kErrorDiv0};
      return result(number(s / static_cast<double>(n)));
    }
    if (name == "COUNT") {
      double n = 0;
      for (const Operand& a : args) {
        if (a.isRange()) {
          cells_.forEach(std::get<FormulaRange>(a.v), [&](const Value& v) {
            cells_.spend(1);
            if (v.kind == CellKind::Number || v.kind == CellKind::Date) ++n;
            return true;
          });
        } else if (const Value& v = std::get<Value>(a.v);
                   v.kind == CellKind::Number || v.kind == CellKind::Boolean) {
          ++n;
        }
      }
      return result(Value::ofNumber(n));
    }
    if (name == "COUNTA") {
      double n = 0;
      for (const Operand& a : args) {
        if (a.isRange())
          cells_.forEach(std::get<FormulaRange>(a.v), [&](const Value&) {
            cells_.spend(1);
            ++n;
            return true;
          });
        else if (std::get<Value>(a.v).kind != CellKind::Empty)
          ++n;
      }
      return result(Value::ofNumber(n));
    }
    if (name == "AND" || name == "OR") {
      const bool isAnd = name == "AND";
      bool acc = isAnd, any = false;
      for (const Operand& a : args) {
        auto take = [&](const Value& v) {
          if (v.kind == CellKind::Error) throw Fail{static_cast<std::int32_t>(v.number)};
          if (v.kind == CellKind::Number || v.kind == CellKind::Boolean || v.kind == CellKind::Date) {
            any = true;
            acc = isAnd ? (acc && v.number != 0) : (acc || v.number != 0);
          }
        };
        if (a.isRange())
          cells_.forEach(std::get<FormulaRange>(a.v), [&](const Value& v) {
            cells_.spend(1);
            take(v);
            return true;
          });
        else if (const Value& v = std::get<Value>(a.v); v.kind == CellKind::Text)
          throw Fail{kErrorValue};
        else
          take(v);
      }
      if (!any) throw Fail{kErrorValue};
      return result(Value::ofBoolean(acc));
    }
    if (name == "NOT") {
      arity(args, 1, 1);
      return result(Value::ofBoolean(!toBool(scalar(args[0]))));
    }
    if (name == "TRUE" || name == "FALSE") {
      arity(args, 0, 0);
      return result(Value::ofBoolean(name == "TRUE"));
    }
    if (name == "NA") {
      arity(args, 0, 0);
      throw Fail{kErrorNA};
    }
    if (name == "PI") {
      arity(args, 0, 0);
      return result(Value::ofNumber(3.14159265358979323846));
    }
    if (name == "ABS" || name == "INT" || name == "SQRT" || name == "EXP" || name == "LN" ||
        name == "LOG10") {
      arity(args, 1, 1);
      const double x = num(args, 0);
      if (name == "ABS") return result(number(std::fabs(x)));
      if (name == "INT") return result(number(std::floor(x)));
      if (name == "SQRT") {
        if (x < 0) throw Fail{kErrorNum};
        return result(number(std::sqrt(x)));
      }
      if (name == "EXP") return result(number(portable_math::exp(x)));
      if (x <= 0) throw Fail{kErrorNum};
      return result(number(name == "LN" ? portable_math::log(x) : portable_math::log10(x)));
    }
    if (name == "ROUND" || name == "ROUNDDOWN" || name == "ROUNDUP") {
      arity(args, 1, 2);
      const double digits = args.size() > 1 ? num(args, 1) : 0;
      const int mode = name == "ROUND" ? 0 : name == "ROUNDDOWN" ? -1 : 1;
      return result(number(roundTo(num(args, 0), digits, mode)));
    }
    if (name == "MOD") {
      arity(args, 2, 2);
      const double a = num(args, 0), b = num(args, 1);
      if (b == 0) throw Fail{kErrorDiv0};
      return result(number(a - b * std::floor(a / b)));
    }
    if (name == "POWER") {
      arity(args, 2, 2);
      const double a = num(args, 0), b = num(args, 1);
      if (a == 0 && b < 0) throw Fail{kErrorDiv0};
      return result(number(portable_math::pow(a, b)));
    }
    if (name == "CONCATENATE" || name == "CONCAT") {
      std::string out;
      for (const Operand& a : args) out += toText(scalar(a));
      return result(Value::ofText(std::move(out)));
    }
    if (name == "LEN") {
      arity(args, 1, 1);
      const std::string t = toText(scalar(args[0]));
      double n = 0;
      for (const char c : t)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
      return result(Value::ofNumber(n));
    }
    if (name == "ISNUMBER" || name == "ISTEXT" || name == "ISBLANK") {
      arity(args, 1, 1);
      const Value v = tryScalar(args[0]);
      const bool r = name == "ISNUMBER" ? v.kind == CellKind::Number
                     : name == "ISTEXT" ? v.kind == CellKind::Text
                                        : v.kind == CellKind::Empty;
      return result(Value::ofBoolean(r));
    }
    unknown(kErrorName);
  }
  Value tryScalar(const Operand& o) {
    try {
      return scalar(o);
    } catch (const Fail& f) {
      return Value::ofError(f.code);
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  FormulaGrammar grammar_;
  int sheet_;
  FormulaCells& cells_;
  std::int32_t rowShift_, colShift_;
  mutable bool uncalculable_ = false;
};

}  // namespace

FormulaValue evaluateFormula(std::string_view formula, FormulaGrammar grammar, int sheet, FormulaCells& cells,
                             std::int32_t rowShift, std::int32_t colShift, bool* uncalculable) {
  Calculator calculator(formula, grammar, sheet, cells, rowShift, colShift);
  FormulaValue v;
  try {
    v = calculator.run();
  } catch (const Fail& f) {
    v = FormulaValue::ofError(f.code);
  }
  if (uncalculable) *uncalculable = calculator.uncalculable();
  return v;
}

}  // namespace host
