#pragma once
// The small path language of SelectNodes and SelectSingleNode.
//
// A pattern is a list of steps separated by "/"; a leading "/" starts at the document, "//"
// before a step searches all descendants instead of the children. A step is ".", "name", "*",
// "@name" or "@*", optionally followed by one predicate: [n] (1-based), [@attr] or
// [@attr=value]. Names compare case-sensitively; duplicates are kept.
//
// Evaluation is iterative (descendants are walked with an explicit stack), so neither the
// depth of the tree nor the length of the pattern can exhaust the call stack. Syntax errors,
// which raise EXMLXPath, are found before anything is evaluated.
#include <string_view>

#include "xml/xml_dom.h"

namespace kestova {

class TXMLXPathEvaluator {
 public:
  static TXMLNodeList Evaluate(TXMLNode& context, std::string_view pattern);
  // The first node of the selection, or none.
  static IXMLNode EvaluateFirst(TXMLNode& context, std::string_view pattern);
};

}  // namespace kestova
