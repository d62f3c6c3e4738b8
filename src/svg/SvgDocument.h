#pragma once
// An SVG document as a tree of elements, parsed once: references (<use>,
// clip paths, gradients) need elements that come later in the file.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct TSvgNode {
  // Local name without prefix; empty for a run of character data.
  std::string Name;
  // Qualified names ("xlink:href") with their values, in document order.
  std::vector<std::pair<std::string, std::string>> Attributes;
  // Character data: kept only inside <style>, <text> and their children.
  std::string Text;
  std::vector<std::uint32_t> Children;
  std::uint32_t Parent = 0;
  std::int64_t Line = 0;

  const std::string *Find(std::string_view name) const {
    for (const auto &[key, value] : Attributes)
      if (key == name)
        return &value;
    return nullptr;
  }
  bool IsText() const { return Name.empty(); }
};

class TSvgDocument {
public:
  // Parses the whole document; errors are TReadError with the user's message
  // (the parser's own for XML that is not well-formed).
  explicit TSvgDocument(std::string_view bytes);

  // Node 0 is the root element.
  const TSvgNode &Node(std::uint32_t index) const { return FNodes[index]; }
  std::size_t Size() const { return FNodes.size(); }
  // The element with this id, the first one when several share it.
  const TSvgNode *ById(std::string_view id, std::uint32_t *index = nullptr) const;
  // The element a reference names: "#id" or "url(#id)" (quotes allowed).
  const TSvgNode *ByReference(std::string_view reference, std::uint32_t *index = nullptr) const;

private:
  std::vector<TSvgNode> FNodes;
  std::unordered_map<std::string, std::uint32_t> FIds;
};

// The id a reference names, without "#", "url(" and quotes; empty when the
// text is no local reference.
std::string_view ReferenceId(std::string_view reference);
