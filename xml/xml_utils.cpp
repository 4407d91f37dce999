#include "xml/xml_utils.h"

#include <vector>

#include "platform/format.h"

namespace kestova {

bool IsDocument(const IXMLNode& node) noexcept { return node && node->NodeType() == TNodeType::DOCUMENT_NODE; }

IXMLDocument OwnerDocument(const IXMLNode& node) {
  if (IsDocument(node)) return static_pointer_cast<TXMLDocument>(node);
  return IXMLDocument(node->OwnerDocument());
}

IXMLElement DocumentElement(const IXMLNode& node) { return OwnerDocument(node)->DocumentElement(); }

IXMLNode GetTextChild(const IXMLNode& node) {
  if (const TXMLNodeList* children = node->ChildListOrNull())
    for (const IXMLNode& child : *children)
      if (child->NodeType() == TNodeType::TEXT_NODE) return child;
  return nullptr;
}

void SetTextChild(const IXMLNode& node, std::string_view value) {
  std::vector<IXMLNode> texts;
  if (const TXMLNodeList* children = node->ChildListOrNull())
    for (const IXMLNode& child : *children)
      if (child->NodeType() == TNodeType::TEXT_NODE) texts.push_back(child);
  for (const IXMLNode& text : texts) node->RemoveChild(text);
  node->AppendChild(OwnerDocument(node)->CreateTextNode(value));
}

IXMLNode SelectNode(const IXMLNode& parentNode, std::string_view nodeTag) {
  IXMLNode start = parentNode;
  if (IsDocument(parentNode))
    if (IXMLElement element = static_pointer_cast<TXMLDocument>(parentNode)->DocumentElement()) start = element;
  if (nodeTag.empty() || start->NodeName() == nodeTag) return start;
  return start->SelectSingleNode(nodeTag);
}

IXMLNode EnsureNode(const IXMLNode& parentNode, std::string_view nodeTag) {
  if (IXMLNode node = SelectNode(parentNode, nodeTag)) return node;
  return AppendNode(parentNode, nodeTag);
}

IXMLNode AppendNode(const IXMLNode& parentNode, std::string_view nodeTag) {
  IXMLElement element = OwnerDocument(parentNode)->CreateElement(nodeTag);
  return SelectNode(parentNode, "")->AppendChild(element);
}

bool GetNodeText(const IXMLNode& parentNode, std::string_view nodeTag, std::string& nodeText) {
  const IXMLNode node = SelectNode(parentNode, nodeTag);
  if (!node) return false;
  const IXMLNode text = GetTextChild(node);
  nodeText = text ? text->NodeValue() : std::string();
  return true;
}

std::string GetNodeTextStr(const IXMLNode& parentNode, std::string_view nodeTag) {
  std::string text;
  if (!GetNodeText(parentNode, nodeTag, text))
    throw EXMLUtils(Format("GetNodeTextStr: No text in the the %s node", std::string(nodeTag)));
  return text;
}

IXMLNode SetNodeText(const IXMLNode& parentNode, std::string_view nodeTag, std::string_view value) {
  IXMLNode node = EnsureNode(parentNode, nodeTag);
  SetTextChild(node, value);
  return node;
}

IXMLNode SetNodeTextStr(const IXMLNode& parentNode, std::string_view nodeTag, std::string_view value) {
  return SetNodeText(parentNode, nodeTag, value);
}

}  // namespace kestova
