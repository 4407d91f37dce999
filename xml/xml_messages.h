#pragma once
// Message codes shared by the document model and the parser, their texts, and the DOM
// exception codes that travel with them.
#include <cstdint>

namespace kestova {

// DOM exception codes (W3C DOM Level 1 numbering).
enum class TDOMCode : uint8_t {
  NO_DOM_ERR = 0,
  INDEX_SIZE_ERR = 1,
  DOMSTRING_SIZE_ERR = 2,
  HIERARCHY_REQUEST_ERR = 3,
  WRONG_DOCUMENT_ERR = 4,
  INVALID_CHARACTER_ERR = 5,
  NO_DATA_ALLOWED_ERR = 6,
  NO_MODIFICATION_ALLOWED_ERR = 7,
  NOT_FOUND_ERR = 8,
  NOT_SUPPORTED_ERR = 9,
  INUSE_ATTRIBUTE_ERR = 10,
  INVALID_STATE_ERR = 11,
  SYNTAX_ERR = 12,
  INVALID_MODIFICATION_ERR = 13,
  NAMESPACE_ERR = 14,
  INVALID_ACCESS_ERR = 15,
};

// Message codes. The table has room for codes 0 to 131; these are the ones this library raises.
inline constexpr int MSG_E_FREETEXT = 0;  // "%s": the text is the argument
inline constexpr int MSG_E_MISSINGEQUALS = 4;
inline constexpr int MSG_E_MISSINGQUOTE = 7;
inline constexpr int MSG_E_BADSTARTNAMECHAR = 9;
inline constexpr int MSG_E_BADNAMECHAR = 10;
inline constexpr int MSG_E_BADCHARINSTRING = 11;
inline constexpr int MSG_E_EXPECTINGTAGEND = 15;
inline constexpr int MSG_E_MISSINGSEMICOLON = 18;
inline constexpr int MSG_E_BADCHARINENTREF = 19;
inline constexpr int MSG_E_INTERNALERROR = 23;
inline constexpr int MSG_E_UNEXPECTED_WHITESPACE = 24;
inline constexpr int MSG_E_INVALID_DECIMAL = 34;
inline constexpr int MSG_E_INVALID_HEXADECIMAL = 35;
inline constexpr int MSG_E_INVALID_UNICODE = 36;
inline constexpr int MSG_E_UNCLOSEDTAG = 41;
inline constexpr int MSG_E_BADXMLDECL = 45;
inline constexpr int MSG_E_MISSINGROOT = 46;
inline constexpr int MSG_E_CDATACLOSE = 50;  // "]]>" inside a CDATA section
inline constexpr int MSG_E_UNCLOSEDSTARTTAG = 52;
inline constexpr int MSG_E_ENDTAGMISMATCH = 67;
inline constexpr int MSG_E_NODETYPE = 89;       // operation not possible on this node type
inline constexpr int MSG_E_WRONGDOCUMENT = 90;  // child from another document
inline constexpr int XML_ENTITY_UNDEFINED = 92;

inline constexpr int kXMLMessageCount = 132;

// The printf-style text of a message code. Codes this library never raises have no text of
// their own and give a generic one that names the code.
const char* XMLMessageText(int code) noexcept;

}  // namespace kestova
