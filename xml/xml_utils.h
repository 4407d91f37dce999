#pragma once
// Convenience accessors over the document model: find, create and fill named child elements.
// Errors of these helpers raise EXMLUtils. Same threading rules as the document model.
#include <string>
#include <string_view>

#include "xml/xml_dom.h"

namespace kestova {

bool IsDocument(const IXMLNode& node) noexcept;
// The node itself when it is a document, else its owner document.
IXMLDocument OwnerDocument(const IXMLNode& node);
// The first child of the owner document that is an element, or none.
IXMLElement DocumentElement(const IXMLNode& node);

// The first child whose type is TEXT_NODE (a CDATA section does not count), or none.
IXMLNode GetTextChild(const IXMLNode& node);
// Removes every text child of `node`, then appends one new text node holding `value`.
void SetTextChild(const IXMLNode& node, std::string_view value);

// Starts at the document element when parentNode is a document that has one, else at
// parentNode: an empty tag gives the start node, a tag equal to the start node's name the start
// node itself, any other tag the start node's SelectSingleNode(tag) (so it may be a path).
IXMLNode SelectNode(const IXMLNode& parentNode, std::string_view nodeTag);
// SelectNode, or AppendNode when that finds nothing.
IXMLNode EnsureNode(const IXMLNode& parentNode, std::string_view nodeTag);
// A new element nodeTag appended to SelectNode(parentNode, "").
IXMLNode AppendNode(const IXMLNode& parentNode, std::string_view nodeTag);

// False (nodeText untouched) when the element is missing; else its text child's value, or the
// empty string without one.
bool GetNodeText(const IXMLNode& parentNode, std::string_view nodeTag, std::string& nodeText);
// Raises EXMLUtils "GetNodeTextStr: No text in the the %s node" when the element is missing.
std::string GetNodeTextStr(const IXMLNode& parentNode, std::string_view nodeTag);
// EnsureNode, then SetTextChild on it; returns the ensured node.
IXMLNode SetNodeText(const IXMLNode& parentNode, std::string_view nodeTag, std::string_view value);
IXMLNode SetNodeTextStr(const IXMLNode& parentNode, std::string_view nodeTag, std::string_view value);

}  // namespace kestova
