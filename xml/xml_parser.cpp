#include "xml/xml_parser.h"

#include <cstring>

#include "platform/ascii_text.h"
#include "platform/text_codec.h"
#include "xml/char_class.h"
#include "xml/char_references.h"

namespace kestova {
namespace {

constexpr int32_t kEnd = TXMLTextStream::kEndOfInput;

// Byte sets for the stream's runs: each says which characters a run of that kind may hold. They
// are filled at start-up from the character classes, which the compiler has already built.
using TByteSet = TXMLTextStream::TByteSet;

template <typename Keep>
constexpr TByteSet MakeByteSet(Keep keep, bool beyondAscii) {
  TByteSet set{};
  for (int b = 0; b < 0x80; ++b) set[static_cast<std::size_t>(b)] = keep(b);
  for (int b = 0x80; b < 0x100; ++b) set[static_cast<std::size_t>(b)] = beyondAscii;
  return set;
}

const TByteSet kNameRun = MakeByteSet([](int c) { return IsXMLNameChar(c); }, false);
const TByteSet kTextRun = MakeByteSet([](int c) { return c != '<' && c != '&'; }, true);
const TByteSet kDoubleQuotedRun = MakeByteSet([](int c) { return c != '"' && c != '&' && c != '<'; }, true);
const TByteSet kSingleQuotedRun = MakeByteSet([](int c) { return c != '\'' && c != '&' && c != '<'; }, true);
const TByteSet kUpToGreaterRun = MakeByteSet([](int c) { return c != '>'; }, true);
const TByteSet kCommentRun = MakeByteSet([](int c) { return c != '-'; }, true);
const TByteSet kInstructionRun = MakeByteSet([](int c) { return c != '?' && IsXMLChar(c); }, false);

[[noreturn]] void Fail(int code) { throw EXMLException(TDOMCode::INVALID_CHARACTER_ERR, code); }

bool IsNameStart(int32_t c) noexcept { return IsXMLLetter(c) || c == '_'; }

std::string_view TrimWhitespace(std::string_view s) noexcept {
  while (!s.empty() && IsXMLWhitespace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsXMLWhitespace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The quoted name after "encoding=" in the data of an xml declaration, or empty.
std::string_view DeclaredEncoding(std::string_view data) noexcept {
  const std::size_t at = data.find("encoding=");
  if (at == std::string_view::npos) return {};
  std::string_view rest = data.substr(at + 9);
  if (rest.empty() || (rest.front() != '"' && rest.front() != '\'')) return {};
  const std::size_t close = rest.find(rest.front(), 1);
  if (close == std::string_view::npos) return {};
  return rest.substr(1, close - 1);
}

}  // namespace

bool TXMLDocument::LoadXML(std::string_view xml) {
  RemoveAllChildren();
  TXMLParser parser(*this, xml);
  return parser.Load();
}

namespace {

// The stream walks the input as it is, so it must be UTF-8 throughout. ASCII needs no check.
std::string_view CheckedUtf8(std::string_view xml) {
  // Eight bytes at a time: any high bit means there is more than ASCII to check.
  uint64_t high = 0;
  std::size_t i = 0;
  for (; i + 8 <= xml.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, xml.data() + i, 8);
    high |= word;
  }
  for (; i < xml.size(); ++i) high |= static_cast<unsigned char>(xml[i]);
  if ((high & 0x8080808080808080ull) != 0 && !IsValidUtf8(xml)) throw EEncodingError(kNoMappingMessage);
  return xml;
}

}  // namespace

TXMLParser::TXMLParser(TXMLDocument& document, std::string_view xml) : FDocument(document), FStream(CheckedUtf8(xml)) {}

bool TXMLParser::Load() {
  try {
    ReadContent(FDocument, 0);
    if (FUnclosedCount > 0) {
      std::string names;
      for (std::size_t i = 0; i < FUnclosedCount; ++i) {
        if (!names.empty()) names += ", ";
        names += FUnclosed[i]->TagName();
      }
      throw EXMLException(TDOMCode::HIERARCHY_REQUEST_ERR, MSG_E_UNCLOSEDTAG, names);
    }
  } catch (const EXMLException& error) {
    FillParseError(error);
    return false;
  }
  return true;
}

void TXMLParser::FillParseError(const EXMLException& error) {
  TXMLParseError& record = FDocument.FParseError;
  record.FErrorCode = error.XMLCode();
  record.FFilePos = FStream.CharactersRead();
  record.FLine = FStream.LinesRead() + 1;
  record.FLinePos = FStream.LinePosition();
  record.FReason = error.Message();
  record.FSrcText = Utf16ToUtf8(FStream.CurrentLine());
  if (record.FSrcText.empty()) record.FSrcText = FStream.LastTaken();
  if (record.FSrcText.empty() && FStream.LastChar() != kEnd)
    record.FSrcText = Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(FStream.LastChar())));
  record.FURL.clear();
}

void TXMLParser::Attach(TXMLNode& parent, IXMLNode child) {
  child->FParentNode = &parent;
  parent.FHasChildList = true;
  parent.FChildNodes.Add(std::move(child));  // moved, so no reference count changes hands
}

void TXMLParser::Detach(TXMLNode& parent, const TXMLNode& child) {
  // The parser only ever removes the node it appended last.
  TXMLNodeList& items = parent.FChildNodes;
  if (!items.Empty() && items.Back().get() == &child) {
    items.Back()->FParentNode = nullptr;
    items.PopBack();
  }
  if (items.Empty()) parent.FHasChildList = false;
}

void TXMLParser::WriteCodePoint(uint32_t codePoint) {
  if (codePoint >= 0x10000) {
    FStream.WriteOutputChar(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
    FStream.WriteOutputChar(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
  } else {
    FStream.WriteOutputChar(static_cast<char16_t>(codePoint));
  }
}

std::string TXMLParser::TakeUtf8() { return std::string(FStream.GetOutputBuffer()); }

std::string_view TXMLParser::TakeName() { return FStream.GetOutputBuffer(); }

// --- document reader -------------------------------------------------------------------------

void TXMLParser::AtEndOfInput(const TXMLNode& parent) const {
  if (!parent.FHasChildList) throw EXMLException(TDOMCode::NO_DOM_ERR, MSG_E_MISSINGROOT);
}

void TXMLParser::ReadContent(TXMLNode& parent, int depth) {
  for (;;) {
    int32_t c = Read();
    if (c == kEnd) return AtEndOfInput(parent);
    if (c != '<') {
      FStream.UndoRead();
      ReadText(parent);
      continue;
    }
    do c = Read();
    while (IsXMLWhitespace(c));
    if (c == kEnd) return AtEndOfInput(parent);
    if (c == '!') {
      ReadDeclaration(parent);
    } else if (c == '/') {
      if (ReadEndTag(parent)) return;
      return AtEndOfInput(parent);
    } else if (c == '?') {
      ReadProcessingInstruction(parent);
    } else if (IsNameStart(c)) {
      // The name is read whole by the element reader, its first character included.
      FStream.UndoRead();
      FStream.ClearOutputBuffer();
      ReadElement(parent, depth);
    } else {
      Fail(MSG_E_BADSTARTNAMECHAR);
    }
  }
}

// After "</": true when the end tag closed `parent`, false at the end of input.
bool TXMLParser::ReadEndTag(TXMLNode& parent) {
  FStream.ClearOutputBuffer();
  for (;;) {
    FStream.CollectWhile(kUpToGreaterRun);
    const int32_t c = Read();
    if (c == kEnd) return false;
    if (c == '>') break;
    FStream.WriteOutputChar(static_cast<char16_t>(c));  // spaces included: "</a >" names "a "
  }
  const std::string_view name = TakeName();
  // The current parent is always the last unclosed element, so one comparison covers both.
  if (FUnclosedCount > 0 && FUnclosed[FUnclosedCount - 1] == &parent &&
      name == FUnclosed[FUnclosedCount - 1]->TagName()) {
    --FUnclosedCount;
    return true;
  }
  throw EXMLException(TDOMCode::HIERARCHY_REQUEST_ERR, MSG_E_ENDTAGMISMATCH, std::string(name), parent.NodeName());
}

// After "<!": a comment, a document type or a CDATA section; other characters are passed over.
void TXMLParser::ReadDeclaration(TXMLNode& parent) {
  FStream.ClearOutputBuffer();
  for (;;) {
    const int32_t c = Read();
    if (c == kEnd) return;
    if (c == '-') {
      if (Read() != '-') throw Exception(Format("Invalid node %s", std::string(FStream.OutputBuffer())));
      return ReadComment(parent);
    }
    if (c == 'D' && ReadSix("OCTYPE")) return ReadDocType(parent);
    if (c == '[' && ReadSix("CDATA[")) return ReadCData(parent);
  }
}

// Collects the next six characters; true (and the buffer emptied) when they are `expected`.
bool TXMLParser::ReadSix(std::string_view expected) {
  for (int i = 0; i < 6; ++i) {
    const int32_t c = Read();
    if (c == kEnd) return false;
    FStream.WriteOutputChar(static_cast<char16_t>(c));
  }
  const std::string_view buffer = FStream.OutputBuffer();
  if (buffer.size() < 6 || buffer.substr(buffer.size() - 6) != expected) return false;
  FStream.ClearOutputBuffer();
  return true;
}

// --- elements and attributes -----------------------------------------------------------------

// The start of the name has been checked and pushed back.
void TXMLParser::ReadElement(TXMLNode& parent, int depth) {
  auto owned = FDocument.NewNode<TXMLElement>(-1);
  TXMLElement& element = *owned;
  Attach(parent, std::move(owned));
  int32_t c;
  for (;;) {
    FStream.CollectWhile(kNameRun);
    c = Read();
    if (c == kEnd) Fail(MSG_E_UNCLOSEDSTARTTAG);
    if (!IsXMLNameChar(c)) break;
    FStream.WriteOutputChar(static_cast<char16_t>(c));
  }
  element.FTagNameId = FDocument.FDictionary.Add(TakeName());
  if (IsXMLWhitespace(c)) {
    for (;;) {
      c = Read();
      if (c == kEnd) Fail(MSG_E_UNCLOSEDSTARTTAG);
      if (IsXMLWhitespace(c)) continue;
      if (c == '/' || c == '>') break;
      if (!IsNameStart(c)) Fail(MSG_E_BADSTARTNAMECHAR);
      FStream.ClearOutputBuffer();
      FStream.WriteOutputChar(static_cast<char16_t>(c));
      // Each attribute enters the map before its name is known, so repeated names are kept.
      auto owned = FDocument.NewNode<TXMLAttr>(-1);
      TXMLAttr& attr = *owned;
      element.Attributes().Add(std::move(owned));
      ReadAttribute(attr);
    }
  } else if (c != '/' && c != '>') {
    Fail(MSG_E_BADNAMECHAR);
  }
  if (c == '/') {
    c = Read();
    if (c == '>') return;
    if (c == kEnd) Fail(MSG_E_UNCLOSEDSTARTTAG);
    Fail(IsXMLWhitespace(c) ? MSG_E_UNEXPECTED_WHITESPACE : MSG_E_EXPECTINGTAGEND);
  }
  if (depth >= kMaxNestingDepth)
    throw EXMLException(TDOMCode::INVALID_CHARACTER_ERR, MSG_E_INTERNALERROR,
                        Format("Elements are nested more than %d levels deep", kMaxNestingDepth));
  FUnclosed[FUnclosedCount++] = &element;
  ReadContent(element, depth + 1);
}

void TXMLParser::ReadAttribute(TXMLAttr& attr) {
  int32_t c;
  for (;;) {
    FStream.CollectWhile(kNameRun);
    c = Read();
    if (c == kEnd) {
      attr.FNameId = FDocument.FDictionary.Add(TakeName());
      return;
    }
    if (IsXMLWhitespace(c) || c == '=') break;
    if (!IsXMLNameChar(c)) Fail(MSG_E_BADNAMECHAR);
    FStream.WriteOutputChar(static_cast<char16_t>(c));
  }
  attr.FNameId = FDocument.FDictionary.Add(TakeName());
  while (IsXMLWhitespace(c)) c = Read();
  if (c == kEnd) return;
  if (c != '=') Fail(MSG_E_MISSINGEQUALS);
  do c = Read();
  while (IsXMLWhitespace(c));
  if (c == kEnd) return;
  if (c != '"' && c != '\'') Fail(MSG_E_MISSINGQUOTE);
  const int32_t quote = c;
  for (;;) {
    FStream.CollectWhile(quote == '"' ? kDoubleQuotedRun : kSingleQuotedRun);
    c = Read();
    if (c == kEnd || c == quote) break;
    if (c == '&') {
      ReadReference();
    } else if (c == '<') {
      Fail(MSG_E_BADCHARINSTRING);
    } else {
      FStream.WriteOutputChar(static_cast<char16_t>(c));
    }
  }
  // Stored as read: no line-end or whitespace normalisation in attribute values.
  attr.FValueId = FDocument.FDictionary.Add(TakeName());
}

// --- text and references ---------------------------------------------------------------------

void TXMLParser::ReadText(TXMLNode& parent) {
  auto owned = FDocument.NewNode<TXMLText>();
  TXMLText& text = *owned;
  Attach(parent, std::move(owned));
  FStream.ClearOutputBuffer();
  for (;;) {
    FStream.CollectWhile(kTextRun);
    if (FStream.PeekAscii('<')) break;
    const int32_t c = Read();
    if (c == kEnd) return;  // the node stays, with an empty value
    if (c == '<') {
      FStream.UndoRead();
      break;
    }
    if (c == '&')
      ReadReference();
    else
      FStream.WriteOutputChar(static_cast<char16_t>(c));
  }
  if (FStream.OutputBufferEmpty()) return Detach(parent, text);
  const std::string_view collected = FStream.GetOutputBuffer();
  text.FNodeValue.assign(FDocument.PreserveWhiteSpace() ? collected : TrimWhitespace(collected));
  NormalizeLineEnds(text.FNodeValue);
  if (text.FNodeValue.empty()) return Detach(parent, text);
}

// After "&": writes the referenced character to the buffer.
void TXMLParser::ReadReference() {
  int32_t c = Read();
  if (c == kEnd) return FStream.WriteOutputChar(u' ');
  if (c == '#') return ReadCharacterReference();
  if (IsXMLWhitespace(c)) Fail(MSG_E_UNEXPECTED_WHITESPACE);
  if (!IsXMLLetter(c) && c != '_' && c != ':') Fail(MSG_E_BADSTARTNAMECHAR);
  std::u16string name(1, static_cast<char16_t>(c));
  for (;;) {
    c = Read();
    if (c == kEnd) return FStream.WriteOutputChar(u' ');
    if (c == ';') break;
    if (IsXMLWhitespace(c)) Fail(MSG_E_UNEXPECTED_WHITESPACE);
    if (!IsXMLNameChar(c)) Fail(MSG_E_MISSINGSEMICOLON);
    name += static_cast<char16_t>(c);
  }
  const int32_t code = FindCharacterReference(name);
  if (code < 0) throw EXMLException(TDOMCode::INVALID_CHARACTER_ERR, XML_ENTITY_UNDEFINED, Utf16ToUtf8(name));
  FStream.WriteOutputChar(static_cast<char16_t>(code));
}

// After "&#". A value above U+FFFF gives its surrogate pair, never a truncated code unit; a
// value past U+10FFFF is refused in both forms. A decimal value below U+10000 is taken as it is,
// so "&#55296;" yields a lone surrogate, which the UTF-8 form of the text holds as U+FFFD
// (a high and a low surrogate reference in a row combine into their character).
void TXMLParser::ReadCharacterReference() {
  int32_t c = Read();
  if (c == kEnd) return FStream.WriteOutputChar(u' ');
  uint32_t value = 0;
  if (c == 'x') {
    for (;;) {
      c = Read();
      if (c == kEnd) return FStream.WriteOutputChar(u' ');
      if (c == ';') break;
      if (IsXMLWhitespace(c)) Fail(MSG_E_UNEXPECTED_WHITESPACE);
      const int digit = HexDigitValue(static_cast<char32_t>(c));
      if (digit < 0) Fail(MSG_E_INVALID_HEXADECIMAL);
      value = value * 16 + static_cast<uint32_t>(digit);
      if (value >= 0x110000) Fail(MSG_E_INVALID_UNICODE);
    }
    if (value < 0x10000 && !IsXMLChar(static_cast<int32_t>(value))) Fail(MSG_E_INVALID_UNICODE);
    return WriteCodePoint(value);
  }
  if (c < '0' || c > '9') Fail(MSG_E_BADCHARINENTREF);
  value = static_cast<uint32_t>(c - '0');
  for (;;) {
    c = Read();
    if (c == kEnd) return FStream.WriteOutputChar(u' ');
    if (c == ';') break;
    if (IsXMLWhitespace(c)) Fail(MSG_E_UNEXPECTED_WHITESPACE);
    if (c < '0' || c > '9') Fail(MSG_E_INVALID_DECIMAL);
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value >= 0x110000) Fail(MSG_E_INVALID_UNICODE);
  }
  WriteCodePoint(value);
}

// --- processing instructions, comments, CDATA, document type ---------------------------------

void TXMLParser::ReadProcessingInstruction(TXMLNode& parent) {
  auto owned = FDocument.NewNode<TXMLProcessingInstruction>(std::string(), std::string());
  TXMLProcessingInstruction* pi = owned.get();
  Attach(parent, std::move(owned));
  FStream.ClearOutputBuffer();
  int32_t c = Read();
  if (c == kEnd) return;
  if (!IsXMLLetter(c) && c != '_' && c != ':') Fail(MSG_E_BADSTARTNAMECHAR);
  FStream.WriteOutputChar(static_cast<char16_t>(c));
  for (;;) {
    c = Read();
    if (c == kEnd) {
      pi->FTarget = TakeUtf8();
      return;
    }
    if (IsXMLWhitespace(c)) break;
    if (!IsXMLNameChar(c)) Fail(MSG_E_BADNAMECHAR);
    FStream.WriteOutputChar(static_cast<char16_t>(c));
  }
  pi->FTarget = TakeUtf8();
  const bool isXml = SameText(pi->FTarget, "xml");
  if (isXml && &parent != &FDocument) throw EXMLException(TDOMCode::HIERARCHY_REQUEST_ERR, MSG_E_BADXMLDECL);
  do c = Read();
  while (IsXMLWhitespace(c));
  for (;;) {
    if (c == kEnd) {
      pi->FData = TakeUtf8();
      return;
    }
    if (c == '?') {
      c = Read();
      if (c == '>') break;
      FStream.WriteOutputChar(u'?');
      continue;
    }
    if (!IsXMLChar(c)) Fail(MSG_E_BADNAMECHAR);
    FStream.WriteOutputChar(static_cast<char16_t>(c));
    FStream.CollectWhile(kInstructionRun);
    c = Read();
  }
  pi->FData = TakeUtf8();
  if (isXml)
    if (const int codePage = FindCodePage(DeclaredEncoding(pi->FData))) FStream.SetCodePage(codePage);
}

// After "<!--": the value runs to the first "--"; the comment ends at the next ">".
void TXMLParser::ReadComment(TXMLNode& parent) {
  auto owned = FDocument.NewNode<TXMLComment>();
  TXMLComment* comment = owned.get();
  Attach(parent, std::move(owned));
  FStream.ClearOutputBuffer();
  FStream.CollectWhile(kCommentRun);
  int32_t c = Read();
  for (;;) {
    if (c == kEnd) break;
    if (c == '-') {
      c = Read();
      if (c == '-') {
        do c = Read();
        while (c != '>' && c != kEnd);
        break;
      }
      FStream.WriteOutputChar(u'-');
      continue;
    }
    FStream.WriteOutputChar(static_cast<char16_t>(c));
    FStream.CollectWhile(kCommentRun);
    c = Read();
  }
  std::string value = TakeUtf8();
  NormalizeLineEnds(value);
  comment->FNodeValue = std::move(value);
}

// After "<![CDATA[": the value runs to "]]>", unchanged.
void TXMLParser::ReadCData(TXMLNode& parent) {
  auto owned = FDocument.NewNode<TXMLCDATASection>();
  TXMLCDATASection* cdata = owned.get();
  Attach(parent, std::move(owned));
  for (;;) {
    FStream.CollectWhile(kUpToGreaterRun);
    const int32_t c = Read();
    if (c == kEnd) break;
    FStream.WriteOutputChar(static_cast<char16_t>(c));
    const std::string_view buffer = FStream.OutputBuffer();
    if (c == '>' && buffer.size() >= 3 && buffer.substr(buffer.size() - 3) == "]]>") {
      cdata->FNodeValue = std::string(buffer.substr(0, buffer.size() - 3));
      FStream.ClearOutputBuffer();
      return;
    }
  }
  cdata->FNodeValue = TakeUtf8();
}

// After "<!DOCTYPE": everything up to the ">" outside square brackets and quotes.
void TXMLParser::ReadDocType(TXMLNode& parent) {
  auto owned = FDocument.NewNode<TXMLDocumentType>();
  TXMLDocumentType* docType = owned.get();
  FDocument.FDocType = owned;
  Attach(parent, std::move(owned));
  int32_t c;
  do c = Read();
  while (IsXMLWhitespace(c));
  int brackets = 0;
  int32_t quote = 0;
  for (; c != kEnd; c = Read()) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      if (brackets > 0) --brackets;
    } else if (c == '>' && brackets == 0) {
      break;
    }
    FStream.WriteOutputChar(static_cast<char16_t>(c));
  }
  std::string value = TakeUtf8();
  NormalizeLineEnds(value);
  docType->FNodeValue = std::move(value);
}

}  // namespace kestova
