#include "xml/xml_writer.h"

#include "xml/xml_dom.h"

namespace kestova {
namespace {

void AppendWithCRLF(std::string_view text, std::string& out) {
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
}

void RenderAttribute(const TXMLNode& attr, std::string& out) {
  out += ' ';
  out += attr.NodeName();
  out += "=\"";
  AppendEscaped(attr.NodeValue(), out);
  out += '"';
}

void RenderChildren(const TXMLNode& node, std::string& out) {
  if (const TXMLNodeList* children = node.ChildListOrNull())
    for (const IXMLNode& child : *children) RenderXML(*child, out);
}

// The five markup characters become named references; with `crlf` every LF also becomes CR LF.
void Escape(std::string_view text, std::string& out, bool crlf) {
  // Room for the usual few replacements up front, so short values append without regrowing.
  out.reserve(out.size() + text.size() + text.size() / 10 + 1);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* replacement = nullptr;
    switch (text[i]) {
      case '&': replacement = "&amp;"; break;
      case '<': replacement = "&lt;"; break;
      case '>': replacement = "&gt;"; break;
      case '"': replacement = "&quot;"; break;
      case '\'': replacement = "&apos;"; break;
      case '\n':
        if (!crlf) continue;
        replacement = "\r\n";
        break;
      default: continue;
    }
    out.append(text, start, i - start);
    out += replacement;
    start = i + 1;
  }
  out.append(text, start, std::string_view::npos);
}

}  // namespace

void AppendEscaped(std::string_view text, std::string& out) { Escape(text, out, false); }

void RenderXML(const TXMLNode& node, std::string& out) {
  switch (node.NodeType()) {
    case TNodeType::DOCUMENT_NODE:
    case TNodeType::DOCUMENT_FRAGMENT_NODE: RenderChildren(node, out); break;
    case TNodeType::PROCESSING_INSTRUCTION_NODE:
      out += "<?";
      out += node.NodeName();
      out += ' ';
      out += node.NodeValue();
      out += "?>";
      break;
    case TNodeType::ELEMENT_NODE: {
      out += '<';
      out += node.NodeName();
      if (const TXMLNamedNodeMap* attributes = node.AttributesOrNull())
        for (const IXMLNode& attr : *attributes) RenderAttribute(*attr, out);
      // An element that has any child, even one empty text node, gets an end tag.
      if (node.ChildListOrNull() == nullptr || node.ChildListOrNull()->Length() == 0) {
        out += "/>";
        break;
      }
      out += '>';
      RenderChildren(node, out);
      out += "</";
      out += node.NodeName();
      out += '>';
      break;
    }
    case TNodeType::ATTRIBUTE_NODE: RenderAttribute(node, out); break;
    case TNodeType::TEXT_NODE: Escape(node.NodeValue(), out, true); break;
    case TNodeType::CDATA_SECTION_NODE:
      out += "<![CDATA[";
      out += node.NodeValue();
      out += "]]>";
      break;
    case TNodeType::COMMENT_NODE:
      out += "<!--";
      AppendWithCRLF(node.NodeValue(), out);
      out += "-->";
      break;
    case TNodeType::DOCUMENT_TYPE_NODE:
      out += "<!DOCTYPE ";
      out += node.NodeValue();
      out += '>';
      break;
    case TNodeType::ENTITY_REFERENCE_NODE:
    case TNodeType::ENTITY_NODE:
    case TNodeType::NOTATION_NODE: break;
  }
}

}  // namespace kestova
