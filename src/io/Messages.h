#pragma once
// Error texts fit for a message box: they name the file and say what to do,
// and bytes a reader quoted from a damaged file never reach the screen raw.

#include <string>

// text with invalid UTF-8 and control characters (but line breaks) written
// as \xNN, each line cut to maxLine characters and at most maxLines lines.
std::string ReadableText(const std::string &text, std::size_t maxLine = 160,
                         std::size_t maxLines = 6);
// "Cannot open "name.svg": <reason>", the way brennix-cli says it.
std::string OpenFailureText(const std::string &fileName, const std::string &reason);
// The same and what the user can do about it in the window.
std::string LoadFailureText(const std::string &fileName, const std::string &reason);
