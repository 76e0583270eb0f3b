#pragma once

#include <QByteArray>
#include <QString>

namespace TextTest {

// Pins the user's locale to C.UTF-8 for the whole test program, so results do not depend on
// the machine's LANG. Returns the code page that locale stands for.
int UseUtf8Locale();

// The text as UTF-16LE bytes with a byte-order mark.
QByteArray Utf16WithBom(const QString& text);

}  // namespace TextTest
