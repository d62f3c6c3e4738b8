#include "DxfText.h"

namespace {

bool IsHex(QChar c) { return (c >= '0' && c <= '9') || (c.toLower() >= 'a' && c.toLower() <= 'f'); }

// \U+XXXX at text[i] (the backslash): the character and the length taken.
bool UnicodeEscape(const QString &text, qsizetype i, QString &out, qsizetype &length) {
  if (i + 7 > text.size() || text[i + 1].toUpper() != 'U' || text[i + 2] != '+')
    return false;
  for (qsizetype k = i + 3; k < i + 7; ++k)
    if (!IsHex(text[k]))
      return false;
  bool ok = false;
  const uint code = text.mid(i + 3, 4).toUInt(&ok, 16);
  if (!ok)
    return false;
  out += QChar(static_cast<char16_t>(code));
  length = 7;
  return true;
}

// The characters %%x stands for in TEXT (and in MTEXT, which keeps them).
QString Specials(const QString &text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && text[i + 1] == '%') {
      const QChar c = text[i + 2].toLower();
      if (c == 'd' || c == 'p' || c == 'c') {
        out += c == 'd' ? QChar(0x00B0) : c == 'p' ? QChar(0x00B1) : QChar(0x2300);
        i += 2;
        continue;
      }
      if (c == 'u' || c == 'o' || c == 'k') {
        i += 2;
        continue;
      }
      if (c == '%') {
        out += '%';
        i += 2;
        continue;
      }
      if (c.isDigit() && i + 4 < text.size() && text[i + 3].isDigit() && text[i + 4].isDigit()) {
        out += QChar(static_cast<char16_t>(text.mid(i + 2, 3).toUInt()));
        i += 4;
        continue;
      }
    }
    qsizetype length = 0;
    if (text[i] == '\\' && UnicodeEscape(text, i, out, length)) {
      i += length - 1;
      continue;
    }
    out += text[i];
  }
  return out;
}

} // namespace

QString DxfDecode(const std::string &bytes) {
  const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (!text.contains(QChar::ReplacementCharacter))
    return text;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString DxfTextValue(const std::string &bytes) { return Specials(DxfDecode(bytes)); }

TDxfTextLines DxfMTextLines(const std::string &bytes) {
  const QString text = DxfDecode(bytes);
  TDxfTextLines result;
  QString line;
  auto skipTo = [&](qsizetype i, QChar end) {
    const qsizetype stop = text.indexOf(end, i);
    return stop < 0 ? text.size() : stop;
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == '{' || c == '}')
      continue;
    if (c != '\\' || i + 1 >= text.size()) {
      line += c;
      continue;
    }
    const QChar code = text[i + 1];
    qsizetype length = 0;
    if (UnicodeEscape(text, i, line, length)) {
      i += length - 1;
      continue;
    }
    switch (code.toLatin1()) {
    case 'P':
      result.Lines.push_back(line);
      line.clear();
      ++i;
      break;
    case 'N': // a new column: the text goes on below
      result.Lines.push_back(line);
      line.clear();
      ++i;
      break;
    case '~':
      line += QChar(0x00A0);
      ++i;
      break;
    case '\\':
    case '{':
    case '}':
      line += code;
      ++i;
      break;
    case 'L':
    case 'l':
    case 'O':
    case 'o':
    case 'K':
    case 'k':
      // Under-, over- and strike-through lines: the characters stay.
      result.Formatted = true;
      ++i;
      break;
    case 'S': {
      // A stacked fraction up to ';': numerator and denominator side by side.
      const qsizetype stop = skipTo(i + 2, ';');
      QString stack = text.mid(i + 2, stop - i - 2);
      stack.replace('^', '/').replace('#', '/');
      line += stack;
      i = stop;
      break;
    }
    default:
      if (code.isLetter()) {
        // \f, \F, \H, \W, \Q, \T, \A, \C, \c, \p and the like run up to ';'.
        result.Formatted = true;
        i = skipTo(i + 2, ';');
      } else {
        line += c;
      }
      break;
    }
  }
  result.Lines.push_back(line);
  for (auto &l : result.Lines)
    l = Specials(l);
  return result;
}
