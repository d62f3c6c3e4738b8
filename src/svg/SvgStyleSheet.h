#pragma once
// <style> sheets: rules with type, class, id, universal, descendant and
// child selectors, grouped by commas, ordered by importance, specificity
// and position.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TSvgDocument;

struct TCssDeclaration {
  std::string Name;
  std::string Value;
  bool Important = false;
};

// Rules beyond this many are not read: matching costs grow with them, and
// no drawing program writes that many classes.
constexpr std::size_t MaxCssRules = 100000;

class TSvgStyleSheet {
public:
  // Reads every rule of the text; what it cannot read it counts in
  // Skipped() and leaves out.
  void Add(std::string_view css);
  bool Empty() const { return FRules.empty(); }

  // The declarations that apply to the element, one per property, the
  // winning one each (importance, then specificity, then the later rule).
  std::vector<TCssDeclaration> Match(const TSvgDocument &document, std::uint32_t element) const;

  // Rules left out: selectors with attributes, pseudo-classes or other
  // combinators; at-rules; rules beyond MaxCssRules.
  std::size_t Skipped() const { return FSkipped; }

private:
  struct TCompound {
    std::string Type; // empty or "*": any
    std::string Id;
    std::vector<std::string> Classes;
    bool Child = false; // joined to the compound before it by ">"
  };
  struct TRule {
    std::vector<TCompound> Compounds; // leftmost first
    std::uint32_t Specificity = 0;
    std::size_t Order = 0;
    std::size_t Declarations = 0; // index into FDeclarations
  };

  bool Matches(const TSvgDocument &document, const TRule &rule, std::size_t compound,
               std::uint32_t element) const;
  static bool MatchesCompound(const TSvgDocument &document, const TCompound &compound,
                              std::uint32_t element);
  void Index(std::size_t rule);

  std::vector<TRule> FRules;
  std::vector<std::vector<TCssDeclaration>> FDeclarations;
  // Rules by what their rightmost compound needs, so an element is tested
  // against the few rules that can apply and not the whole sheet.
  std::unordered_map<std::string, std::vector<std::size_t>> FById, FByClass, FByType;
  std::vector<std::size_t> FAny;
  std::size_t FSkipped = 0;
};

// The entries of a declaration block or style attribute ("a: b; c: d
// !important"), names and values trimmed.
std::vector<TCssDeclaration> ParseCssDeclarations(std::string_view text);
// The classes of a class attribute.
std::vector<std::string_view> SplitClasses(std::string_view text);
