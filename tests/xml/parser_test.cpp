#include "xml/xml_parser.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "tests/support/thrown_message.h"
#include "xml/xml_utils.h"

namespace kestova {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

struct Loaded {
  IXMLDocument doc = CreateXMLDoc();
  bool ok = false;
  int Code() const { return doc->ParseError().ErrorCode(); }
  const std::string& Reason() const { return doc->ParseError().Reason(); }
  // The text child of the first element named `name` anywhere in the document.
  std::string Text(const char* name) const {
    IXMLNode node = doc->SelectSingleNode(std::string("//") + name);
    if (!node) return "<missing>";
    IXMLNode text = GetTextChild(node);
    return text ? text->NodeValue() : "<no text>";
  }
};

Loaded Load(const std::string& xml) {
  Loaded result;
  result.ok = result.doc->LoadXML(xml);
  return result;
}

TEST(XmlParserTest, RoundTripsAMessage) {
  const std::string xml = "<msg><sender>A</sender></msg>";
  Loaded l = Load(xml);
  ASSERT_TRUE(l.ok);
  IXMLNode msg = l.doc->SelectSingleNode("/msg");
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(msg->XML(), xml);
  EXPECT_EQ(l.doc->XML(), xml);
  EXPECT_EQ(GetNodeTextStr(msg, "sender"), "A");
}

TEST(XmlParserTest, DeclarationsAndTheCodePageSwitch) {
  // UTF-8 makes every byte of the UTF-16 data a character: "<" is followed by a NUL.
  Loaded l = Load(kDeclaration + "<msg/>");
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.Code(), MSG_E_BADSTARTNAMECHAR);
  EXPECT_EQ(l.doc->SelectSingleNode("/msg"), nullptr);

  for (const char* harmless :
       {"<?xml version=\"1.0\" encoding=\"utf-16\"?>", "<?xml version=\"1.0\" encoding='UTF-16'?>",
        "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"klingon\"?>",
        "<?xml version=\"1.0\" encoding=utf-8?>"}) {
    Loaded ok = Load(std::string(harmless) + "<msg/>");
    EXPECT_TRUE(ok.ok) << harmless << ": " << ok.Reason();
    EXPECT_NE(ok.doc->SelectSingleNode("/msg"), nullptr) << harmless;
  }

  // Without a further "<" the rest becomes text, one character per byte.
  l = Load("<?xml version=\"1.0\" encoding=\"windows-1250\"?>ab");
  ASSERT_TRUE(l.ok) << l.Reason();
  ASSERT_EQ(l.doc->ChildNodes().Length(), 2);
  EXPECT_EQ(l.doc->ChildNodes().Item(0)->NodeValue(), "version=\"1.0\" encoding=\"windows-1250\"");
  // The text ran to the end of the input, so it is kept with an empty value.
  EXPECT_EQ(l.doc->ChildNodes().Item(1)->NodeType(), TNodeType::TEXT_NODE);
  EXPECT_EQ(l.doc->ChildNodes().Item(1)->NodeValue(), "");
}

TEST(XmlParserTest, BytesAfterASwitchAreDecodedInTheNewCodePage) {
  // "é" is E9 00 in UTF-16LE; ISO-8859-5 reads E9 as "щ" and then a NUL. The text ends at the
  // next "<", which is followed by a NUL too and fails.
  Loaded l = Load("<?xml version=\"1.0\" encoding=\"ISO-8859-5\"?>\xC3\xA9<");
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.Code(), MSG_E_BADSTARTNAMECHAR);
  ASSERT_EQ(l.doc->ChildNodes().Length(), 2);
  EXPECT_EQ(l.doc->ChildNodes().Item(1)->NodeValue(), std::string("\xD1\x89", 2) + std::string(1, '\0'));
  // The error's source line holds what was read before and after the switch.
  EXPECT_EQ(l.doc->ParseError().SrcText(), "<?xml version=\"1.0\" encoding=\"ISO-8859-5\"?>\xD1\x89" +
                                               std::string(1, '\0') + "<" + std::string(1, '\0'));
}

struct FailCase {
  const char* xml;
  int code;
  const char* reason;  // nullptr: not checked beyond the code
};

TEST(XmlParserTest, EveryMessageCodeFromInput) {
  const FailCase cases[] = {
      {"<a b c=\"1\"/>", MSG_E_MISSINGEQUALS, "Missing equals sign between attribute and attribute value."},
      {"<a b=1/>", MSG_E_MISSINGQUOTE, "A string literal was expected, but no opening quote character was found."},
      {"<1a/>", MSG_E_BADSTARTNAMECHAR, "A name started with an invalid character."},
      {"<a =\"1\"/>", MSG_E_BADSTARTNAMECHAR, nullptr},
      {"<?1pi x?>", MSG_E_BADSTARTNAMECHAR, nullptr},
      {"<a>&1;</a>", MSG_E_BADSTARTNAMECHAR, nullptr},
      {"<a$/>", MSG_E_BADNAMECHAR, "A name contained an invalid character."},
      {"<a b$=\"1\"/>", MSG_E_BADNAMECHAR, nullptr},
      {"<?xml?>", MSG_E_BADNAMECHAR, nullptr},
      {"<?pi a\x01?>", MSG_E_BADNAMECHAR, nullptr},
      {"<a b=\"<\"/>", MSG_E_BADCHARINSTRING, "The character \"<\" cannot be used in an attribute value."},
      {"<a/x>", MSG_E_EXPECTINGTAGEND, "The character \">\" was expected."},
      {"<a>&a$;</a>", MSG_E_MISSINGSEMICOLON, "A semi colon character was expected."},
      {"<a>&#X41;</a>", MSG_E_BADCHARINENTREF, "An invalid character was found inside an entity reference."},
      {"<a>&#;</a>", MSG_E_BADCHARINENTREF, nullptr},
      {"<a>&# 1;</a>", MSG_E_BADCHARINENTREF, nullptr},
      {"<a/ >", MSG_E_UNEXPECTED_WHITESPACE, "Whitespace is not allowed at this location."},
      {"<a>& a;</a>", MSG_E_UNEXPECTED_WHITESPACE, nullptr},
      {"<a>&a b;</a>", MSG_E_UNEXPECTED_WHITESPACE, nullptr},
      {"<a>&#1 ;</a>", MSG_E_UNEXPECTED_WHITESPACE, nullptr},
      {"<a>&#x1 ;</a>", MSG_E_UNEXPECTED_WHITESPACE, nullptr},
      {"<a>&#12a;</a>", MSG_E_INVALID_DECIMAL, "Invalid character for decimal digit."},
      {"<a>&#x1g;</a>", MSG_E_INVALID_HEXADECIMAL, "Invalid character for hexadecimal digit."},
      {"<a>&#x110000;</a>", MSG_E_INVALID_UNICODE, "Invalid Unicode character value for this platform."},
      {"<a>&#xFFFFFFFFFF;</a>", MSG_E_INVALID_UNICODE, nullptr},
      {"<a>&#xD800;</a>", MSG_E_INVALID_UNICODE, nullptr},
      {"<a>&#xFFFE;</a>", MSG_E_INVALID_UNICODE, nullptr},
      {"<a>&#x1;</a>", MSG_E_INVALID_UNICODE, nullptr},
      {"<a>&#x;</a>", MSG_E_INVALID_UNICODE, nullptr},
      {"<a>&#1114112;</a>", MSG_E_INVALID_UNICODE, nullptr},
      {"<msg><a/>", MSG_E_UNCLOSEDTAG, "The following tags were not closed: msg."},
      {"<a><b><c>x", MSG_E_UNCLOSEDTAG, "The following tags were not closed: a, b, c."},
      {"<a><?xml version=\"1.0\"?></a>", MSG_E_BADXMLDECL, "Invalid XML declaration."},
      {"<a><?XmL v?></a>", MSG_E_BADXMLDECL, nullptr},
      {"<msg>", MSG_E_MISSINGROOT, "XML document must have a top level element."},
      {"", MSG_E_MISSINGROOT, nullptr},
      {"<a></a", MSG_E_MISSINGROOT, nullptr},
      {"<a", MSG_E_UNCLOSEDSTARTTAG, "Element was not closed."},
      {"<a b=\"1\"", MSG_E_UNCLOSEDSTARTTAG, nullptr},
      {"<a/", MSG_E_UNCLOSEDSTARTTAG, nullptr},
      {"<a></b>", MSG_E_ENDTAGMISMATCH, "End tag b does not match the start tag a."},
      {"<a></a >", MSG_E_ENDTAGMISMATCH, "End tag a  does not match the start tag a."},
      {"</a>", MSG_E_ENDTAGMISMATCH, "End tag a does not match the start tag #document."},
      {"<a>&plusmn;</a>", XML_ENTITY_UNDEFINED, "Reference to undefined entity plusmn."},
      {"<a>&foo;</a>", XML_ENTITY_UNDEFINED, "Reference to undefined entity foo."},
      {"<a>&Amp;</a>", XML_ENTITY_UNDEFINED, nullptr},
  };
  for (const FailCase& c : cases) {
    Loaded l = Load(c.xml);
    EXPECT_FALSE(l.ok) << c.xml;
    EXPECT_EQ(l.Code(), c.code) << c.xml << ": " << l.Reason();
    if (c.reason) {
      EXPECT_EQ(l.Reason(), c.reason) << c.xml;
    }
  }
}

TEST(XmlParserTest, AShortDashDeclarationRaisesAPlainException) {
  IXMLDocument doc = CreateXMLDoc();
  for (const char* xml : {"<!-x>", "<a><!-", "<!DOCTYPX-y"}) {
    try {
      doc->LoadXML(xml);
      ADD_FAILURE() << xml << ": no exception";
    } catch (const EXMLException&) {
      ADD_FAILURE() << xml << ": must not be an EXMLException";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Invalid node ", 0), 0u) << e.what();
    }
  }
  EXPECT_EQ(test::ThrownMessage<Exception>([&] { doc->LoadXML("<!DOCTYPX-y"); }), "Invalid node OCTYPX")
      << "formatted with the collected text";
  EXPECT_TRUE(doc->LoadXML("<a/>")) << "the document stays usable";
}

TEST(XmlParserTest, TextAndReferences) {
  struct Case {
    const char* xml;
    std::string text;
  };
  const Case cases[] = {
      {"<t>&amp;</t>", "&"},
      {"<t>&lt;&gt;&quot;&apos;</t>", "<>\"'"},
      {"<t>&#65;</t>", "A"},
      {"<t>&#x41;</t>", "A"},
      {"<t>&#x4a;&#x4A;</t>", "JJ"},
      {"<t>&eacute;</t>", "\xC3\xA9"},
      {"<t>&plusm;&supl;&circ;&ring;&ieth;&yuml;&nbsp;</t>",
       "\xC2\xB1\xC2\xB9\xC3\x82\xC3\x85\xC3\xB0\xC3\xBF\xC2\xA0"},
      {"<t>&#x1F600;</t>", "\xF0\x9F\x98\x80"},  // the character, not a truncated code unit
      {"<t>&#128512;</t>", "\xF0\x9F\x98\x80"},
      {"<t>&#55357;&#56832;</t>", "\xF0\x9F\x98\x80"},  // a surrogate pair written as two references
      {"<t>&#55296;x</t>", "\xEF\xBF\xBDx"},            // a lone surrogate becomes U+FFFD
      {"<t>a&#0;b</t>", std::string("a\0b", 3)},        // decimal references are not checked
      {"<t>a\r\nb\rc</t>", "a\nb\nc"},
      {"<t> x </t>", " x "},
      {"<t>\xF0\x9F\x98\x80 \xC3\xA9</t>", "\xF0\x9F\x98\x80 \xC3\xA9"},
      {"<t>a>b</t>", "a>b"},
      {"<t>]]></t>", "]]>"},
      {"<t>a<![CDATA[<&>]]>b</t>", "a"},
  };
  for (const Case& c : cases) {
    Loaded l = Load(c.xml);
    EXPECT_TRUE(l.ok) << c.xml << ": " << l.Reason();
    EXPECT_EQ(l.Text("t"), c.text) << c.xml;
  }
}

TEST(XmlParserTest, EndOfInputInsideAReferenceYieldsASpace) {
  Loaded l = Load("<a b=\"x&");
  EXPECT_EQ(l.Code(), MSG_E_UNCLOSEDSTARTTAG);
  IXMLElement a = l.doc->DocumentElement();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetAttribute("b"), "x ");
  EXPECT_EQ(Load("<a b=\"x&#x4").doc->DocumentElement()->GetAttribute("b"), "x ");
  EXPECT_EQ(Load("<a b=\"x&am").doc->DocumentElement()->GetAttribute("b"), "x ");
}

TEST(XmlParserTest, WhitespaceIsKeptAsText) {
  Loaded l = Load("<msg>\r\n<a>1</a>\r\n</msg>");
  ASSERT_TRUE(l.ok) << l.Reason();
  IXMLNode msg = l.doc->SelectSingleNode("/msg");
  ASSERT_EQ(msg->ChildNodes().Length(), 3);
  EXPECT_EQ(msg->ChildNodes().Item(0)->NodeValue(), "\n");
  EXPECT_EQ(msg->ChildNodes().Item(1)->NodeName(), "a");
  EXPECT_EQ(msg->ChildNodes().Item(2)->NodeValue(), "\n");
  EXPECT_EQ(GetNodeTextStr(msg, "a"), "1");
  EXPECT_EQ(msg->XML(), "<msg>\r\n<a>1</a>\r\n</msg>");

  // Without PreserveWhiteSpace text is trimmed and blank text disappears.
  IXMLDocument doc = CreateXMLDoc();
  doc->SetPreserveWhiteSpace(false);
  ASSERT_TRUE(doc->LoadXML("<msg>\r\n <a> 1 </a>\r\n</msg>"));
  EXPECT_EQ(doc->XML(), "<msg><a>1</a></msg>");
}

TEST(XmlParserTest, ShapeIsNotChecked) {
  for (const char* xml : {"<a/><b/>", "x<a/>", "<a/>y<?pi d?>", "<!--c--><a/><?xml version=\"1.0\"?>", "  <a/>"}) {
    Loaded l = Load(xml);
    EXPECT_TRUE(l.ok) << xml << ": " << l.Reason();
  }
  Loaded l = Load("x<a/><b/>");
  EXPECT_EQ(l.doc->ChildNodes().Length(), 3);
  EXPECT_EQ(l.doc->DocumentElement()->NodeName(), "a");
  EXPECT_EQ(l.doc->XML(), "x<a/><b/>");
  EXPECT_TRUE(Load("< a/>").ok) << "spaces after the less-than sign are allowed";
}

TEST(XmlParserTest, NodesReadBeforeAnErrorRemain) {
  Loaded l = Load("<msg><sender>A</sender>");
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.Code(), MSG_E_UNCLOSEDTAG);
  IXMLNode msg = l.doc->SelectSingleNode("/msg");
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(GetNodeTextStr(msg, "sender"), "A");

  l = Load("<msg><sender>A</sender><x></y>");
  EXPECT_EQ(l.Code(), MSG_E_ENDTAGMISMATCH);
  EXPECT_EQ(l.doc->XML(), "<msg><sender>A</sender><x/></msg>");

  // A new load starts from an empty document; a successful one keeps the old record.
  EXPECT_TRUE(l.doc->LoadXML("<b/>"));
  EXPECT_EQ(l.doc->XML(), "<b/>");
  EXPECT_EQ(l.Code(), MSG_E_ENDTAGMISMATCH);
}

TEST(XmlParserTest, ParseErrorRecordPointsAtTheLine) {
  Loaded l = Load("<a>\n<b>\n</c>");
  const TXMLParseError& e = l.doc->ParseError();
  EXPECT_EQ(e.ErrorCode(), MSG_E_ENDTAGMISMATCH);
  EXPECT_EQ(e.Line(), 3);
  EXPECT_EQ(e.LinePos(), 4);
  EXPECT_EQ(e.FilePos(), 12);
  EXPECT_EQ(e.SrcText(), "</c>");
  EXPECT_EQ(e.URL(), "");

  // At the start of a line the source text falls back to the last collected text.
  l = Load("<abc>x\n");
  EXPECT_EQ(l.Code(), MSG_E_UNCLOSEDTAG);
  EXPECT_EQ(l.doc->ParseError().SrcText(), "abc");
}

TEST(XmlParserTest, AttributesAsRead) {
  Loaded l = Load("<a b=\"1\" c='2' d=\"x'y\" e='x\"y' f = \"sp\" g=\"l\r\nm\tn\" h=\"&lt;&#65;\"b=\"again\"/>");
  ASSERT_TRUE(l.ok) << l.Reason();
  IXMLElement a = l.doc->DocumentElement();
  const TXMLNamedNodeMap& attrs = a->Attributes();
  ASSERT_EQ(attrs.Length(), 8) << "a repeated attribute is kept";
  const std::pair<const char*, const char*> expected[] = {
      {"b", "1"}, {"c", "2"}, {"d", "x'y"}, {"e", "x\"y"}, {"f", "sp"}, {"g", "l\r\nm\tn"}, {"h", "<A"}, {"b", "again"},
  };
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(attrs.Item(i)->NodeName(), expected[i].first);
    EXPECT_EQ(attrs.Item(i)->NodeValue(), expected[i].second);
  }
  EXPECT_EQ(a->GetAttribute("b"), "1");
  EXPECT_EQ(a->XML(),
            "<a b=\"1\" c=\"2\" d=\"x&apos;y\" e=\"x&quot;y\" f=\"sp\" g=\"l\r\nm\tn\" h=\"&lt;A\" b=\"again\"/>");
}

TEST(XmlParserTest, CommentsCDataDocTypeAndInstructions) {
  Loaded l = Load(
      "<!DOCTYPE r [<!ELEMENT r ANY>] SYSTEM \"a>b\">"
      "<r><!--x-y\r\nz--><!--a--b-->"
      "<![CDATA[x]]]>"
      "<![CDATX<!--k--><?pi  data ? x?\?>"
      "</r>");
  ASSERT_TRUE(l.ok) << l.Reason();
  ASSERT_NE(l.doc->DocType(), nullptr);
  EXPECT_EQ(l.doc->DocType()->NodeValue(), "r [<!ELEMENT r ANY>] SYSTEM \"a>b\"");
  IXMLNode r = l.doc->DocumentElement();
  ASSERT_EQ(r->ChildNodes().Length(), 5);
  EXPECT_EQ(r->ChildNodes().Item(0)->NodeValue(), "x-y\nz");
  EXPECT_EQ(r->ChildNodes().Item(1)->NodeValue(), "a") << "the value ends at the first --";
  EXPECT_EQ(r->ChildNodes().Item(2)->NodeType(), TNodeType::CDATA_SECTION_NODE);
  EXPECT_EQ(r->ChildNodes().Item(2)->NodeValue(), "x]");
  EXPECT_EQ(r->ChildNodes().Item(3)->NodeValue(), "k") << "an unknown <![ is passed over";
  EXPECT_EQ(r->ChildNodes().Item(4)->NodeName(), "pi");
  EXPECT_EQ(r->ChildNodes().Item(4)->NodeValue(), "data ? x?");
  EXPECT_EQ(l.doc->XML(),
            "<!DOCTYPE r [<!ELEMENT r ANY>] SYSTEM \"a>b\"><r><!--x-y\r\nz--><!--a-->"
            "<![CDATA[x]]]><!--k--><?pi data ? x?\?></r>");
}

TEST(XmlParserTest, EndOfInputInsideConstructsEndsThemSilently) {
  struct Case {
    const char* xml;
    const char* rendered;
  };
  const Case cases[] = {
      {"<a/><?pi da", "<a/><?pi da?>"},
      {"<a/><?pi", "<a/><?pi ?>"},
      {"<a/><!--com", "<a/><!--com-->"},
      {"<a/><![CDATA[cd]]", "<a/><![CDATA[cd]]]]>"},
      {"<a/><!DOCTYPE x [", "<a/><!DOCTYPE x [>"},
      {"<a/>tail", "<a/>"},  // text cut by the end of input keeps an empty node
      {"<a/><", "<a/>"},
      {"<a/><!", "<a/>"},
  };
  for (const Case& c : cases) {
    Loaded l = Load(c.xml);
    EXPECT_TRUE(l.ok) << c.xml << ": " << l.Reason();
    EXPECT_EQ(l.doc->XML(), c.rendered) << c.xml;
  }
}

TEST(XmlParserTest, NestingIsBounded) {
  auto nested = [](int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<a>";
    for (int i = 0; i < depth; ++i) xml += "</a>";
    return xml;
  };
  EXPECT_TRUE(Load(nested(TXMLParser::kMaxNestingDepth)).ok);
  Loaded l = Load(nested(TXMLParser::kMaxNestingDepth + 1));
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.Code(), MSG_E_INTERNALERROR);
  EXPECT_EQ(l.Reason(), "Internal error: Elements are nested more than 256 levels deep");
  // Hostile depth fails the same way instead of exhausting the stack.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  EXPECT_EQ(Load(deep).Code(), MSG_E_INTERNALERROR);
}

TEST(XmlParserTest, InvalidUtf8IsNotASyntaxError) {
  IXMLDocument doc = CreateXMLDoc();
  EXPECT_THROW(doc->LoadXML("<a>\xC3</a>"), EEncodingError);
}

TEST(XmlTextStreamTest, OneLevelOfPushBack) {
  TXMLTextStream stream("ab\nc");
  EXPECT_EQ(stream.ReadChar(), 'a');
  stream.UndoRead();
  try {
    stream.UndoRead();
    FAIL() << "second push-back accepted";
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.XMLCode(), MSG_E_INTERNALERROR);
    EXPECT_STREQ(e.what(), "Internal error: Only one undo level is supported");
  }
  EXPECT_EQ(stream.ReadChar(), 'a');
  stream.UndoRead();
  EXPECT_EQ(stream.ReadChar(), 'a');
  EXPECT_EQ(stream.ReadChar(), 'b');
  EXPECT_EQ(stream.ReadChar(), '\n');
  EXPECT_EQ(stream.LinesRead(), 1);
  EXPECT_EQ(stream.LinePosition(), 0);
  EXPECT_EQ(stream.ReadChar(), 'c');
  EXPECT_EQ(stream.CurrentLine(), u"c");
  EXPECT_EQ(stream.ReadChar(), TXMLTextStream::kEndOfInput);
  EXPECT_EQ(stream.ReadChar(), TXMLTextStream::kEndOfInput);
  EXPECT_EQ(stream.CharactersRead(), 4);
}

TEST(XmlTextStreamTest, UnitsStraddleAfterAnOddNumberOfBytes) {
  // U+4241 U+4443 are the bytes 41 42 43 44 in UTF-16LE. One byte read in a byte-wise page
  // leaves the position odd; UTF-16 then pairs the bytes across the stored units, and a lone
  // last byte is dropped.
  TXMLTextStream stream("\xE4\x89\x81\xE4\x91\x83");
  stream.SetCodePage(1252);
  EXPECT_EQ(stream.ReadChar(), 0x41);
  stream.SetCodePage(kCodePageUtf16);
  EXPECT_EQ(stream.ReadChar(), 0x4342);
  EXPECT_EQ(stream.ReadChar(), TXMLTextStream::kEndOfInput);
}

TEST(XmlTextStreamTest, CharactersAboveTheBasicPlaneReadAsTwoUnits) {
  TXMLTextStream stream("a\xF0\x9F\x98\x80\n\xC3\xA9");
  EXPECT_EQ(stream.ReadChar(), 'a');
  EXPECT_EQ(stream.ReadChar(), 0xD83D);
  EXPECT_EQ(stream.CharactersRead(), 2);
  EXPECT_EQ(stream.LastChar(), 0xD83D);
  stream.UndoRead();  // the whole character comes again
  EXPECT_EQ(stream.ReadChar(), 0xD83D);
  EXPECT_EQ(stream.ReadChar(), 0xDE00);
  EXPECT_EQ(stream.LastChar(), 0xDE00);
  stream.UndoRead();  // only its second half comes again
  EXPECT_EQ(stream.ReadChar(), 0xDE00);
  EXPECT_EQ(stream.CurrentLine(), u"a\U0001F600");
  EXPECT_EQ(stream.ReadChar(), '\n');
  EXPECT_EQ(stream.ReadChar(), 0xE9);
  EXPECT_EQ(stream.LinesRead(), 1);
  EXPECT_EQ(stream.LinePosition(), 1);
  EXPECT_EQ(stream.CharactersRead(), 5);
  EXPECT_EQ(stream.ReadChar(), TXMLTextStream::kEndOfInput);
  stream.UndoRead();
  EXPECT_THROW(stream.UndoRead(), EXMLException);
  EXPECT_EQ(stream.ReadChar(), TXMLTextStream::kEndOfInput);
}

TEST(XmlTextStreamTest, TheCollectionBufferPairsSurrogates) {
  TXMLTextStream stream("");
  for (char16_t unit : {u'a', char16_t(0xD83D), char16_t(0xDE00), char16_t(0xD800), u'b', char16_t(0xDC00)})
    stream.WriteOutputChar(unit);
  stream.WriteOutputChar(0xD83D);  // left waiting at the take
  EXPECT_EQ(stream.GetOutputBuffer(),
            "a\xF0\x9F\x98\x80\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(stream.OutputBufferEmpty());
  EXPECT_EQ(stream.LastTaken(),
            "a\xF0\x9F\x98\x80\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestova
