#include "xml/xml_xpath.h"

#include <limits>
#include <vector>

#include "platform/ascii_text.h"
#include "platform/format.h"

namespace kestova {
namespace {

enum class TStepKind : uint8_t { skSelf, skElement, skAnyElement, skAttribute, skAnyAttribute };
enum class TPredicateKind : uint8_t { pkNone, pkIndex, pkHasAttribute, pkAttributeEquals };

struct TStep {
  TStepKind Kind = TStepKind::skElement;
  bool ScanTree = false;  // pefScanTree: all descendants instead of the children
  std::string_view Name;
  TPredicateKind Predicate = TPredicateKind::pkNone;
  std::size_t Index = 0;
  std::string_view AttrName;
  std::string_view AttrValue;
};

// An optionally signed decimal integer, saturating far beyond any list length.
bool ParseInteger(std::string_view s, long long& value) {
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    if (v < std::numeric_limits<int>::max()) v = v * 10 + (c - '0');
  }
  value = negative ? -v : v;
  return true;
}

void ParsePredicate(std::string_view predicate, TStep& step) {
  const std::string_view text = TrimBlanks(predicate);
  long long index = 0;
  if (ParseInteger(text, index)) {
    if (index <= 0) throw EXMLXPath(Format("Invalid predicate [%s]", std::string(predicate)));
    step.Predicate = TPredicateKind::pkIndex;
    step.Index = static_cast<std::size_t>(index);
    return;
  }
  if (!text.empty() && text.front() == '@') {
    const std::string_view rest = text.substr(1);
    const std::size_t eq = rest.find('=');
    step.AttrName = TrimBlanks(rest.substr(0, eq));
    if (!step.AttrName.empty()) {
      if (eq == std::string_view::npos) {
        step.Predicate = TPredicateKind::pkHasAttribute;
        return;
      }
      std::string_view value = TrimBlanks(rest.substr(eq + 1));
      if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      step.Predicate = TPredicateKind::pkAttributeEquals;
      step.AttrValue = value;
      return;
    }
  }
  throw EXMLXPath(Format("Unsupported predicate [%s]", std::string(predicate)));
}

// `text` is the step as written; `position` is where it starts in the pattern (0-based).
TStep ParseStep(std::string_view text, std::size_t position, bool scanTree) {
  TStep step;
  step.ScanTree = scanTree;
  const std::size_t open = text.find('[');
  const std::size_t close = text.find(']');
  std::string_view name = text;
  if (close != std::string_view::npos && (open == std::string_view::npos || close < open))
    throw EXMLXPath(Format("Invalid syntax at position %d", static_cast<int>(position + close + 1)));
  if (open != std::string_view::npos) {
    if (text.back() != ']')
      throw EXMLXPath(Format("Invalid syntax at position %d", static_cast<int>(position + open + 1)));
    name = text.substr(0, open);
    ParsePredicate(text.substr(open + 1, text.size() - open - 2), step);
  }
  if (name == ".") {
    step.Kind = TStepKind::skSelf;
    step.Predicate = TPredicateKind::pkNone;  // a predicate on "." is ignored
  } else if (name == "@*") {
    step.Kind = TStepKind::skAnyAttribute;
  } else if (!name.empty() && name.front() == '@') {
    step.Kind = TStepKind::skAttribute;
    step.Name = name.substr(1);
  } else if (name == "*") {
    step.Kind = TStepKind::skAnyElement;
  } else {
    step.Kind = TStepKind::skElement;
    step.Name = name;
  }
  return step;
}

std::vector<TStep> ParsePattern(std::string_view pattern) {
  std::vector<TStep> steps;
  std::size_t i = 0;
  const std::size_t n = pattern.size();
  bool atSeparator = pattern.front() == '/';
  while (true) {
    bool scanTree = false;
    if (atSeparator) {
      ++i;
      if (i < n && pattern[i] == '/') {
        scanTree = true;
        ++i;
      }
    }
    const std::size_t start = i;
    std::size_t end = pattern.find('/', i);
    if (end == std::string_view::npos) end = n;
    if (end == start) throw EXMLXPath(Format("Empty element at position %d", static_cast<int>(start + 1)));
    steps.push_back(ParseStep(pattern.substr(start, end - start), start, scanTree));
    if (end == n) break;
    i = end;
    atSeparator = true;
  }
  return steps;
}

const TXMLAttr* FindAttribute(const TXMLNode& node, std::string_view name) {
  const TXMLNamedNodeMap* attributes = node.AttributesOrNull();
  if (!attributes) return nullptr;
  for (const IXMLNode& attr : *attributes)
    if (attr->NodeName() == name) return static_cast<const TXMLAttr*>(attr.get());
  return nullptr;
}

bool Accepts(const TStep& step, const TXMLNode& node) {
  switch (step.Predicate) {
    case TPredicateKind::pkHasAttribute: return FindAttribute(node, step.AttrName) != nullptr;
    case TPredicateKind::pkAttributeEquals: {
      const TXMLAttr* attr = FindAttribute(node, step.AttrName);
      return attr && attr->Value() == step.AttrValue;
    }
    default: return true;
  }
}

class TStepRunner {
 public:
  TStepRunner(const TStep& step, TXMLNodeList& out) : FStep(step), FOut(out) {}

  void Run(TXMLNode& context) {
    FSeen = 0;
    switch (FStep.Kind) {
      case TStepKind::skSelf: FOut.Add(IXMLNode(&context)); return;
      case TStepKind::skAttribute:
      case TStepKind::skAnyAttribute:
        AddAttributes(context);
        if (FStep.ScanTree) WalkDescendants(context, [this](const IXMLNode& e) { AddAttributes(*e); });
        return;
      case TStepKind::skElement:
      case TStepKind::skAnyElement:
        if (FStep.ScanTree) {
          WalkDescendants(context, [this](const IXMLNode& e) { Consider(e); });
        } else if (const TXMLNodeList* children = context.ChildListOrNull()) {
          for (const IXMLNode& child : *children)
            if (child->NodeType() == TNodeType::ELEMENT_NODE) Consider(child);
        }
        return;
    }
  }

 private:
  // Each element below `root` in document order, without recursion.
  template <typename Visit>
  static void WalkDescendants(const TXMLNode& root, Visit visit) {
    struct TFrame {
      const TXMLNodeList* List;
      int Next;
    };
    std::vector<TFrame> stack;
    if (const TXMLNodeList* children = root.ChildListOrNull()) stack.push_back({children, 0});
    while (!stack.empty()) {
      TFrame& top = stack.back();
      if (top.Next >= top.List->Length()) {
        stack.pop_back();
        continue;
      }
      const IXMLNode& node = *(top.List->begin() + top.Next++);
      if (node->NodeType() != TNodeType::ELEMENT_NODE) continue;
      visit(node);
      if (const TXMLNodeList* children = node->ChildListOrNull()) stack.push_back({children, 0});
    }
  }

  void Consider(const IXMLNode& element) {
    if (FStep.Kind == TStepKind::skElement && element->NodeName() != FStep.Name) return;
    Offer(element);
  }

  void AddAttributes(const TXMLNode& node) {
    const TXMLNamedNodeMap* attributes = node.AttributesOrNull();
    if (!attributes) return;
    for (const IXMLNode& attr : *attributes)
      if (FStep.Kind == TStepKind::skAnyAttribute || attr->NodeName() == FStep.Name) Offer(attr);
  }

  // The predicate filters what one context node contributes.
  void Offer(const IXMLNode& node) {
    if (FStep.Predicate == TPredicateKind::pkIndex) {
      if (++FSeen == FStep.Index) FOut.Add(node);
      return;
    }
    if (Accepts(FStep, *node)) FOut.Add(node);
  }

  const TStep& FStep;
  TXMLNodeList& FOut;
  std::size_t FSeen = 0;
};

TXMLDocument& DocumentOf(TXMLNode& node) noexcept {
  return node.OwnerDocument() ? *node.OwnerDocument() : static_cast<TXMLDocument&>(node);
}

// A lone child step by name ("sender", "/msg"): no separator, predicate, attribute, wildcard
// or self step in it.
bool IsPlainName(std::string_view name) noexcept {
  if (name.empty() || name == "." || name == "*" || name.front() == '@') return false;
  for (char c : name)
    if (c == '/' || c == '[' || c == ']') return false;
  return true;
}

}  // namespace

IXMLNode TXMLXPathEvaluator::EvaluateFirst(TXMLNode& context, std::string_view pattern) {
  // The patterns the accessors use most are single child steps by name: walk the children
  // directly instead of building the selection. The result is the same node.
  TXMLNode* start = &context;
  std::string_view name = pattern;
  if (!name.empty() && name.front() == '/') {
    start = &DocumentOf(context);
    name.remove_prefix(1);
  }
  if (IsPlainName(name)) {
    if (const TXMLNodeList* children = start->ChildListOrNull())
      for (const IXMLNode& child : *children)
        if (child->NodeType() == TNodeType::ELEMENT_NODE && child->NodeName() == name) return child;
    return nullptr;
  }
  return Evaluate(context, pattern).Item(0);
}

TXMLNodeList TXMLXPathEvaluator::Evaluate(TXMLNode& context, std::string_view pattern) {
  TXMLNodeList current;
  if (pattern.empty()) return current;
  const std::vector<TStep> steps = ParsePattern(pattern);
  if (pattern.front() == '/') {
    current.Add(IXMLNode(&DocumentOf(context)));
  } else {
    current.Add(IXMLNode(&context));
  }
  for (const TStep& step : steps) {
    TXMLNodeList next;
    TStepRunner runner(step, next);
    for (const IXMLNode& node : current) runner.Run(*node);
    current = std::move(next);
  }
  return current;
}

}  // namespace kestova
