#pragma once
// The characters of DXF TEXT and MTEXT entities, their codes taken apart:
// what is drawn, line by line, without the formatting.

#include <string>
#include <vector>

#include <QString>

struct TDxfTextLines {
  std::vector<QString> Lines;
  // Formatting codes that change fonts, sizes, colours or spacing were met;
  // the text is drawn in one style all the same.
  bool Formatted = false;
};

// Bytes as written: UTF-8 when they are, else the one-byte code page older
// drawings use (taken as Latin-1).
QString DxfDecode(const std::string &bytes);

// A TEXT value: %%d, %%p, %%c and %%nnn as their characters, the under- and
// overline toggles dropped, \U+XXXX as that character.
QString DxfTextValue(const std::string &bytes);

// An MTEXT value: \P breaks lines, groups and formatting codes are dropped,
// stacked fractions (\S1/2;) become 1/2, escapes (\\, \{, \}, \~) their
// characters.
TDxfTextLines DxfMTextLines(const std::string &bytes);
