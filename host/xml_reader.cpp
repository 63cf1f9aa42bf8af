// libxml2's xmlTextReader behind a small pull interface.
#include "host/xml_reader.h"

#include <libxml/xmlreader.h>

#include <algorithm>
#include <stdexcept>

namespace host {

namespace {

xmlTextReaderPtr handle(void* p) {
  return static_cast<xmlTextReaderPtr>(p);
}

std::string_view view(const xmlChar* s) {
  return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

// No network, no external DTD, no entity substitution: a workbook part needs none of them.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR | XML_PARSE_COMPACT;

void keepFirstError(void* arg, const char* msg, xmlParserSeverities severity,
                    xmlTextReaderLocatorPtr locator) {
  auto* error = static_cast<std::string*>(arg);
  if (severity != XML_PARSER_SEVERITY_ERROR && severity != XML_PARSER_SEVERITY_VALIDITY_ERROR) return;
  if (!error->empty()) return;
  // The parser's own wording stays inside: people are told where, not how it failed.
  (void)msg;
  *error = "it is not well-formed XML (line " + std::to_string(xmlTextReaderLocatorLineNumber(locator)) + ")";
}

}  // namespace

XmlReader::XmlReader(Source source) : source_(std::move(source)) {
  init();
}

XmlReader::XmlReader(std::string_view text) : memory_(text) {
  source_ = [this](char* buffer, std::size_t capacity) {
    const std::size_t n = std::min(capacity, memory_.size());
    std::copy_n(memory_.data(), n, buffer);
    memory_.remove_prefix(n);
    return n;
  };
  init();
}

void XmlReader::init() {
  reader_ = xmlReaderForIO(&XmlReader::readCallback, nullptr, this, nullptr, nullptr, kParseOptions);
  if (!reader_) throw std::runtime_error("out of memory");
  xmlTextReaderSetErrorHandler(handle(reader_), &keepFirstError, &error_);
}

XmlReader::~XmlReader() {
  if (reader_) xmlFreeTextReader(handle(reader_));
}

int XmlReader::readCallback(void* context, char* buffer, int length) {
  auto* self = static_cast<XmlReader*>(context);
  try {
    return static_cast<int>(self->source_(buffer, static_cast<std::size_t>(length)));
  } catch (const std::exception& e) {
    if (self->error_.empty()) self->error_ = e.what();
    return -1;
  }
}

XmlReader::Node XmlReader::next() {
  for (;;) {
    const int r = xmlTextReaderRead(handle(reader_));
    if (r == 0) {
      if (!error_.empty()) throw std::runtime_error(error_);
      return Node::Done;
    }
    if (r < 0) throw std::runtime_error(error_.empty() ? "it is not well-formed XML" : error_);
    xmlTextReaderPtr h = handle(reader_);
    depth_ = xmlTextReaderDepth(h);
    switch (xmlTextReaderNodeType(h)) {
      case XML_READER_TYPE_ELEMENT: {
        name_ = view(xmlTextReaderConstLocalName(h));
        ns_ = view(xmlTextReaderConstNamespaceUri(h));
        empty_ = xmlTextReaderIsEmptyElement(h) == 1;
        attributeCount_ = 0;
        if (xmlTextReaderHasAttributes(h) == 1) {
          for (int more = xmlTextReaderMoveToFirstAttribute(h); more == 1;
               more = xmlTextReaderMoveToNextAttribute(h)) {
            if (attributeCount_ == attributes_.size()) attributes_.emplace_back();
            Attribute& a = attributes_[attributeCount_++];
            a.ns = view(xmlTextReaderConstNamespaceUri(h));
            a.name = view(xmlTextReaderConstLocalName(h));
            const std::string_view value = view(xmlTextReaderConstValue(h));
            a.value.assign(value.data(), value.size());
          }
          xmlTextReaderMoveToElement(h);
        }
        return Node::Start;
      }
      case XML_READER_TYPE_END_ELEMENT:
        name_ = view(xmlTextReaderConstLocalName(h));
        ns_ = view(xmlTextReaderConstNamespaceUri(h));
        return Node::End;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        text_ = view(xmlTextReaderConstValue(h));
        return Node::Text;
      default:
        break;
    }
  }
}

std::optional<std::string_view> XmlReader::attribute(std::string_view ns, std::string_view name) const {
  for (std::size_t i = 0; i < attributeCount_; ++i)
    if (attributes_[i].name == name && attributes_[i].ns == ns) return std::string_view(attributes_[i].value);
  return std::nullopt;
}

void XmlReader::skipElement() {
  if (empty_) return;
  const int depth = depth_;
  for (;;) {
    const Node n = next();
    if (n == Node::Done) return;
    if (n == Node::End && depth_ == depth) return;
  }
}

std::string XmlReader::elementText() {
  std::string text;
  if (empty_) return text;
  const int depth = depth_;
  for (;;) {
    const Node n = next();
    if (n == Node::Done) return text;
    if (n == Node::End && depth_ == depth) return text;
    if (n == Node::Text) text += text_;
  }
}

}  // namespace host
