#pragma once
// The document object model: a document and its nodes, shared through reference-counted
// handles (the I-names, see xml_ref.h). A parent's child list holds its children; the owner
// document and the parent are plain back references that keep nothing alive, so a caller keeps
// the document alive for as long as it uses any of its nodes.
//
// Threads: a document and its nodes, and every handle to them, are used by one thread at a
// time; nothing here locks and the reference counts are not atomic. Different documents are
// independent and may be used on different threads at once.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/dictionary.h"
#include "xml/node_pool.h"
#include "xml/xml_exception.h"
#include "xml/xml_ref.h"

namespace kestova {

enum class TNodeType : uint8_t {
  ELEMENT_NODE = 1,
  ATTRIBUTE_NODE = 2,
  TEXT_NODE = 3,
  CDATA_SECTION_NODE = 4,
  ENTITY_REFERENCE_NODE = 5,
  ENTITY_NODE = 6,
  PROCESSING_INSTRUCTION_NODE = 7,
  COMMENT_NODE = 8,
  DOCUMENT_NODE = 9,
  DOCUMENT_TYPE_NODE = 10,
  DOCUMENT_FRAGMENT_NODE = 11,
  NOTATION_NODE = 12,
};

// CR LF and a lone CR both become LF, as text, comment and document-type values are stored.
void NormalizeLineEnds(std::string& value);

// "ELEMENT_NODE" and so on, as error messages name node types.
const char* NodeTypeName(TNodeType type) noexcept;

class TXMLNode;
class TXMLDocument;
class TXMLElement;
class TXMLAttr;
class TXMLCharacterData;
class TXMLText;
class TXMLCDATASection;
class TXMLComment;
class TXMLDocumentType;
class TXMLProcessingInstruction;
class TXMLParser;

using IXMLNode = TXMLRef<TXMLNode>;
using IXMLDocument = TXMLRef<TXMLDocument>;
using IXMLElement = TXMLRef<TXMLElement>;
using IXMLAttr = TXMLRef<TXMLAttr>;
using IXMLCharacterData = TXMLRef<TXMLCharacterData>;
using IXMLText = TXMLRef<TXMLText>;
using IXMLCDATASection = TXMLRef<TXMLCDATASection>;
using IXMLComment = TXMLRef<TXMLComment>;
using IXMLDocumentType = TXMLRef<TXMLDocumentType>;
using IXMLProcessingInstruction = TXMLRef<TXMLProcessingInstruction>;

// An ordered list of nodes: a node's children, or the result of a path selection. Most
// elements hold one child (their text), so one entry lives inline and only longer lists
// allocate.
class TXMLNodeList {
 public:
  TXMLNodeList() = default;
  TXMLNodeList(TXMLNodeList&& other) noexcept;
  TXMLNodeList& operator=(TXMLNodeList&& other) noexcept;

  int Length() const noexcept { return static_cast<int>(FSize); }
  // 0-based; none outside the list.
  IXMLNode Item(int index) const noexcept;
  int IndexOf(const TXMLNode* node) const noexcept;
  void Add(IXMLNode node);

  const IXMLNode* begin() const noexcept { return Data(); }
  const IXMLNode* end() const noexcept { return Data() + FSize; }

 private:
  friend class TXMLNode;
  friend class TXMLParser;
  IXMLNode* Data() noexcept { return FMore.empty() ? &FFirst : FMore.data(); }
  const IXMLNode* Data() const noexcept { return FMore.empty() ? &FFirst : FMore.data(); }
  bool Empty() const noexcept { return FSize == 0; }
  IXMLNode& Back() noexcept { return Data()[FSize - 1]; }
  void PopBack() noexcept;
  void Erase(int index) noexcept;
  void Clear() noexcept;

  IXMLNode FFirst;              // the entry while the list holds at most one
  std::vector<IXMLNode> FMore;  // all entries once it has held more
  std::size_t FSize = 0;
};

// The attributes of an element, in the order they were added.
class TXMLNamedNodeMap {
 public:
  int Length() const noexcept { return static_cast<int>(FItems.size()); }
  IXMLNode Item(int index) const noexcept;
  // The first entry with this name, or none.
  IXMLNode GetNamedItem(std::string_view name) const noexcept;
  // Replaces the entry with the same name in place, else appends; returns the replaced entry.
  IXMLNode SetNamedItem(const IXMLNode& node);
  IXMLNode RemoveNamedItem(std::string_view name);
  // Appends without looking at names (the parser adds each attribute before it knows its name).
  void Add(IXMLNode node) { FItems.push_back(std::move(node)); }

  auto begin() const noexcept { return FItems.begin(); }
  auto end() const noexcept { return FItems.end(); }

 private:
  std::vector<IXMLNode> FItems;
};

// Only a document creates nodes (in its pool; CreateXMLDoc creates the document): the key keeps
// the constructors out of other hands while leaving them public for the allocation helpers.
class TXMLNodeKey {
  friend class TXMLDocument;
  friend TXMLRef<TXMLDocument> CreateXMLDoc();
  TXMLNodeKey() = default;
};

class TXMLNode : public TXMLRefCounted {
 public:
  TXMLNode(const TXMLNode&) = delete;
  TXMLNode& operator=(const TXMLNode&) = delete;
  virtual ~TXMLNode();

  // Created empty on first access.
  TXMLNamedNodeMap& Attributes();
  // Created empty on first access, released again when RemoveChild empties it.
  const TXMLNodeList& ChildNodes();
  bool HasChildNodes() const noexcept { return !FChildNodes.Empty(); }
  // The lists when they exist, without creating them.
  const TXMLNodeList* ChildListOrNull() const noexcept { return FHasChildList ? &FChildNodes : nullptr; }
  const TXMLNamedNodeMap* AttributesOrNull() const noexcept { return FAttributes.get(); }

  virtual const std::string& NodeName() const noexcept = 0;
  TNodeType NodeType() const noexcept { return FNodeType; }
  // Elements and the document have no value: reading gives the empty string, writing raises
  // EXMLException (NO_MODIFICATION_ALLOWED_ERR, MSG_E_NODETYPE).
  virtual const std::string& NodeValue() const noexcept;
  virtual void SetNodeValue(std::string_view value);

  // None for the document itself.
  TXMLDocument* OwnerDocument() const noexcept { return FOwnerDocument; }
  // None for the document and for nodes not appended anywhere.
  TXMLNode* ParentNode() const noexcept { return FParentNode; }

  // Moves newChild to the end of this node's children (out of its old parent first).
  IXMLNode AppendChild(const IXMLNode& newChild);
  IXMLNode RemoveChild(const IXMLNode& oldChild);

  // Path selection; syntax errors raise EXMLXPath.
  IXMLNode SelectSingleNode(std::string_view pattern);
  TXMLNodeList SelectNodes(std::string_view pattern);

  // The compact rendering of this node and everything below it.
  std::string XML() const;

 protected:
  TXMLNode(TXMLDocument* ownerDocument, TNodeType nodeType) noexcept
      : FNodeType(nodeType), FOwnerDocument(ownerDocument) {}
  void Destroy() noexcept override;
  void DetachChildren() noexcept;
  // The dictionary of the document this node belongs to.
  const TDictionary& Names() const noexcept;
  TDictionary& MutableNames() noexcept;

 private:
  friend class TXMLParser;
  friend class TXMLDocument;
  // The document this node belongs to: its owner, or itself for a document.
  const TXMLDocument* HomeDocument() const noexcept;

  // The small fields first: they share a word with the reference count.
  TNodeType FNodeType;
  bool FHasChildList = false;  // whether the child list has been created (and not released)
  uint16_t FAllocSize = 0;
  TXMLDocument* FOwnerDocument;     // owned by the caller's reference to the document
  TXMLNode* FParentNode = nullptr;  // owned by nobody here: the parent holds us, not the reverse
  TXMLNodePool* FPool = nullptr;    // where our memory came from (one of its references), or none
  TXMLNodeList FChildNodes;         // held inline
  std::unique_ptr<TXMLNamedNodeMap> FAttributes;
};

class TXMLElement final : public TXMLNode {
 public:
  TXMLElement(TXMLNodeKey, TXMLDocument* ownerDocument, int tagNameId) noexcept
      : TXMLNode(ownerDocument, TNodeType::ELEMENT_NODE), FTagNameId(tagNameId) {}

  const std::string& NodeName() const noexcept override { return TagName(); }
  const std::string& TagName() const noexcept { return Names().Get(FTagNameId); }
  int TagNameId() const noexcept { return FTagNameId; }

  // The value of the first attribute with this name, or the empty string.
  const std::string& GetAttribute(std::string_view name) const noexcept;
  void SetAttribute(std::string_view name, std::string_view value);

 private:
  friend class TXMLParser;
  int FTagNameId;
};

class TXMLAttr final : public TXMLNode {
 public:
  TXMLAttr(TXMLNodeKey, TXMLDocument* ownerDocument, int nameId) noexcept
      : TXMLNode(ownerDocument, TNodeType::ATTRIBUTE_NODE), FNameId(nameId) {}

  const std::string& NodeName() const noexcept override { return Name(); }
  const std::string& Name() const noexcept { return Names().Get(FNameId); }
  int NameId() const noexcept { return FNameId; }
  const std::string& NodeValue() const noexcept override { return Names().Get(FValueId); }
  void SetNodeValue(std::string_view value) override;
  const std::string& Value() const noexcept { return NodeValue(); }
  void SetValue(std::string_view value) { SetNodeValue(value); }

 private:
  friend class TXMLParser;
  int FNameId;
  int FValueId = -1;
};

// Text, CDATA sections, comments and document types hold their value as a plain string.
class TXMLCharacterData : public TXMLNode {
 public:
  const std::string& NodeValue() const noexcept override { return FNodeValue; }
  // Text, comment and document type store the value with line ends normalised to LF.
  void SetNodeValue(std::string_view value) override;
  const std::string& Data() const noexcept { return FNodeValue; }

 protected:
  TXMLCharacterData(TXMLDocument* ownerDocument, TNodeType nodeType) noexcept : TXMLNode(ownerDocument, nodeType) {}

 private:
  friend class TXMLParser;
  std::string FNodeValue;
};

class TXMLText final : public TXMLCharacterData {
 public:
  TXMLText(TXMLNodeKey, TXMLDocument* ownerDocument) noexcept
      : TXMLCharacterData(ownerDocument, TNodeType::TEXT_NODE) {}
  const std::string& NodeName() const noexcept override;
};

// Stores its value unchanged but refuses one containing "]]>" (MSG_E_CDATACLOSE).
class TXMLCDATASection final : public TXMLCharacterData {
 public:
  TXMLCDATASection(TXMLNodeKey, TXMLDocument* ownerDocument) noexcept
      : TXMLCharacterData(ownerDocument, TNodeType::CDATA_SECTION_NODE) {}
  const std::string& NodeName() const noexcept override;
};

class TXMLComment final : public TXMLCharacterData {
 public:
  TXMLComment(TXMLNodeKey, TXMLDocument* ownerDocument) noexcept
      : TXMLCharacterData(ownerDocument, TNodeType::COMMENT_NODE) {}
  const std::string& NodeName() const noexcept override;
};

class TXMLDocumentType final : public TXMLCharacterData {
 public:
  TXMLDocumentType(TXMLNodeKey, TXMLDocument* ownerDocument) noexcept
      : TXMLCharacterData(ownerDocument, TNodeType::DOCUMENT_TYPE_NODE) {}
  const std::string& NodeName() const noexcept override;
};

class TXMLProcessingInstruction final : public TXMLNode {
 public:
  TXMLProcessingInstruction(TXMLNodeKey, TXMLDocument* ownerDocument, std::string target, std::string data) noexcept
      : TXMLNode(ownerDocument, TNodeType::PROCESSING_INSTRUCTION_NODE),
        FTarget(std::move(target)),
        FData(std::move(data)) {}

  const std::string& NodeName() const noexcept override { return FTarget; }
  const std::string& NodeValue() const noexcept override { return FData; }
  void SetNodeValue(std::string_view value) override { FData.assign(value); }
  const std::string& Target() const noexcept { return FTarget; }
  const std::string& Data() const noexcept { return FData; }

 private:
  friend class TXMLParser;
  std::string FTarget;
  std::string FData;
};

// The record of the last failed load.
class TXMLParseError {
 public:
  int32_t ErrorCode() const noexcept { return FErrorCode; }
  int32_t FilePos() const noexcept { return FFilePos; }
  int32_t Line() const noexcept { return FLine; }
  int32_t LinePos() const noexcept { return FLinePos; }
  const std::string& Reason() const noexcept { return FReason; }
  const std::string& SrcText() const noexcept { return FSrcText; }
  const std::string& URL() const noexcept { return FURL; }

 private:
  friend class TXMLParser;
  int32_t FErrorCode = 0;
  int32_t FFilePos = 0;
  int32_t FLine = 0;
  int32_t FLinePos = 0;
  std::string FReason;
  std::string FSrcText;
  std::string FURL;
};

class TXMLDocument final : public TXMLNode {
 public:
  explicit TXMLDocument(TXMLNodeKey);
  ~TXMLDocument() override;

  const std::string& NodeName() const noexcept override;

  // The document-type node of the last load, or none.
  IXMLDocumentType DocType() const noexcept { return FDocType; }
  // The first child that is an element, or none.
  IXMLElement DocumentElement() const noexcept;
  bool PreserveWhiteSpace() const noexcept { return FPreserveWhiteSpace; }
  void SetPreserveWhiteSpace(bool preserve) noexcept { FPreserveWhiteSpace = preserve; }

  // New, unattached nodes owned by this document. Names and targets are not validated.
  IXMLElement CreateElement(std::string_view tagName);
  IXMLAttr CreateAttribute(std::string_view name);
  IXMLText CreateTextNode(std::string_view data);
  IXMLCDATASection CreateCDATASection(std::string_view data);
  IXMLComment CreateComment(std::string_view data);
  IXMLDocumentType CreateDocType(std::string_view data);
  IXMLProcessingInstruction CreateProcessingInstruction(std::string_view target, std::string_view data);

  // Replaces the children by the parse of `xml` (UTF-8). True when the whole text parsed; False
  // after a syntax error, with ParseError filled and the nodes read so far kept. Other errors
  // (text that is not UTF-8, "Invalid node %s") propagate.
  bool LoadXML(std::string_view xml);
  const TXMLParseError& ParseError() const noexcept { return FParseError; }

  TDictionary& Dictionary() noexcept { return FDictionary; }
  const TDictionary& Dictionary() const noexcept { return FDictionary; }

 private:
  friend class TXMLNode;
  friend class TXMLParser;
  void RemoveAllChildren() noexcept;
  // A node of this document in the document's pool.
  template <typename T, typename... Args>
  TXMLRef<T> NewNode(Args&&... args) {
    void* memory = FNodePool->Allocate(sizeof(T));
    T* node;
    try {
      node = ::new (memory) T(TXMLNodeKey{}, this, std::forward<Args>(args)...);
    } catch (...) {
      FNodePool->Deallocate(memory, sizeof(T));
      throw;
    }
    node->FPool = FNodePool.get();
    node->FAllocSize = static_cast<uint16_t>(sizeof(T));
    FNodePool->AddRef();
    return TXMLRef<T>(node);
  }

  TXMLRef<TXMLNodePool> FNodePool;

  bool FPreserveWhiteSpace = true;
  TXMLParseError FParseError;
  IXMLDocumentType FDocType;
  TDictionary FDictionary;
};

IXMLDocument CreateXMLDoc();

}  // namespace kestova
