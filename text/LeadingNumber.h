#pragma once

#include <QString>

// The decimal number at the start of a text, read as the C library's atoi reads it (leading
// white space, an optional sign, then digits); 0 when there is none. A number too large for
// an int is held at the largest int (or the smallest, when negative).
int LeadingNumber(const QString& text);
