#pragma once
// Addresses and paths are bytes in the core. The window shows them as text, but a click or a Save
// must hand back exactly the bytes that were listed, also when they are not valid UTF-8. Bytes that
// do not decode are carried as lone surrogates U+DC80..U+DCFF, which decode back to the same bytes.
#include <QString>

#include <string>
#include <string_view>

QString FromBytes(std::string_view bytes);
std::string ToBytes(const QString& text);
