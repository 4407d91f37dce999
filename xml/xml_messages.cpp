#include "xml/xml_messages.h"

#include <array>

namespace kestova {
namespace {

struct TMessage {
  int Code;
  const char* Text;
};

constexpr TMessage kMessages[] = {
    {MSG_E_FREETEXT, "%s"},
    {MSG_E_MISSINGEQUALS, "Missing equals sign between attribute and attribute value."},
    {MSG_E_MISSINGQUOTE, "A string literal was expected, but no opening quote character was found."},
    {MSG_E_BADSTARTNAMECHAR, "A name started with an invalid character."},
    {MSG_E_BADNAMECHAR, "A name contained an invalid character."},
    {MSG_E_BADCHARINSTRING, "The character \"<\" cannot be used in an attribute value."},
    {MSG_E_EXPECTINGTAGEND, "The character \">\" was expected."},
    {MSG_E_MISSINGSEMICOLON, "A semi colon character was expected."},
    {MSG_E_BADCHARINENTREF, "An invalid character was found inside an entity reference."},
    {MSG_E_INTERNALERROR, "Internal error: %s"},
    {MSG_E_UNEXPECTED_WHITESPACE, "Whitespace is not allowed at this location."},
    {MSG_E_INVALID_DECIMAL, "Invalid character for decimal digit."},
    {MSG_E_INVALID_HEXADECIMAL, "Invalid character for hexadecimal digit."},
    {MSG_E_INVALID_UNICODE, "Invalid Unicode character value for this platform."},
    {MSG_E_UNCLOSEDTAG, "The following tags were not closed: %s."},
    {MSG_E_BADXMLDECL, "Invalid XML declaration."},
    {MSG_E_MISSINGROOT, "XML document must have a top level element."},
    {MSG_E_CDATACLOSE, "The literal string \"]]>\" is not allowed in element content."},
    {MSG_E_UNCLOSEDSTARTTAG, "Element was not closed."},
    {MSG_E_ENDTAGMISMATCH, "End tag %s does not match the start tag %s."},
    {MSG_E_NODETYPE, "This operation can not be performed with a Node of type %s."},
    {MSG_E_WRONGDOCUMENT, "NewChild was created from a different document than the one that created this node."},
    {XML_ENTITY_UNDEFINED, "Reference to undefined entity %s."},
};

constexpr std::array<const char*, kXMLMessageCount> BuildTable() {
  std::array<const char*, kXMLMessageCount> table{};
  for (const TMessage& m : kMessages) table[static_cast<std::size_t>(m.Code)] = m.Text;
  return table;
}

constexpr std::array<const char*, kXMLMessageCount> kTable = BuildTable();

}  // namespace

const char* XMLMessageText(int code) noexcept {
  if (code >= 0 && code < kXMLMessageCount && kTable[static_cast<std::size_t>(code)] != nullptr)
    return kTable[static_cast<std::size_t>(code)];
  return "XML error.";
}

}  // namespace kestova
