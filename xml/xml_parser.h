#pragma once
// The permissive parser behind TXMLDocument::LoadXML. It checks names, references, quoting and
// the nesting of elements, but not the shape of the document: several top-level elements,
// top-level text and a declaration that is not first are accepted. A syntax error ends the load
// with False and the parse-error record filled, keeping the nodes read so far.
//
// Elements nest at most kMaxNestingDepth levels deep; deeper input fails like a syntax error
// (MSG_E_INTERNALERROR), so hostile input can neither exhaust the stack while parsing nor while
// the tree is rendered or released.
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_dom.h"
#include "xml/xml_text_stream.h"

namespace kestova {

class TXMLParser {
 public:
  static constexpr int kMaxNestingDepth = 256;

  explicit TXMLParser(TXMLDocument& document) : FDocument(document), FStream(std::u16string()) {}

  // The document's children must already be released.
  bool Load(std::string_view xml);

 private:
  int32_t Read() { return FStream.ReadChar(); }

  void ReadContent(TXMLNode& parent, int depth);
  void AtEndOfInput(const TXMLNode& parent) const;
  bool ReadEndTag(TXMLNode& parent);
  void ReadDeclaration(TXMLNode& parent);
  bool ReadSix(std::u16string_view expected);
  void ReadElement(TXMLNode& parent, int depth);
  void ReadAttribute(TXMLAttr& attr);
  void ReadText(TXMLNode& parent);
  void ReadReference();
  void ReadCharacterReference();
  void ReadProcessingInstruction(TXMLNode& parent);
  void ReadComment(TXMLNode& parent);
  void ReadCData(TXMLNode& parent);
  void ReadDocType(TXMLNode& parent);

  // Appends a node the parser created; the checks of AppendChild cannot fail here.
  static void Attach(TXMLNode& parent, const IXMLNode& child);
  static void Detach(TXMLNode& parent, const TXMLNode& child);
  void WriteCodePoint(uint32_t codePoint);
  std::string TakeUtf8();
  void FillParseError(const EXMLException& error);

  TXMLDocument& FDocument;
  TXMLTextStream FStream;
  // UnclosedElementList: start tag read, end tag not yet (the tree holds the elements).
  std::vector<TXMLElement*> FUnclosed;
};

}  // namespace kestova
