#include "xml/xml_dom.h"

#include <algorithm>
#include <utility>

#include "xml/xml_writer.h"
#include "xml/xml_xpath.h"

namespace kestova {
namespace {

const std::string kEmpty;
const std::string kTextName = "#text";
const std::string kCDATAName = "#cdata-section";
const std::string kCommentName = "#comment";
const std::string kDocumentName = "#document";
const std::string kDocTypeName = "#doctype";

}  // namespace

void NormalizeLineEnds(std::string& value) {
  if (value.find('\r') == std::string::npos) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r') {
      value[out++] = '\n';
      if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
    } else {
      value[out++] = value[i];
    }
  }
  value.resize(out);
}

const char* NodeTypeName(TNodeType type) noexcept {
  switch (type) {
    case TNodeType::ELEMENT_NODE: return "ELEMENT_NODE";
    case TNodeType::ATTRIBUTE_NODE: return "ATTRIBUTE_NODE";
    case TNodeType::TEXT_NODE: return "TEXT_NODE";
    case TNodeType::CDATA_SECTION_NODE: return "CDATA_SECTION_NODE";
    case TNodeType::ENTITY_REFERENCE_NODE: return "ENTITY_REFERENCE_NODE";
    case TNodeType::ENTITY_NODE: return "ENTITY_NODE";
    case TNodeType::PROCESSING_INSTRUCTION_NODE: return "PROCESSING_INSTRUCTION_NODE";
    case TNodeType::COMMENT_NODE: return "COMMENT_NODE";
    case TNodeType::DOCUMENT_NODE: return "DOCUMENT_NODE";
    case TNodeType::DOCUMENT_TYPE_NODE: return "DOCUMENT_TYPE_NODE";
    case TNodeType::DOCUMENT_FRAGMENT_NODE: return "DOCUMENT_FRAGMENT_NODE";
    case TNodeType::NOTATION_NODE: return "NOTATION_NODE";
  }
  return "UNKNOWN_NODE";
}

// --- lists -----------------------------------------------------------------------------------

TXMLNodeList::TXMLNodeList(TXMLNodeList&& other) noexcept
    : FFirst(std::move(other.FFirst)), FMore(std::move(other.FMore)), FSize(std::exchange(other.FSize, 0)) {
  other.FMore.clear();
}

TXMLNodeList& TXMLNodeList::operator=(TXMLNodeList&& other) noexcept {
  if (this != &other) {
    FFirst = std::move(other.FFirst);
    FMore = std::move(other.FMore);
    other.FMore.clear();
    FSize = std::exchange(other.FSize, 0);
  }
  return *this;
}

IXMLNode TXMLNodeList::Item(int index) const noexcept {
  if (index < 0 || index >= Length()) return nullptr;
  return Data()[index];
}

int TXMLNodeList::IndexOf(const TXMLNode* node) const noexcept {
  const IXMLNode* items = Data();
  for (std::size_t i = 0; i < FSize; ++i)
    if (items[i].get() == node) return static_cast<int>(i);
  return -1;
}

void TXMLNodeList::Add(IXMLNode node) {
  if (FMore.empty()) {
    if (FSize == 0) {
      FFirst = std::move(node);
      FSize = 1;
      return;
    }
    FMore.reserve(4);
    FMore.push_back(std::move(FFirst));
    FFirst.reset();
  }
  FMore.push_back(std::move(node));
  ++FSize;
}

void TXMLNodeList::PopBack() noexcept {
  if (FMore.empty()) {
    FFirst.reset();
  } else {
    FMore.pop_back();
  }
  --FSize;
}

void TXMLNodeList::Erase(int index) noexcept {
  if (FMore.empty()) {
    FFirst.reset();
  } else {
    FMore.erase(FMore.begin() + index);
  }
  --FSize;
}

void TXMLNodeList::Clear() noexcept {
  FFirst.reset();
  FMore.clear();
  FSize = 0;
}

IXMLNode TXMLNamedNodeMap::Item(int index) const noexcept {
  if (index < 0 || index >= Length()) return nullptr;
  return FItems[static_cast<std::size_t>(index)];
}

IXMLNode TXMLNamedNodeMap::GetNamedItem(std::string_view name) const noexcept {
  for (const IXMLNode& item : FItems)
    if (item->NodeName() == name) return item;
  return nullptr;
}

IXMLNode TXMLNamedNodeMap::SetNamedItem(const IXMLNode& node) {
  for (IXMLNode& item : FItems) {
    if (item->NodeName() == node->NodeName()) {
      IXMLNode replaced = std::move(item);
      item = node;
      return replaced;
    }
  }
  FItems.push_back(node);
  return nullptr;
}

IXMLNode TXMLNamedNodeMap::RemoveNamedItem(std::string_view name) {
  for (auto it = FItems.begin(); it != FItems.end(); ++it) {
    if ((*it)->NodeName() == name) {
      IXMLNode removed = std::move(*it);
      FItems.erase(it);
      return removed;
    }
  }
  return nullptr;
}

// --- nodes -----------------------------------------------------------------------------------

// Releases the subtree without recursion: children that nobody else holds are emptied here
// before they go, so no destructor below this one has children left to release.
TXMLNode::~TXMLNode() {
  // Our own list serves as the work list, so the common shallow tree needs no extra memory.
  TXMLNodeList& pending = FChildNodes;
  while (!pending.Empty()) {
    IXMLNode node = std::move(pending.Back());
    pending.PopBack();
    node->FParentNode = nullptr;
    if (node.use_count() == 1 && !node->FChildNodes.Empty()) {
      TXMLNodeList& children = node->FChildNodes;
      if (pending.Empty()) {
        std::swap(pending, children);  // the usual case: no copying, no allocation
      } else {
        for (IXMLNode* child = children.Data(); child != children.Data() + children.FSize; ++child)
          pending.Add(std::move(*child));
        children.Clear();
      }
    }
  }
}

void TXMLNode::Destroy() noexcept {
  TXMLNodePool* pool = FPool;
  if (!pool) return TXMLRefCounted::Destroy();
  const std::size_t size = FAllocSize;
  this->~TXMLNode();
  pool->Deallocate(this, size);
  pool->Release();
}

void TXMLNode::DetachChildren() noexcept {
  // Children that others still hold must not point back at a parent that is gone.
  for (const IXMLNode& child : FChildNodes) child->FParentNode = nullptr;
  FChildNodes.Clear();
  FHasChildList = false;
}

const TXMLDocument* TXMLNode::HomeDocument() const noexcept {
  if (FOwnerDocument) return FOwnerDocument;
  return FNodeType == TNodeType::DOCUMENT_NODE ? static_cast<const TXMLDocument*>(this) : nullptr;
}

const TDictionary& TXMLNode::Names() const noexcept { return HomeDocument()->FDictionary; }

TDictionary& TXMLNode::MutableNames() noexcept { return const_cast<TXMLDocument*>(HomeDocument())->FDictionary; }

TXMLNamedNodeMap& TXMLNode::Attributes() {
  if (!FAttributes) FAttributes = std::make_unique<TXMLNamedNodeMap>();
  return *FAttributes;
}

const TXMLNodeList& TXMLNode::ChildNodes() {
  FHasChildList = true;
  return FChildNodes;
}

const std::string& TXMLNode::NodeValue() const noexcept { return kEmpty; }

void TXMLNode::SetNodeValue(std::string_view) {
  throw EXMLException(TDOMCode::NO_MODIFICATION_ALLOWED_ERR, MSG_E_NODETYPE, NodeTypeName(FNodeType));
}

IXMLNode TXMLNode::AppendChild(const IXMLNode& newChild) {
  if (!newChild) throw EXMLException(TDOMCode::NOT_FOUND_ERR, MSG_E_FREETEXT, "No node to append.");
  // A document is never anyone's child: its nodes would hold it through their parent's list.
  if (newChild->FNodeType == TNodeType::DOCUMENT_NODE)
    throw EXMLException(TDOMCode::HIERARCHY_REQUEST_ERR, MSG_E_NODETYPE, NodeTypeName(newChild->FNodeType));
  // Names live in the dictionary of the node's own document, so a node never joins another
  // document's tree (also not when this node is the document itself).
  if (HomeDocument() != newChild->HomeDocument())
    throw EXMLException(TDOMCode::WRONG_DOCUMENT_ERR, MSG_E_WRONGDOCUMENT);
  if (FNodeType == TNodeType::ELEMENT_NODE && newChild->FNodeType == TNodeType::ATTRIBUTE_NODE)
    throw EXMLException(TDOMCode::HIERARCHY_REQUEST_ERR, MSG_E_NODETYPE, NodeTypeName(newChild->FNodeType));
  // A node inside its own subtree would keep itself alive and make rendering endless. Only a
  // node with children can be an ancestor, so appending a fresh node costs no walk.
  for (const TXMLNode* p = this; p != nullptr; p = newChild->HasChildNodes() ? p->FParentNode : nullptr)
    if (p == newChild.get())
      throw EXMLException(TDOMCode::HIERARCHY_REQUEST_ERR, MSG_E_FREETEXT,
                          "The new child is this node or one of its ancestors.");
  if (newChild->FParentNode) newChild->FParentNode->RemoveChild(newChild);
  FHasChildList = true;
  FChildNodes.Add(newChild);
  newChild->FParentNode = this;
  return newChild;
}

IXMLNode TXMLNode::RemoveChild(const IXMLNode& oldChild) {
  const int index = FChildNodes.IndexOf(oldChild.get());
  if (index < 0) throw EXMLException(TDOMCode::NOT_FOUND_ERR, MSG_E_FREETEXT, "Child not found.");
  IXMLNode child = oldChild;  // the caller's reference may be the list entry itself
  FChildNodes.Erase(index);
  child->FParentNode = nullptr;
  if (FChildNodes.Empty()) FHasChildList = false;
  return child;
}

IXMLNode TXMLNode::SelectSingleNode(std::string_view pattern) {
  return TXMLXPathEvaluator::EvaluateFirst(*this, pattern);
}

TXMLNodeList TXMLNode::SelectNodes(std::string_view pattern) { return TXMLXPathEvaluator::Evaluate(*this, pattern); }

std::string TXMLNode::XML() const {
  std::string out;
  RenderXML(*this, out);
  return out;
}

// --- element and attribute -------------------------------------------------------------------

const std::string& TXMLElement::GetAttribute(std::string_view name) const noexcept {
  if (const TXMLNamedNodeMap* map = AttributesOrNull()) {
    if (IXMLNode attr = map->GetNamedItem(name)) return static_cast<const TXMLAttr&>(*attr).Value();
  }
  return kEmpty;
}

void TXMLElement::SetAttribute(std::string_view name, std::string_view value) {
  TXMLNamedNodeMap& map = Attributes();
  if (IXMLNode attr = map.GetNamedItem(name)) {
    attr->SetNodeValue(value);
    return;
  }
  IXMLAttr attr = OwnerDocument()->CreateAttribute(name);
  attr->SetNodeValue(value);
  map.Add(std::move(attr));
}

void TXMLAttr::SetNodeValue(std::string_view value) { FValueId = MutableNames().Add(value); }

// --- character data --------------------------------------------------------------------------

void TXMLCharacterData::SetNodeValue(std::string_view value) {
  if (NodeType() == TNodeType::CDATA_SECTION_NODE) {
    if (value.find("]]>") != std::string_view::npos)
      throw EXMLException(TDOMCode::INVALID_CHARACTER_ERR, MSG_E_CDATACLOSE);
    FNodeValue.assign(value);
    return;
  }
  FNodeValue.assign(value);
  NormalizeLineEnds(FNodeValue);
}

const std::string& TXMLText::NodeName() const noexcept { return kTextName; }
const std::string& TXMLCDATASection::NodeName() const noexcept { return kCDATAName; }
const std::string& TXMLComment::NodeName() const noexcept { return kCommentName; }
const std::string& TXMLDocumentType::NodeName() const noexcept { return kDocTypeName; }

// --- document --------------------------------------------------------------------------------

TXMLDocument::TXMLDocument(TXMLNodeKey)
    : TXMLNode(nullptr, TNodeType::DOCUMENT_NODE), FNodePool(TXMLNodePool::Create()) {}

// The children go first, while the dictionary their names refer to still exists.
TXMLDocument::~TXMLDocument() {
  RemoveAllChildren();
  FNodePool.reset();
}

const std::string& TXMLDocument::NodeName() const noexcept { return kDocumentName; }

void TXMLDocument::RemoveAllChildren() noexcept {
  DetachChildren();
  FDocType.reset();
}

IXMLElement TXMLDocument::DocumentElement() const noexcept {
  if (const TXMLNodeList* children = ChildListOrNull())
    for (const IXMLNode& child : *children)
      if (child->NodeType() == TNodeType::ELEMENT_NODE) return static_pointer_cast<TXMLElement>(child);
  return nullptr;
}

IXMLElement TXMLDocument::CreateElement(std::string_view tagName) {
  return NewNode<TXMLElement>(FDictionary.Add(tagName));
}

IXMLAttr TXMLDocument::CreateAttribute(std::string_view name) { return NewNode<TXMLAttr>(FDictionary.Add(name)); }

namespace {

// Character data is stored through SetNodeValue, which applies each kind's own rules.
template <typename T>
TXMLRef<T> WithValue(TXMLRef<T> node, std::string_view data) {
  node->SetNodeValue(data);
  return node;
}

}  // namespace

IXMLText TXMLDocument::CreateTextNode(std::string_view data) { return WithValue(NewNode<TXMLText>(), data); }

IXMLCDATASection TXMLDocument::CreateCDATASection(std::string_view data) {
  return WithValue(NewNode<TXMLCDATASection>(), data);
}

IXMLComment TXMLDocument::CreateComment(std::string_view data) { return WithValue(NewNode<TXMLComment>(), data); }

IXMLDocumentType TXMLDocument::CreateDocType(std::string_view data) {
  return WithValue(NewNode<TXMLDocumentType>(), data);
}

IXMLProcessingInstruction TXMLDocument::CreateProcessingInstruction(std::string_view target, std::string_view data) {
  return NewNode<TXMLProcessingInstruction>(std::string(target), std::string(data));
}

IXMLDocument CreateXMLDoc() { return MakeXMLRef<TXMLDocument>(TXMLNodeKey{}); }

}  // namespace kestova
