#include "Messages.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include <QFileInfo>
#include <QString>

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(const std::string &text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80)
    return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size())
    return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80)
      return 0;
    code = code << 6 | (byte(i + k) & 0x3Fu);
  }
  // Overlong forms, surrogates and values past Unicode are not text.
  static constexpr std::uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < Smallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
    return 0;
  // C1 controls.
  if (code >= 0x80 && code < 0xA0)
    return 0;
  return length;
}

} // namespace

std::string ReadableText(const std::string &text, std::size_t maxLine, std::size_t maxLines) {
  std::vector<std::string> lines(1);
  std::size_t characters = 0; // on the current line
  bool cut = false, lineCut = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      if (lines.size() == maxLines) {
        cut = true;
        break;
      }
      lines.emplace_back();
      characters = 0;
      lineCut = false;
      ++i;
      continue;
    }
    std::string piece;
    const std::size_t length = Utf8Length(text, i);
    const auto byte = static_cast<unsigned char>(text[i]);
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (length == 0 || (length == 1 && (byte < 0x20 || byte == 0x7F) && text[i] != '\t')) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      piece = escaped;
      i += 1;
    } else {
      piece = text.substr(i, length);
      i += length;
    }
    if (characters >= maxLine) {
      if (!lineCut)
        lines.back() += "...";
      lineCut = true;
      continue;
    }
    lines.back() += piece;
    ++characters;
  }
  std::string result;
  for (std::size_t i = 0; i < lines.size(); ++i)
    result += (i ? "\n" : "") + lines[i];
  if (cut)
    result += "\n...";
  return result;
}

std::string OpenFailureText(const std::string &fileName, const std::string &reason) {
  const std::string name = QFileInfo(QString::fromStdString(fileName)).fileName().toStdString();
  return "Cannot open \"" + ReadableText(name, 120, 1) + "\": " + ReadableText(reason);
}

std::string LoadFailureText(const std::string &fileName, const std::string &reason) {
  return OpenFailureText(fileName, reason) +
         "\n\nThe job was left as it was. Check that the file is complete and of a kind "
         "the open dialog lists, or open another file.";
}
