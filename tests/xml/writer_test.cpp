#include "xml/xml_writer.h"

#include <gtest/gtest.h>

#include "xml/xml_dom.h"
#include "xml/xml_utils.h"

namespace kestova {
namespace {

// The document a packet becomes: declaration, msg, one text child per field.
IXMLDocument BuildMessage(const char* sender, const char* target, const char* command, const char* params) {
  IXMLDocument doc = CreateXMLDoc();
  doc->AppendChild(doc->CreateProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
  AppendNode(doc, "msg");
  SetNodeTextStr(doc, "sender", sender);
  SetNodeTextStr(doc, "target", target);
  SetNodeTextStr(doc, "command", command);
  SetNodeTextStr(doc, "params", params);
  return doc;
}

TEST(XmlWriterTest, RendersABuiltMessageOnOneLine) {
  EXPECT_EQ(BuildMessage("A", "B", "SHOW_MESSAGE", "LINE1=x,LINE2=y")->XML(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>A</sender><target>B</target>"
            "<command>SHOW_MESSAGE</command><params>LINE1=x,LINE2=y</params></msg>");
}

TEST(XmlWriterTest, TextEscapingAndLineEnds) {
  struct Case {
    const char* value;
    const char* rendered;
  };
  const Case cases[] = {
      {"<&>\"'", "&lt;&amp;&gt;&quot;&apos;"},
      {"\xC3\xA9", "\xC3\xA9"},  // é stays as it is, never a numeric reference
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\r\nb"},
      {"a\nb", "a\r\nb"},
      {"\x01\t\x1F", "\x01\t\x1F"},  // control characters are written unchanged
      {"&amp;", "&amp;amp;"},
      {"", ""},
  };
  for (const Case& c : cases) {
    IXMLDocument doc = CreateXMLDoc();
    EXPECT_EQ(doc->CreateTextNode(c.value)->XML(), c.rendered) << c.value;
  }
}

TEST(XmlWriterTest, EmptyElementTagOnlyWithoutChildren) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement msg = doc->CreateElement("msg");
  doc->AppendChild(msg);
  EXPECT_EQ(doc->XML(), "<msg/>");
  SetNodeTextStr(msg, "sender", "");
  EXPECT_EQ(msg->XML(), "<msg><sender></sender></msg>");
}

TEST(XmlWriterTest, EveryNodeKind) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement root = doc->CreateElement("r");
  doc->AppendChild(doc->CreateDocType("r [<!ENTITY e \"v\">]"));
  doc->AppendChild(root);
  root->SetAttribute("q", "a\"b'c<&>\n");
  root->AppendChild(doc->CreateCDATASection("<&>\n"));
  root->AppendChild(doc->CreateComment("a\nb<&>"));
  root->AppendChild(doc->CreateProcessingInstruction("pi", "data"));
  EXPECT_EQ(doc->XML(),
            "<!DOCTYPE r [<!ENTITY e \"v\">]>"
            "<r q=\"a&quot;b&apos;c&lt;&amp;&gt;\n\"><![CDATA[<&>\n]]><!--a\r\nb<&>--><?pi data?></r>");
}

TEST(XmlWriterTest, AppendEscapedReplacesExactlyFiveCharacters) {
  std::string all;
  for (int c = 1; c < 128; ++c) all += static_cast<char>(c);
  std::string out;
  AppendEscaped(all, out);
  EXPECT_EQ(out.size(), all.size() + 4 + 3 + 3 + 5 + 5);
  std::string expected;
  for (char c : all) {
    switch (c) {
      case '&': expected += "&amp;"; break;
      case '<': expected += "&lt;"; break;
      case '>': expected += "&gt;"; break;
      case '"': expected += "&quot;"; break;
      case '\'': expected += "&apos;"; break;
      default: expected += c;
    }
  }
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace kestova
