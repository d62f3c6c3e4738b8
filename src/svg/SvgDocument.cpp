#include "SvgDocument.h"

#include <algorithm>
#include <limits>
#include <map>

#include <QByteArray>
#include <QXmlStreamReader>

#include "SvgReader.h"
#include "SvgText.h"
#include "core/ReadResult.h"

namespace {

std::string LocalName(QStringView qualified) {
  const auto colon = qualified.lastIndexOf(u':');
  return (colon >= 0 ? qualified.mid(colon + 1) : qualified).toString().toStdString();
}

// Character data matters only where it is drawn or read as a style sheet;
// everywhere else it is indentation, and keeping it would double the tree.
bool KeepsText(const std::string &name) {
  return name == "style" || name == "text" || name == "tspan" || name == "textPath";
}

// Entity declarations are the one way a small document can grow without
// bound while it is parsed. Nested expansion of one entity is limited by the
// parser itself; what is checked here is the total: every "&" could be a
// reference to the largest entity. Where the entity names can be matched
// exactly (ASCII names in an ASCII-compatible encoding) only real
// references count.
class TEntityCheck {
public:
  TEntityCheck(const QXmlStreamEntityDeclarations &declarations, std::string_view bytes) {
    for (const auto &declaration : declarations)
      if (declaration.systemId().isEmpty() && declaration.publicId().isEmpty())
        FValues[declaration.name().toString().toStdString()] =
            declaration.value().toString().toStdString();
    FBytes = bytes;
  }

  void Run() {
    if (FValues.empty())
      return;
    std::size_t largest = 1;
    bool asciiNames = true;
    for (const auto &[name, value] : FValues) {
      largest = std::max(largest, Expansion(name, 0));
      asciiNames = asciiNames && std::all_of(name.begin(), name.end(), [](char c) {
                     return static_cast<unsigned char>(c) < 128;
                   });
    }
    const bool wide = FBytes.size() >= 2 && (FBytes[0] == '\0' || FBytes[1] == '\0');
    std::size_t total = 0;
    if (asciiNames && !wide) {
      for (std::size_t i = FBytes.find('&'); i != std::string_view::npos;
           i = FBytes.find('&', i + 1)) {
        const std::size_t end = FBytes.find(';', i + 1);
        if (end == std::string_view::npos)
          break;
        const auto it = FValues.find(std::string(FBytes.substr(i + 1, end - i - 1)));
        total = Add(total, it == FValues.end() ? 1 : Expansion(it->first, 0));
      }
    } else {
      const auto ampersands =
          static_cast<std::size_t>(std::count(FBytes.begin(), FBytes.end(), '&'));
      total = ampersands > MaxEntityExpansion / largest ? Unbounded : ampersands * largest;
    }
    if (total > MaxEntityExpansion)
      throw TReadError("The document's entities expand too far");
  }

private:
  static constexpr std::size_t Unbounded = std::numeric_limits<std::size_t>::max();

  static std::size_t Add(std::size_t a, std::size_t b) {
    return a > Unbounded - b ? Unbounded : a + b;
  }

  // Characters the entity expands to; references to unknown names count
  // their own text, a cycle or an absurd depth counts as unbounded.
  std::size_t Expansion(const std::string &name, int depth) {
    if (const auto known = FExpansion.find(name); known != FExpansion.end())
      return known->second;
    if (depth > 64)
      return Unbounded;
    FExpansion[name] = Unbounded; // a cycle finds this
    const std::string &value = FValues[name];
    std::size_t length = 0;
    for (std::size_t i = 0; i < value.size();) {
      const std::size_t end = value[i] == '&' ? value.find(';', i + 1) : std::string::npos;
      if (end != std::string::npos) {
        const std::string inner = value.substr(i + 1, end - i - 1);
        length = Add(length, FValues.count(inner) ? Expansion(inner, depth + 1) : end - i + 1);
        i = end + 1;
      } else {
        length = Add(length, 1);
        ++i;
      }
    }
    FExpansion[name] = length;
    return length;
  }

  std::map<std::string, std::string> FValues;
  std::map<std::string, std::size_t> FExpansion;
  std::string_view FBytes;
};

} // namespace

// The whole document is parsed before anything is drawn: a document that is
// not well-formed fails at once with the parser's message, before any costly
// geometry. Depth is checked only once the document is known to be sound, so
// a broken file gets the parser's message first.
TSvgDocument::TSvgDocument(std::string_view bytes) {
  QXmlStreamReader xml(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
  // Prefixed names are matched by their local part, declared or not.
  xml.setNamespaceProcessing(false);
  std::vector<std::uint32_t> open; // the elements being read, innermost last
  int skipped = 0;                 // elements below the depth limit
  bool tooDeep = false, tooMany = false;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::DTD) {
      TEntityCheck(xml.entityDeclarations(), bytes).Run();
    } else if (token == QXmlStreamReader::StartElement) {
      if (!FNodes.empty() && open.empty())
        continue; // the parser reports the second root itself
      if (skipped > 0 || static_cast<int>(open.size()) >= MaxSvgDepth ||
          FNodes.size() >= MaxSvgElements) {
        tooDeep = tooDeep || static_cast<int>(open.size()) >= MaxSvgDepth;
        tooMany = tooMany || FNodes.size() >= MaxSvgElements;
        ++skipped;
        continue;
      }
      TSvgNode node;
      node.Name = LocalName(xml.qualifiedName());
      node.Line = xml.lineNumber();
      const auto attributes = xml.attributes();
      node.Attributes.reserve(static_cast<std::size_t>(attributes.size()));
      for (const auto &attribute : attributes)
        node.Attributes.emplace_back(attribute.qualifiedName().toString().toStdString(),
                                     attribute.value().toString().toStdString());
      const auto index = static_cast<std::uint32_t>(FNodes.size());
      if (!open.empty()) {
        node.Parent = open.back();
        FNodes[open.back()].Children.push_back(index);
      }
      FNodes.push_back(std::move(node));
      open.push_back(index);
    } else if (token == QXmlStreamReader::EndElement) {
      if (skipped > 0)
        --skipped;
      else if (!open.empty())
        open.pop_back();
    } else if (token == QXmlStreamReader::Characters && skipped == 0 && !open.empty() &&
               KeepsText(FNodes[open.back()].Name)) {
      const std::uint32_t parent = open.back();
      auto &children = FNodes[parent].Children;
      const std::string text = xml.text().toString().toStdString();
      if (!children.empty() && FNodes[children.back()].IsText()) {
        FNodes[children.back()].Text += text;
      } else {
        TSvgNode node;
        node.Text = text;
        node.Parent = parent;
        node.Line = xml.lineNumber();
        children.push_back(static_cast<std::uint32_t>(FNodes.size()));
        FNodes.push_back(std::move(node));
      }
    }
  }
  if (xml.hasError()) {
    if (FNodes.empty() && xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
      throw TReadError("Invalid XML file format");
    throw TReadError(xml.errorString().toStdString() + " (line " +
                     std::to_string(xml.lineNumber()) + ", column " +
                     std::to_string(xml.columnNumber()) + ")");
  }
  if (FNodes.empty())
    throw TReadError("Invalid XML file format");
  if (FNodes[0].Name != "svg")
    throw TReadError("The document doesn't seem to be an SVG");
  if (tooDeep)
    throw TReadError("The drawing's elements are nested too deeply");
  if (tooMany)
    throw TReadError("The drawing has too many elements");
  for (std::uint32_t i = 0; i < FNodes.size(); ++i)
    if (const std::string *id = FNodes[i].Find("id"))
      FIds.emplace(std::string(TrimText(*id)), i);
}

const TSvgNode *TSvgDocument::ById(std::string_view id, std::uint32_t *index) const {
  const auto it = FIds.find(std::string(id));
  if (it == FIds.end())
    return nullptr;
  if (index)
    *index = it->second;
  return &FNodes[it->second];
}

const TSvgNode *TSvgDocument::ByReference(std::string_view reference, std::uint32_t *index) const {
  const std::string_view id = ReferenceId(reference);
  return id.empty() ? nullptr : ById(id, index);
}

std::string_view ReferenceId(std::string_view reference) {
  std::string_view text = TrimText(reference);
  if (text.substr(0, 4) == "url(") {
    const auto close = text.find(')');
    if (close == std::string_view::npos)
      return {};
    text = TrimText(text.substr(4, close - 4));
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
      text = TrimText(text.substr(1, text.size() - 2));
  }
  if (text.empty() || text.front() != '#')
    return {};
  return text.substr(1);
}
