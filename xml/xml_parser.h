#pragma once
// The permissive parser behind TXMLDocument::LoadXML. It checks names, references, quoting and
// the nesting of elements, but not the shape of the document: several top-level elements,
// top-level text and a declaration that is not first are accepted. A syntax error ends the load
// with False and the parse-error record filled, keeping the nodes read so far.
//
// Elements nest at most kMaxNestingDepth levels deep; deeper input fails like a syntax error
// (MSG_E_INTERNALERROR), so hostile input can neither exhaust the stack while parsing nor while
// the tree is rendered or released.
#include <array>
#include <string>
#include <string_view>

#include "xml/xml_dom.h"
#include "xml/xml_text_stream.h"

namespace kestova {

class TXMLParser {
 public:
  static constexpr int kMaxNestingDepth = 256;

  // `xml` is UTF-8 (EEncodingError otherwise). The document's children must already be released.
  TXMLParser(TXMLDocument& document, std::string_view xml);

  bool Load();

 private:
  int32_t Read() { return FStream.ReadChar(); }

  void ReadContent(TXMLNode& parent, int depth);
  void AtEndOfInput(const TXMLNode& parent) const;
  bool ReadEndTag(TXMLNode& parent);
  void ReadDeclaration(TXMLNode& parent);
  bool ReadSix(std::string_view expected);
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
  static void Attach(TXMLNode& parent, IXMLNode child);
  static void Detach(TXMLNode& parent, const TXMLNode& child);
  void WriteCodePoint(uint32_t codePoint);
  // The taken buffer: a new string, or a view valid until the next take.
  std::string TakeUtf8();
  std::string_view TakeName();
  void FillParseError(const EXMLException& error);

  TXMLDocument& FDocument;
  TXMLTextStream FStream;
  // UnclosedElementList: start tag read, end tag not yet (the tree holds the elements). Its
  // length is the nesting depth, which is bounded.
  std::array<TXMLElement*, kMaxNestingDepth> FUnclosed;
  std::size_t FUnclosedCount = 0;
};

}  // namespace kestova
