#pragma once
// The document object model: a document and its nodes, shared through reference-counted
// pointers (the I-names). A parent's child list holds its children; the owner document and the
// parent are plain back references that keep nothing alive, so a caller keeps the document
// alive for as long as it uses any of its nodes.
//
// Threads: a document and its nodes are used by one thread at a time; nothing here locks.
// Different documents are independent and may be used on different threads at once.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/dictionary.h"
#include "xml/xml_exception.h"

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

using IXMLNode = std::shared_ptr<TXMLNode>;
using IXMLDocument = std::shared_ptr<TXMLDocument>;
using IXMLElement = std::shared_ptr<TXMLElement>;
using IXMLAttr = std::shared_ptr<TXMLAttr>;
using IXMLCharacterData = std::shared_ptr<TXMLCharacterData>;
using IXMLText = std::shared_ptr<TXMLText>;
using IXMLCDATASection = std::shared_ptr<TXMLCDATASection>;
using IXMLComment = std::shared_ptr<TXMLComment>;
using IXMLDocumentType = std::shared_ptr<TXMLDocumentType>;
using IXMLProcessingInstruction = std::shared_ptr<TXMLProcessingInstruction>;

// An ordered list of nodes: a node's children, or the result of a path selection.
class TXMLNodeList {
 public:
  int Length() const noexcept { return static_cast<int>(FItems.size()); }
  // 0-based; none outside the list.
  IXMLNode Item(int index) const noexcept;
  int IndexOf(const TXMLNode* node) const noexcept;
  void Add(IXMLNode node) { FItems.push_back(std::move(node)); }

  auto begin() const noexcept { return FItems.begin(); }
  auto end() const noexcept { return FItems.end(); }

 private:
  friend class TXMLNode;
  friend class TXMLParser;
  std::vector<IXMLNode> FItems;
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

// Only a document creates nodes; the key keeps the constructors out of other hands while
// still letting std::make_shared call them.
class TXMLNodeKey {
  friend class TXMLDocument;
  friend class TXMLParser;
  friend std::shared_ptr<TXMLDocument> CreateXMLDoc();
  TXMLNodeKey() = default;
};

class TXMLNode : public std::enable_shared_from_this<TXMLNode> {
 public:
  TXMLNode(const TXMLNode&) = delete;
  TXMLNode& operator=(const TXMLNode&) = delete;
  virtual ~TXMLNode();

  // Created empty on first access.
  TXMLNamedNodeMap& Attributes();
  // Created empty on first access, released again when RemoveChild empties it.
  const TXMLNodeList& ChildNodes();
  bool HasChildNodes() const noexcept { return FChildNodes && !FChildNodes->FItems.empty(); }
  // The lists when they exist, without creating them.
  const TXMLNodeList* ChildListOrNull() const noexcept { return FChildNodes.get(); }
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
      : FOwnerDocument(ownerDocument), FNodeType(nodeType) {}
  void DetachChildren() noexcept;
  // The dictionary of the document this node belongs to.
  const TDictionary& Names() const noexcept;
  TDictionary& MutableNames() noexcept;

 private:
  friend class TXMLParser;
  // The document this node belongs to: its owner, or itself for a document.
  const TXMLDocument* HomeDocument() const noexcept;

  TXMLDocument* FOwnerDocument;  // owned by the caller's reference to the document
  TXMLNode* FParentNode = nullptr;  // owned by nobody here: the parent holds us, not the reverse
  TNodeType FNodeType;
  std::unique_ptr<TXMLNodeList> FChildNodes;
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

  bool FPreserveWhiteSpace = true;
  TXMLParseError FParseError;
  IXMLDocumentType FDocType;
  TDictionary FDictionary;
};

IXMLDocument CreateXMLDoc();

}  // namespace kestova
