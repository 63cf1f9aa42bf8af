#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// A forward-only XML reader over libxml2's streaming reader: the document is parsed as it is
// read from its source, never held whole. No DTD is loaded, no entity is expanded, nothing is
// fetched from the network; libxml2's own limits (element depth, text size) apply.
// Names are local names with their namespace URI, so documents that choose other prefixes
// read the same. Any parse error throws std::runtime_error with a short description.
class XmlReader {
 public:
  // Fills the buffer and returns the number of bytes, 0 at the end; may throw.
  using Source = std::function<std::size_t(char*, std::size_t)>;

  explicit XmlReader(Source source);
  explicit XmlReader(std::string_view text);
  ~XmlReader();
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  enum class Node { Start, End, Text, Done };
  // Advances to the next element start, element end or text (character data, CDATA and
  // white space). An empty element (<a/>) yields Start with empty() true and no End.
  Node next();

  std::string_view name() const { return name_; }
  std::string_view ns() const { return ns_; }
  bool is(std::string_view ns, std::string_view name) const { return name_ == name && ns_ == ns; }
  bool empty() const { return empty_; }
  // Element depth, the document element at 0.
  int depth() const { return depth_; }
  // The text of a Text node.
  std::string_view text() const { return text_; }

  // Attributes of the current Start element.
  std::optional<std::string_view> attribute(std::string_view ns, std::string_view name) const;
  // An attribute without a namespace (as most attributes of the xlsx parts are).
  std::optional<std::string_view> attribute(std::string_view name) const { return attribute({}, name); }

  // Skips the rest of the current element (after its Start), its children included.
  void skipElement();
  // The concatenated text inside the current element (after its Start), up to its End.
  std::string elementText();

 private:
  struct Attribute {
    std::string_view ns, name;
    std::string value;
  };
  void init();
  static int readCallback(void* context, char* buffer, int length);

  Source source_;
  std::string_view memory_;
  std::string error_;
  void* reader_ = nullptr;
  std::string_view name_, ns_, text_;
  bool empty_ = false;
  int depth_ = 0;
  std::vector<Attribute> attributes_;
  std::size_t attributeCount_ = 0;
};

}  // namespace host
