#include "xml/xml_utils.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

class XmlUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc = CreateXMLDoc();
    msg = AppendNode(doc, "msg");
  }
  IXMLDocument doc;
  IXMLNode msg;
};

TEST_F(XmlUtilsTest, SetNodeTextTwiceKeepsOneElementWithTheSecondValue) {
  SetNodeTextStr(msg, "sender", "first");
  IXMLNode sender = SetNodeTextStr(msg, "sender", "second");
  EXPECT_EQ(msg->ChildNodes().Length(), 1);
  EXPECT_EQ(sender->ChildNodes().Length(), 1);
  EXPECT_EQ(GetNodeTextStr(msg, "sender"), "second");
  EXPECT_EQ(msg->XML(), "<msg><sender>second</sender></msg>");
}

TEST_F(XmlUtilsTest, SetTextChildReplacesOnlyTextChildren) {
  IXMLNode a = AppendNode(msg, "a");
  a->AppendChild(doc->CreateTextNode("one"));
  a->AppendChild(doc->CreateCDATASection("keep"));
  a->AppendChild(doc->CreateTextNode("two"));
  SetTextChild(a, "new");
  EXPECT_EQ(a->XML(), "<a><![CDATA[keep]]>new</a>");
}

TEST_F(XmlUtilsTest, GetNodeTextCases) {
  SetNodeTextStr(msg, "empty", "");
  IXMLNode cdata = AppendNode(msg, "cdata");
  cdata->AppendChild(doc->CreateCDATASection("hidden"));
  AppendNode(msg, "bare");

  std::string text = "untouched";
  EXPECT_TRUE(GetNodeText(msg, "empty", text));
  EXPECT_EQ(text, "");
  text = "untouched";
  EXPECT_TRUE(GetNodeText(msg, "cdata", text)) << "a CDATA section is not a text child";
  EXPECT_EQ(text, "");
  EXPECT_TRUE(GetNodeText(msg, "bare", text));
  EXPECT_EQ(text, "");
  text = "untouched";
  EXPECT_FALSE(GetNodeText(msg, "missing", text));
  EXPECT_EQ(text, "untouched");
  try {
    GetNodeTextStr(msg, "missing");
    FAIL() << "no error";
  } catch (const EXMLUtils& e) {
    EXPECT_STREQ(e.what(), "GetNodeTextStr: No text in the the missing node");
  }
}

TEST_F(XmlUtilsTest, SelectNodeStartsAtTheDocumentElement) {
  IXMLNode sender = SetNodeTextStr(msg, "sender", "A");
  EXPECT_EQ(SelectNode(msg, "msg"), msg) << "an element's own name selects itself";
  EXPECT_EQ(SelectNode(doc, "msg"), msg);
  EXPECT_EQ(SelectNode(doc, ""), msg);
  EXPECT_EQ(SelectNode(msg, ""), msg);
  EXPECT_EQ(SelectNode(doc, "sender"), sender);
  EXPECT_EQ(SelectNode(msg, "sender"), sender);
  EXPECT_EQ(SelectNode(doc, "/msg/sender"), sender) << "the tag may be a path";
  EXPECT_EQ(SelectNode(doc, "target"), nullptr);
  // Through the document, fields land inside its element.
  SetNodeTextStr(doc, "target", "B");
  EXPECT_EQ(doc->XML(), "<msg><sender>A</sender><target>B</target></msg>");
}

TEST_F(XmlUtilsTest, AppendNodeOnAnEmptyDocumentAddsTheDocumentElement) {
  IXMLDocument empty = CreateXMLDoc();
  empty->AppendChild(empty->CreateProcessingInstruction("xml", "version=\"1.0\""));
  IXMLNode root = AppendNode(empty, "root");
  EXPECT_EQ(root->ParentNode(), empty.get());
  EXPECT_EQ(DocumentElement(root), root);
  EXPECT_EQ(OwnerDocument(root), empty);
  EXPECT_EQ(OwnerDocument(empty), empty);
  EXPECT_TRUE(IsDocument(empty));
  EXPECT_FALSE(IsDocument(root));
  IXMLNode child = EnsureNode(empty, "child");
  EXPECT_EQ(child->ParentNode(), root.get());
  EXPECT_EQ(EnsureNode(empty, "child"), child);
  EXPECT_EQ(empty->XML(), "<?xml version=\"1.0\"?><root><child/></root>");
}

}  // namespace
}  // namespace kestova
