#include "xml/char_references.h"

#include <array>

namespace kestova {
namespace {

struct TCharacterReference {
  std::u16string_view Name;
  int32_t Code;
};

constexpr std::u16string_view kLatin1Names[] = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",   u"uml",    u"copy",
    u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",   u"deg",    u"plusm",  u"sup2",   u"sup3",
    u"acute",  u"micro",  u"para",   u"middot", u"cedil",  u"supl",   u"ordm",   u"raquo",  u"frac14", u"frac12",
    u"frac34", u"iquest", u"Agrave", u"Aacute", u"circ",   u"Atilde", u"Auml",   u"ring",   u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",   u"ETH",    u"Ntilde",
    u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",  u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",
    u"Uuml",   u"Yacute", u"THORN",  u"szlig",  u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",
    u"aelig",  u"ccedil", u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"ieth",   u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide", u"oslash", u"ugrave",
    u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};
static_assert(std::size(kLatin1Names) == 256 - 160, "one name for each code point from 160 to 255");

constexpr std::array<TCharacterReference, kCharacterReferenceCount> Build() {
  std::array<TCharacterReference, kCharacterReferenceCount> table{
      {{u"quot", 34}, {u"amp", 38}, {u"apos", 39}, {u"lt", 60}, {u"gt", 62}}};
  for (std::size_t i = 0; i < std::size(kLatin1Names); ++i)
    table[5 + i] = {kLatin1Names[i], static_cast<int32_t>(160 + i)};
  return table;
}

constexpr std::array<TCharacterReference, kCharacterReferenceCount> CharacterReferences = Build();

}  // namespace

int32_t FindCharacterReference(std::u16string_view name) noexcept {
  for (const TCharacterReference& ref : CharacterReferences)
    if (ref.Name == name) return ref.Code;
  return -1;
}

}  // namespace kestova
