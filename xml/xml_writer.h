#pragma once
// Compact rendering of nodes: no line breaks, no indentation, nothing between nodes.
#include <string>
#include <string_view>

namespace kestova {

class TXMLNode;

// Appends the rendering of `node` and everything below it.
void RenderXML(const TXMLNode& node, std::string& out);

// Appends `text` with the five markup characters replaced by their named references;
// every other character, control characters included, is written unchanged.
void AppendEscaped(std::string_view text, std::string& out);

}  // namespace kestova
