#include "xml/xml_xpath.h"

#include <gtest/gtest.h>

#include "tests/support/thrown_message.h"
#include "xml/xml_utils.h"

namespace kestova {
namespace {

// msg with sender (id=1), target and a second sender (id=2), each holding its name as text;
// target has a child element sender of its own so descendant scans differ from child steps.
class XmlPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDoc = CreateXMLDoc();
    FMsg = static_pointer_cast<TXMLElement>(AppendNode(FDoc, "msg"));
    FSender1 = Add(FMsg, "sender", "s1");
    FSender1->SetAttribute("id", "1");
    FTarget = Add(FMsg, "target", "t");
    FNested = Add(FTarget, "sender", "nested");
    FNested->SetAttribute("id", "3");
    FSender2 = Add(FMsg, "sender", "s2");
    FSender2->SetAttribute("id", "2");
    FSender2->SetAttribute("kind", "x y");
  }

  IXMLElement Add(const IXMLElement& parent, const char* name, const char* text) {
    IXMLElement e = FDoc->CreateElement(name);
    parent->AppendChild(e);
    e->AppendChild(FDoc->CreateTextNode(text));
    return e;
  }

  // The selection as a list of "name" (elements) or "@name=value" (attributes).
  std::vector<std::string> Select(const IXMLNode& from, const char* pattern) {
    std::vector<std::string> out;
    for (const IXMLNode& node : from->SelectNodes(pattern)) {
      if (node->NodeType() == TNodeType::ATTRIBUTE_NODE)
        out.push_back("@" + node->NodeName() + "=" + node->NodeValue());
      else if (node->NodeType() == TNodeType::ELEMENT_NODE)
        out.push_back(GetTextChild(node) ? GetTextChild(node)->NodeValue() : node->NodeName());
      else
        out.push_back(node->NodeName());
    }
    return out;
  }

  std::string Error(const IXMLNode& from, const char* pattern) {
    return test::ThrownMessage<EXMLXPath>([&] { from->SelectNodes(pattern); });
  }

  IXMLDocument FDoc;
  IXMLElement FMsg, FSender1, FTarget, FNested, FSender2;
};

using Names = std::vector<std::string>;

TEST_F(XmlPathTest, Selections) {
  struct Case {
    bool fromMsg;
    const char* pattern;
    Names expected;
  };
  const Case cases[] = {
      {false, "/msg", {"msg"}},
      {true, "/msg", {"msg"}},  // a leading slash starts at the document from anywhere
      {false, "msg", {"msg"}},
      {false, "/msg/sender", {"s1", "s2"}},
      {false, "//sender", {"s1", "nested", "s2"}},  // document order
      {false, "/msg//sender", {"s1", "nested", "s2"}},
      {false, "/msg/*[2]", {"t"}},
      {false, "/msg/*", {"s1", "t", "s2"}},
      {false, "//*", {"msg", "s1", "t", "nested", "s2"}},
      {true, "sender[@id='1']", {"s1"}},
      {true, "sender[@id=\"2\"]", {"s2"}},
      {true, "sender[ @id = 2 ]", {"s2"}},
      {true, "sender[@kind='x y']", {"s2"}},
      {true, "sender[@kind]", {"s2"}},
      {true, "sender[@id='1 ']", {}},
      {true, "sender[@ID='1']", {}},  // names are case-sensitive
      {true, "Sender", {}},
      {true, "sender[2]", {"s2"}},
      {true, "sender[3]", {}},
      {true, "*/sender", {"nested"}},
      {true, "*[1]", {"s1"}},
      {true, ".", {"msg"}},
      {true, ".[5]", {"msg"}},  // a predicate on "." is ignored
      {true, "./target/.", {"t"}},
      {true, "@*", {}},
      {true, "sender/@id", {"@id=1", "@id=2"}},
      {true, "sender/@*", {"@id=1", "@id=2", "@kind=x y"}},
      {true, "//@id", {"@id=1", "@id=3", "@id=2"}},
      {true, "sender/@*[2]", {"@kind=x y"}},  // per context node: only the second sender has two
      {false, "", {}},
      {false, "/nothing/sender", {}},
  };
  for (const Case& c : cases) {
    const IXMLNode from = c.fromMsg ? IXMLNode(FMsg) : IXMLNode(FDoc);
    EXPECT_EQ(Select(from, c.pattern), c.expected) << c.pattern;
  }
}

TEST_F(XmlPathTest, PredicateIndexCountsPerContextNode) {
  // Each sender child of msg and of target is the first of its context.
  EXPECT_EQ(Select(FDoc, "//*/sender[1]"), (Names{"s1", "nested"}));
  // Duplicates are not removed: msg and target both reach nested through "//sender".
  EXPECT_EQ(Select(FDoc, "//*//sender"), (Names{"s1", "nested", "s2", "nested"}));
}

TEST_F(XmlPathTest, SelectSingleNodeGivesTheFirstOrNone) {
  EXPECT_EQ(FDoc->SelectSingleNode("/msg/sender"), FSender1);
  EXPECT_EQ(FDoc->SelectSingleNode("/msg/missing"), nullptr);
  EXPECT_EQ(FDoc->SelectSingleNode(""), nullptr);
}

TEST_F(XmlPathTest, SyntaxErrors) {
  struct Case {
    const char* pattern;
    const char* message;
  };
  const Case cases[] = {
      {"sender/", "Empty element at position 8"},
      {"/", "Empty element at position 2"},
      {"/msg///sender", "Empty element at position 7"},
      {"a//", "Empty element at position 4"},
      {"sender[0]", "Invalid predicate [0]"},
      {"sender[-1]", "Invalid predicate [-1]"},
      {"sender[1", "Invalid syntax at position 7"},
      {"sender1]", "Invalid syntax at position 8"},
      {"sender[1]x", "Invalid syntax at position 7"},
      {"a/b]c[1]", "Invalid syntax at position 4"},
      {"sender[last()]", "Unsupported predicate [last()]"},
      {"sender[@]", "Unsupported predicate [@]"},
      {"sender[]", "Unsupported predicate []"},
  };
  for (const Case& c : cases) EXPECT_EQ(Error(FMsg, c.pattern), c.message) << c.pattern;
  // Errors do not depend on what the document holds.
  EXPECT_EQ(Error(CreateXMLDoc(), "nothing[0]"), "Invalid predicate [0]");
}

TEST_F(XmlPathTest, DeepTreesDoNotExhaustTheStack) {
  IXMLElement parent = FMsg;
  for (int i = 0; i < 100000; ++i) {
    IXMLElement child = FDoc->CreateElement("deep");
    parent->AppendChild(child);
    parent = child;
  }
  EXPECT_EQ(FDoc->SelectNodes("//deep").Length(), 100000);
  EXPECT_EQ(FDoc->SelectNodes("//deep[@none]").Length(), 0);
  // Releasing the document releases the chain without recursing either.
  parent.reset();
  FMsg.reset();
  FDoc.reset();
}

}  // namespace
}  // namespace kestova
