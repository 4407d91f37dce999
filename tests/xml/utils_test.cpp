#include "tests/support/thrown_message.h"
#include "xml/xml_utils.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

using test::ThrownMessage;

class XmlUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDoc = CreateXMLDoc();
    FMsg = AppendNode(FDoc, "msg");
  }
  IXMLDocument FDoc;
  IXMLNode FMsg;
};

TEST_F(XmlUtilsTest, SetNodeTextTwiceKeepsOneElementWithTheSecondValue) {
  SetNodeTextStr(FMsg, "sender", "first");
  IXMLNode sender = SetNodeTextStr(FMsg, "sender", "second");
  EXPECT_EQ(FMsg->ChildNodes().Length(), 1);
  EXPECT_EQ(sender->ChildNodes().Length(), 1);
  EXPECT_EQ(GetNodeTextStr(FMsg, "sender"), "second");
  EXPECT_EQ(FMsg->XML(), "<msg><sender>second</sender></msg>");
}

TEST_F(XmlUtilsTest, SetTextChildReplacesOnlyTextChildren) {
  IXMLNode a = AppendNode(FMsg, "a");
  a->AppendChild(FDoc->CreateTextNode("one"));
  a->AppendChild(FDoc->CreateCDATASection("keep"));
  a->AppendChild(FDoc->CreateTextNode("two"));
  SetTextChild(a, "new");
  EXPECT_EQ(a->XML(), "<a><![CDATA[keep]]>new</a>");
}

TEST_F(XmlUtilsTest, GetNodeTextCases) {
  SetNodeTextStr(FMsg, "empty", "");
  IXMLNode cdata = AppendNode(FMsg, "cdata");
  cdata->AppendChild(FDoc->CreateCDATASection("hidden"));
  AppendNode(FMsg, "bare");

  std::string text = "untouched";
  EXPECT_TRUE(GetNodeText(FMsg, "empty", text));
  EXPECT_EQ(text, "");
  text = "untouched";
  EXPECT_TRUE(GetNodeText(FMsg, "cdata", text)) << "a CDATA section is not a text child";
  EXPECT_EQ(text, "");
  EXPECT_TRUE(GetNodeText(FMsg, "bare", text));
  EXPECT_EQ(text, "");
  text = "untouched";
  EXPECT_FALSE(GetNodeText(FMsg, "missing", text));
  EXPECT_EQ(text, "untouched");
  EXPECT_EQ(ThrownMessage<EXMLUtils>([&] { GetNodeTextStr(FMsg, "missing"); }),
            "GetNodeTextStr: No text in the the missing node");
}

TEST_F(XmlUtilsTest, SelectNodeStartsAtTheDocumentElement) {
  IXMLNode sender = SetNodeTextStr(FMsg, "sender", "A");
  EXPECT_EQ(SelectNode(FMsg, "msg"), FMsg) << "an element's own name selects itself";
  EXPECT_EQ(SelectNode(FDoc, "msg"), FMsg);
  EXPECT_EQ(SelectNode(FDoc, ""), FMsg);
  EXPECT_EQ(SelectNode(FMsg, ""), FMsg);
  EXPECT_EQ(SelectNode(FDoc, "sender"), sender);
  EXPECT_EQ(SelectNode(FMsg, "sender"), sender);
  EXPECT_EQ(SelectNode(FDoc, "/msg/sender"), sender) << "the tag may be a path";
  EXPECT_EQ(SelectNode(FDoc, "target"), nullptr);
  // Through the document, fields land inside its element.
  SetNodeTextStr(FDoc, "target", "B");
  EXPECT_EQ(FDoc->XML(), "<msg><sender>A</sender><target>B</target></msg>");
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
