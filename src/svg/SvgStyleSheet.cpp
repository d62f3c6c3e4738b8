#include "SvgStyleSheet.h"

#include <algorithm>
#include <tuple>

#include "SvgDocument.h"
#include "SvgText.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::string WithoutComments(std::string_view css) {
  std::string text;
  text.reserve(css.size());
  for (std::size_t i = 0; i < css.size();) {
    if (css.compare(i, 2, "/*") == 0) {
      const auto end = css.find("*/", i + 2);
      if (end == std::string_view::npos)
        break;
      i = end + 2;
      text += ' ';
    } else {
      text += css[i++];
    }
  }
  return text;
}

// Selectors longer than this are not matched: the descendant search could
// otherwise try every combination of ancestors.
constexpr std::size_t MaxCompounds = 32;

} // namespace

std::vector<TCssDeclaration> ParseCssDeclarations(std::string_view text) {
  std::vector<TCssDeclaration> result;
  std::size_t start = 0;
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ';';
    if (quote) {
      quote = c == quote ? 0 : quote;
      if (i < text.size())
        continue;
    } else if (c == '"' || c == '\'') {
      quote = c;
      continue;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      depth = std::max(0, depth - 1);
    }
    if (c != ';' || (depth > 0 && i < text.size()))
      continue;
    const std::string_view piece = text.substr(start, i - start);
    start = i + 1;
    const auto colon = piece.find(':');
    if (colon == std::string_view::npos)
      continue;
    TCssDeclaration declaration;
    declaration.Name = std::string(Trim(piece.substr(0, colon)));
    std::string_view value = Trim(piece.substr(colon + 1));
    if (const auto bang = value.rfind('!'); bang != std::string_view::npos) {
      std::string word(Trim(value.substr(bang + 1)));
      for (char &w : word)
        w = static_cast<char>(w >= 'A' && w <= 'Z' ? w - 'A' + 'a' : w);
      if (word == "important") {
        declaration.Important = true;
        value = Trim(value.substr(0, bang));
      }
    }
    declaration.Value = std::string(value);
    if (!declaration.Name.empty())
      result.push_back(std::move(declaration));
  }
  return result;
}

std::vector<std::string_view> SplitClasses(std::string_view text) {
  std::vector<std::string_view> result;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i]))
      ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i]))
      ++i;
    if (i > start)
      result.push_back(text.substr(start, i - start));
  }
  return result;
}

void TSvgStyleSheet::Add(std::string_view css) {
  const std::string text = WithoutComments(css);
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i]))
      ++i;
    if (i >= text.size())
      break;
    if (text.compare(i, 4, "<!--") == 0 || text.compare(i, 3, "-->") == 0) {
      i += text[i] == '<' ? 4 : 3;
      continue;
    }
    const auto open = text.find('{', i);
    if (text[i] == '@') {
      // At-rules (media queries, imports, font faces) are not applied.
      const auto semicolon = text.find(';', i);
      ++FSkipped;
      if (open == std::string::npos || (semicolon != std::string::npos && semicolon < open)) {
        i = semicolon == std::string::npos ? text.size() : semicolon + 1;
        continue;
      }
      int depth = 0;
      for (i = open; i < text.size(); ++i) {
        depth += text[i] == '{' ? 1 : text[i] == '}' ? -1 : 0;
        if (depth == 0)
          break;
      }
      ++i;
      continue;
    }
    if (open == std::string::npos)
      break;
    const auto close = text.find('}', open + 1);
    const std::string_view selectors = std::string_view(text).substr(i, open - i);
    const std::string_view block = std::string_view(text).substr(
        open + 1, (close == std::string::npos ? text.size() : close) - open - 1);
    i = close == std::string::npos ? text.size() : close + 1;

    auto declarations = ParseCssDeclarations(block);
    if (declarations.empty())
      continue;
    const std::size_t declarationIndex = FDeclarations.size();
    bool used = false;
    std::size_t start = 0;
    for (std::size_t j = 0; j <= selectors.size(); ++j) {
      if (j < selectors.size() && selectors[j] != ',')
        continue;
      const std::string_view selector = Trim(selectors.substr(start, j - start));
      start = j + 1;
      if (selector.empty())
        continue;
      if (FRules.size() >= MaxCssRules) {
        ++FSkipped;
        continue;
      }
      TRule rule;
      bool valid = true, child = false;
      std::size_t k = 0;
      std::uint32_t ids = 0, classes = 0, types = 0;
      while (k < selector.size() && valid) {
        if (IsBlank(selector[k])) {
          ++k;
          continue;
        }
        if (selector[k] == '>') {
          child = true;
          ++k;
          continue;
        }
        TCompound compound;
        compound.Child = child && !rule.Compounds.empty();
        child = false;
        const std::size_t compoundStart = k;
        while (k < selector.size() && !IsBlank(selector[k]) && selector[k] != '>') {
          const char c = selector[k];
          if (c == '*' && k == compoundStart) {
            ++k;
            continue;
          }
          if (c != '.' && c != '#' && !(IsNameChar(c) && k == compoundStart)) {
            valid = false;
            break;
          }
          const std::size_t nameStart = c == '.' || c == '#' ? k + 1 : k;
          std::size_t end = nameStart;
          while (end < selector.size() && IsNameChar(selector[end]))
            ++end;
          if (end == nameStart) {
            valid = false;
            break;
          }
          const std::string name(selector.substr(nameStart, end - nameStart));
          if (c == '.') {
            compound.Classes.push_back(name);
            ++classes;
          } else if (c == '#') {
            compound.Id = name;
            ++ids;
          } else {
            compound.Type = name;
            ++types;
          }
          k = end;
        }
        rule.Compounds.push_back(std::move(compound));
      }
      if (!valid || rule.Compounds.empty() || rule.Compounds.size() > MaxCompounds || child) {
        ++FSkipped;
        continue;
      }
      rule.Specificity =
          std::min(ids, 255u) << 16 | std::min(classes, 255u) << 8 | std::min(types, 255u);
      rule.Order = FRules.size();
      rule.Declarations = declarationIndex;
      FRules.push_back(std::move(rule));
      Index(FRules.size() - 1);
      used = true;
    }
    if (used)
      FDeclarations.push_back(std::move(declarations));
  }
}

void TSvgStyleSheet::Index(std::size_t rule) {
  const TCompound &last = FRules[rule].Compounds.back();
  if (!last.Id.empty())
    FById[last.Id].push_back(rule);
  else if (!last.Classes.empty())
    FByClass[last.Classes.front()].push_back(rule);
  else if (!last.Type.empty())
    FByType[last.Type].push_back(rule);
  else
    FAny.push_back(rule);
}

bool TSvgStyleSheet::MatchesCompound(const TSvgDocument &document, const TCompound &compound,
                                     std::uint32_t element) {
  const TSvgNode &node = document.Node(element);
  if (!compound.Type.empty() && compound.Type != node.Name)
    return false;
  if (!compound.Id.empty()) {
    const std::string *id = node.Find("id");
    if (!id || TrimText(*id) != compound.Id)
      return false;
  }
  if (!compound.Classes.empty()) {
    const std::string *attribute = node.Find("class");
    if (!attribute)
      return false;
    const auto classes = SplitClasses(*attribute);
    for (const auto &wanted : compound.Classes)
      if (std::find(classes.begin(), classes.end(), wanted) == classes.end())
        return false;
  }
  return true;
}

bool TSvgStyleSheet::Matches(const TSvgDocument &document, const TRule &rule, std::size_t compound,
                             std::uint32_t element) const {
  if (!MatchesCompound(document, rule.Compounds[compound], element))
    return false;
  if (compound == 0)
    return true;
  if (rule.Compounds[compound].Child)
    return element != 0 && Matches(document, rule, compound - 1, document.Node(element).Parent);
  for (std::uint32_t a = element; a != 0;) {
    a = document.Node(a).Parent;
    if (Matches(document, rule, compound - 1, a))
      return true;
  }
  return false;
}

std::vector<TCssDeclaration> TSvgStyleSheet::Match(const TSvgDocument &document,
                                                   std::uint32_t element) const {
  std::vector<std::size_t> candidates;
  const TSvgNode &node = document.Node(element);
  const auto add = [&](const auto &map, const std::string &key) {
    if (const auto it = map.find(key); it != map.end())
      candidates.insert(candidates.end(), it->second.begin(), it->second.end());
  };
  if (const std::string *id = node.Find("id"))
    add(FById, std::string(TrimText(*id)));
  if (const std::string *attribute = node.Find("class"))
    for (const auto &name : SplitClasses(*attribute))
      add(FByClass, std::string(name));
  add(FByType, node.Name);
  candidates.insert(candidates.end(), FAny.begin(), FAny.end());
  if (candidates.empty())
    return {};
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

  struct TWinner {
    const TCssDeclaration *Declaration;
    std::tuple<bool, std::uint32_t, std::size_t> Rank;
  };
  std::vector<TWinner> winners;
  for (const std::size_t r : candidates) {
    const TRule &rule = FRules[r];
    if (!Matches(document, rule, rule.Compounds.size() - 1, element))
      continue;
    for (const auto &declaration : FDeclarations[rule.Declarations]) {
      const auto rank = std::make_tuple(declaration.Important, rule.Specificity, rule.Order);
      auto it = std::find_if(winners.begin(), winners.end(), [&](const TWinner &w) {
        return w.Declaration->Name == declaration.Name;
      });
      if (it == winners.end())
        winners.push_back({&declaration, rank});
      else if (!(rank < it->Rank))
        *it = {&declaration, rank};
    }
  }
  std::vector<TCssDeclaration> result;
  result.reserve(winners.size());
  for (const auto &w : winners)
    result.push_back(*w.Declaration);
  return result;
}
