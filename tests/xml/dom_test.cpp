#include "xml/xml_dom.h"

#include <gtest/gtest.h>

#include "xml/xml_utils.h"

namespace kestova {
namespace {

// Runs `action` and returns the EXMLException it raised.
template <typename Action>
EXMLException CatchXML(Action action) {
  try {
    action();
  } catch (const EXMLException& e) {
    return e;
  }
  ADD_FAILURE() << "no EXMLException raised";
  return EXMLException(TDOMCode::NO_DOM_ERR, MSG_E_FREETEXT, "none");
}

TEST(XmlDomTest, NewDocumentIsEmpty) {
  IXMLDocument doc = CreateXMLDoc();
  EXPECT_EQ(doc->NodeType(), TNodeType::DOCUMENT_NODE);
  EXPECT_EQ(doc->NodeName(), "#document");
  EXPECT_FALSE(doc->HasChildNodes());
  EXPECT_EQ(doc->ChildListOrNull(), nullptr);
  EXPECT_TRUE(doc->PreserveWhiteSpace());
  EXPECT_EQ(doc->ParseError().ErrorCode(), 0);
  EXPECT_EQ(doc->OwnerDocument(), nullptr);
  EXPECT_EQ(doc->DocumentElement(), nullptr);
  EXPECT_EQ(doc->XML(), "");
}

TEST(XmlDomTest, NodeNamesAndValuesByType) {
  IXMLDocument doc = CreateXMLDoc();
  struct Case {
    IXMLNode node;
    TNodeType type;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {doc->CreateElement("msg"), TNodeType::ELEMENT_NODE, "msg", ""},
      {doc->CreateTextNode("t"), TNodeType::TEXT_NODE, "#text", "t"},
      {doc->CreateCDATASection("c"), TNodeType::CDATA_SECTION_NODE, "#cdata-section", "c"},
      {doc->CreateComment("k"), TNodeType::COMMENT_NODE, "#comment", "k"},
      {doc->CreateDocType("d"), TNodeType::DOCUMENT_TYPE_NODE, "#doctype", "d"},
      {doc->CreateProcessingInstruction("xml", "version=\"1.0\""), TNodeType::PROCESSING_INSTRUCTION_NODE, "xml",
       "version=\"1.0\""},
      {doc->CreateAttribute("id"), TNodeType::ATTRIBUTE_NODE, "id", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.node->NodeType(), c.type) << c.name;
    EXPECT_EQ(c.node->NodeName(), c.name);
    EXPECT_EQ(c.node->NodeValue(), c.value) << c.name;
    EXPECT_EQ(c.node->OwnerDocument(), doc.get()) << c.name;
    EXPECT_EQ(c.node->ParentNode(), nullptr) << c.name;
  }
}

TEST(XmlDomTest, LineEndsAreNormalisedInTextCommentAndDocType) {
  IXMLDocument doc = CreateXMLDoc();
  for (const char* input : {"a\r\nb", "a\rb", "a\nb"}) {
    EXPECT_EQ(doc->CreateTextNode(input)->NodeValue(), "a\nb");
    EXPECT_EQ(doc->CreateComment(input)->NodeValue(), "a\nb");
    EXPECT_EQ(doc->CreateDocType(input)->NodeValue(), "a\nb");
  }
  EXPECT_EQ(doc->CreateTextNode("\r\r\n\n")->NodeValue(), "\n\n\n");
  IXMLText text = doc->CreateTextNode("");
  text->SetNodeValue("x\r\n");
  EXPECT_EQ(text->NodeValue(), "x\n");
  // CDATA sections keep their value as given.
  EXPECT_EQ(doc->CreateCDATASection("a\r\nb")->NodeValue(), "a\r\nb");
}

TEST(XmlDomTest, CDataRefusesItsOwnTerminator) {
  IXMLDocument doc = CreateXMLDoc();
  EXMLException e = CatchXML([&] { doc->CreateCDATASection("a]]>b"); });
  EXPECT_EQ(e.XMLCode(), MSG_E_CDATACLOSE);
  EXPECT_STREQ(e.what(), "The literal string \"]]>\" is not allowed in element content.");
  IXMLCDATASection cdata = doc->CreateCDATASection("ok");
  CatchXML([&] { cdata->SetNodeValue("]]>"); });
  EXPECT_EQ(cdata->NodeValue(), "ok");
}

TEST(XmlDomTest, ElementAndDocumentValuesCannotBeWritten) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement element = doc->CreateElement("a");
  EXMLException e = CatchXML([&] { element->SetNodeValue("x"); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::NO_MODIFICATION_ALLOWED_ERR);
  EXPECT_EQ(e.XMLCode(), MSG_E_NODETYPE);
  EXPECT_STREQ(e.what(), "This operation can not be performed with a Node of type ELEMENT_NODE.");
  e = CatchXML([&] { doc->SetNodeValue("x"); });
  EXPECT_STREQ(e.what(), "This operation can not be performed with a Node of type DOCUMENT_NODE.");
}

TEST(XmlDomTest, AppendChildMovesTheNodeFromItsOldParent) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement a = doc->CreateElement("a");
  IXMLElement b = doc->CreateElement("b");
  IXMLElement c = doc->CreateElement("c");
  EXPECT_EQ(doc->AppendChild(a), a);
  a->AppendChild(c);
  EXPECT_EQ(c->ParentNode(), a.get());
  doc->AppendChild(b);
  b->AppendChild(c);
  EXPECT_EQ(c->ParentNode(), b.get());
  EXPECT_FALSE(a->HasChildNodes());
  EXPECT_EQ(a->ChildListOrNull(), nullptr) << "the emptied list is released";
  EXPECT_EQ(doc->XML(), "<a/><b><c/></b>");
}

TEST(XmlDomTest, AppendChildRefusals) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLDocument other = CreateXMLDoc();
  IXMLElement a = doc->CreateElement("a");
  IXMLElement b = doc->CreateElement("b");
  doc->AppendChild(a);
  a->AppendChild(b);

  EXMLException e = CatchXML([&] { a->AppendChild(other->CreateElement("x")); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::WRONG_DOCUMENT_ERR);
  EXPECT_EQ(e.XMLCode(), MSG_E_WRONGDOCUMENT);
  EXPECT_STREQ(e.what(), "NewChild was created from a different document than the one that created this node.");
  // Also at the top: the names of a foreign node live in the other document's dictionary.
  e = CatchXML([&] { doc->AppendChild(other->CreateElement("x")); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::WRONG_DOCUMENT_ERR);

  e = CatchXML([&] { a->AppendChild(doc->CreateAttribute("id")); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::HIERARCHY_REQUEST_ERR);
  EXPECT_STREQ(e.what(), "This operation can not be performed with a Node of type ATTRIBUTE_NODE.");

  // A node inside its own subtree would never be freed and would render forever.
  e = CatchXML([&] { b->AppendChild(a); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::HIERARCHY_REQUEST_ERR);
  e = CatchXML([&] { a->AppendChild(a); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::HIERARCHY_REQUEST_ERR);
  e = CatchXML([&] { a->AppendChild(doc); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::HIERARCHY_REQUEST_ERR);

  // The document is unchanged by the refusals.
  EXPECT_EQ(doc->XML(), "<a><b/></a>");
}

TEST(XmlDomTest, RemoveChild) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement a = doc->CreateElement("a");
  IXMLElement b = doc->CreateElement("b");
  doc->AppendChild(a);
  a->AppendChild(b);
  EXMLException e = CatchXML([&] { doc->RemoveChild(b); });
  EXPECT_EQ(e.DOMCode(), TDOMCode::NOT_FOUND_ERR);
  EXPECT_EQ(e.XMLCode(), 0);
  EXPECT_STREQ(e.what(), "Child not found.");
  // Removing through the list's own entry must not free the node under our feet.
  IXMLNode removed = a->RemoveChild(a->ChildNodes().Item(0));
  EXPECT_EQ(removed, b);
  EXPECT_EQ(b->ParentNode(), nullptr);
  EXPECT_EQ(a->ChildListOrNull(), nullptr);
}

TEST(XmlDomTest, ChildrenOutlivingTheirParentLoseTheBackReference) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement child = doc->CreateElement("child");
  {
    IXMLElement parent = doc->CreateElement("parent");
    parent->AppendChild(child);
    EXPECT_EQ(child->ParentNode(), parent.get());
  }
  EXPECT_EQ(child->ParentNode(), nullptr);
}

TEST(XmlDomTest, NodesHeldPastTheirDocumentAreReleasedSafely) {
  // A node's memory comes from its document's pool; the pool lives as long as any node does.
  IXMLNode kept;
  IXMLNode detached;
  {
    IXMLDocument doc = CreateXMLDoc();
    ASSERT_TRUE(doc->LoadXML("<a><b><c/></b>text</a>"));
    kept = doc->SelectSingleNode("/a/b");
    detached = doc->CreateElement("loose");
    ASSERT_TRUE(doc->LoadXML("<other/>"));  // the old tree is released; b stays with its child
    EXPECT_EQ(kept->ParentNode(), nullptr);
  }
  EXPECT_EQ(kept->NodeType(), TNodeType::ELEMENT_NODE);
  EXPECT_EQ(kept->ChildNodes().Length(), 1);
  kept.reset();
  detached.reset();
}

TEST(XmlDomTest, ALongLivedDocumentReusesTheMemoryOfReleasedNodes) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement root = doc->CreateElement("root");
  doc->AppendChild(root);
  const TXMLNode* first = nullptr;
  for (int i = 0; i < 1000; ++i) {
    IXMLNode child = root->AppendChild(doc->CreateElement("child"));
    if (i == 0) first = child.get();
    root->RemoveChild(child);
    EXPECT_EQ(child.get(), first) << "each new node takes the block the last one gave back";
    if (child.get() != first) break;
  }
}

TEST(XmlDomTest, AttributesAreInternedAndReplacedByName) {
  IXMLDocument doc = CreateXMLDoc();
  IXMLElement a = doc->CreateElement("a");
  a->SetAttribute("id", "1");
  a->SetAttribute("name", "x");
  a->SetAttribute("id", "2");
  EXPECT_EQ(a->Attributes().Length(), 2);
  EXPECT_EQ(a->GetAttribute("id"), "2");
  EXPECT_EQ(a->GetAttribute("missing"), "");
  EXPECT_EQ(a->XML(), "<a id=\"2\" name=\"x\"/>");
  const int before = doc->Dictionary().Count();
  doc->CreateElement("a");
  doc->CreateAttribute("id");
  EXPECT_EQ(doc->Dictionary().Count(), before) << "names are stored once per document";
}

TEST(XmlDomTest, DictionaryGrowsItsPrimeIndexAndFindsEveryString) {
  TDictionary dictionary;
  EXPECT_EQ(dictionary.IndexSize(), 97u);
  std::vector<std::size_t> sizes;
  for (int i = 0; i < 2000; ++i) {
    EXPECT_EQ(dictionary.Add("name" + std::to_string(i)), i);
    if (sizes.empty() || sizes.back() != dictionary.IndexSize()) sizes.push_back(dictionary.IndexSize());
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{97, 193, 389, 769, 1543, 3079}));
  for (int i = 0; i < 2000; ++i) {
    EXPECT_EQ(dictionary.Add("name" + std::to_string(i)), i);
    EXPECT_EQ(dictionary.Find("name" + std::to_string(i)), i);
  }
  EXPECT_EQ(dictionary.Find("absent"), -1);
  EXPECT_EQ(dictionary.Get(-1), "");
  EXPECT_EQ(dictionary.Get(2000), "");
}

}  // namespace
}  // namespace kestova
